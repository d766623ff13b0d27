# Window tests of src/programming.
qx_gui_test(test_programming_gui
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/program_window_test.cpp
  LIBS qx_programming_gui)
