# Window tests of src/terminal.
qx_gui_test(test_terminal_gui
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/terminal_window_test.cpp
  LIBS qx_terminal_gui qx_test_support)

qx_gui_test(test_terminal_controller
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/terminal_controller_test.cpp
  LIBS qx_terminal_gui qx_test_support qx_pty_test_support)
