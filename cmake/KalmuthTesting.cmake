# Helpers for the test programs: every test runs offscreen, with its own settings store and runtime folder.
find_package(GTest REQUIRED)
include(GoogleTest)

# The test main itself sets up what every test needs (offscreen platform, isolated settings and runtime
# folders, sanitizer defaults, the plug-in folder), so a test program runs the same with or without CTest.
set(KALMUTH_TEST_TLPLUGIN_PATH "${CMAKE_BINARY_DIR}/bin/tlplugins")

# kalmuth_add_test(<name> SOURCES ... [LIBRARIES ...] [WIDGETS] [TIMEOUT s])
# Builds one GoogleTest program and registers each of its tests with CTest.
# WIDGETS gives the program an offscreen QApplication; otherwise it gets a QCoreApplication.
function(kalmuth_add_test name)
  cmake_parse_arguments(ARG "WIDGETS" "TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  # ThreadSanitizer makes threaded code several times slower; only its configuration allows for that.
  if(KALMUTH_TSAN)
    math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * 4")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  if(ARG_WIDGETS)
    target_link_libraries(${name} PRIVATE testsupport-widgets)
  else()
    target_link_libraries(${name} PRIVATE testsupport)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()
