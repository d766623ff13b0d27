# A unity build of one source gains nothing and makes GCC report the file's anonymous-namespace
# types used by its test classes (-Wsubobject-linkage), so such targets compile as they are.
function(qx_no_unity_for_one_source target)
  list(LENGTH ARGN count)
  if(count EQUAL 1)
    set_target_properties(${target} PROPERTIES UNITY_BUILD OFF)
  endif()
endfunction()

# The tests' own code builds without optimisation and with line tables only, in the build the
# package comes from too: the code under test keeps that build's flags (it is in the libraries),
# and the tests, most of the objects there are, compile in about half the time.
function(qx_quick_test_build target)
  target_compile_options(${target} PRIVATE $<$<CONFIG:RelWithDebInfo>:-O0 -g1>)
endfunction()

# qx_core_test(name SOURCES... LIBS ...): a GoogleTest executable of the core layer.
function(qx_core_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  qx_no_unity_for_one_source(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  qx_quick_test_build(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 LABELS core)
endfunction()

# qx_gui_test(name SOURCES... LIBS ...): a Qt Test executable run on the offscreen platform,
# each with its own settings folder.
function(qx_gui_test name)
  if(NOT QX_BUILD_GUI)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  qx_no_unity_for_one_source(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test Qt6::Widgets Threads::Threads)
  qx_quick_test_build(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 180 LABELS gui
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/${name}.config")
endfunction()
