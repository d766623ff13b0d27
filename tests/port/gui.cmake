# Window tests of src/port: the port setup dialog and the port pop-ups.
qx_gui_test(test_port_gui
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/port_gui_test.cpp
  LIBS qx_port_gui qx_test_support qx_pty_test_support)
