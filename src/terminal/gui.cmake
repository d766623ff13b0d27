# The Qt window of src/terminal.
add_library(qx_terminal_gui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/terminal_ctrl.cpp
)
target_link_libraries(qx_terminal_gui PUBLIC qx_terminal qx_serial qx_ui_gui qx_base_gui Qt6::Widgets)
