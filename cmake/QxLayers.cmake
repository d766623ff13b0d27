# qx_folder_headers(target folder): the target and whoever links it include the folder's headers
# as "folder/name.h". Each folder is reached through a directory of its own that holds only a
# link to it, so a file sees the folders of the libraries it links and no others: an include of
# a folder its library does not depend on fails the build.
function(qx_folder_headers target folder)
  set(root ${CMAKE_BINARY_DIR}/include/${folder})
  if(NOT EXISTS ${root}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
