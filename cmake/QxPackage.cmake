# A Debian package of what `cmake --install` puts in place (scripts/package builds it). The
# libraries the executables link decide most dependencies (dpkg-shlibdeps); Qt's plugins are
# loaded at run time, so they are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillorex-programmer)
set(CPACK_PACKAGE_VENDOR Quillorex)
set(CPACK_PACKAGE_CONTACT "Quillorex developers <developers@quillorex.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Build target files and program them into a board over a serial line")
set(CPACK_PACKAGE_DESCRIPTION
  "Quillorex Programmer keeps a list of target files (Intel HEX, binary, object files), builds them
with an external builder, talks to a target board through a serial terminal and programs the
selected file into the board's monitor. qxprog does the same from a terminal or a script.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.quillorex.org")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
include(CPack)
