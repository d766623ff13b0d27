# The port dialog and the port pop-ups (Qt).
add_library(qx_port_gui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/port_setup_dlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/port_menus.cpp
)
target_link_libraries(qx_port_gui PUBLIC qx_port qx_ui_gui qx_base_gui Qt6::Widgets)
