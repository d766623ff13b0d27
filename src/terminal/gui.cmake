# The Qt window of src/terminal and its controller in the main window.
add_library(qx_terminal_gui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/terminal_ctrl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/terminal_controller.cpp
  ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp
  ${CMAKE_CURRENT_LIST_DIR}/send_pacing_dlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/quick_send_dlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/highlight_dlg.cpp
)
target_link_libraries(qx_terminal_gui PUBLIC qx_terminal qx_serial qx_ui_gui qx_base_gui Qt6::Widgets)
