# The Qt window of src/programming: the program window.
add_library(qx_programming_gui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/program_dlg.cpp
)
target_link_libraries(qx_programming_gui PUBLIC qx_programming qx_serial qx_ui_gui qx_base_gui Qt6::Widgets)
