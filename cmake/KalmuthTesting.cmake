# Helpers for the test programs: every test runs offscreen, with its own settings store and runtime folder.
find_package(GTest REQUIRED)
include(GoogleTest)

set(KALMUTH_LSAN_SUPPRESSIONS "${CMAKE_SOURCE_DIR}/tests/support/lsan.supp")
set(KALMUTH_TEST_ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen"
    "LSAN_OPTIONS=suppressions=${KALMUTH_LSAN_SUPPRESSIONS}:print_suppressions=0"
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/test-runtime"
    "NIMBO_TL_PLUGIN_PATH=${CMAKE_BINARY_DIR}/bin/tlplugins")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/test-runtime")
file(CHMOD "${CMAKE_BINARY_DIR}/test-runtime" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

# kalmuth_add_test(<name> SOURCES ... [LIBRARIES ...] [WIDGETS] [TIMEOUT s])
# Builds one GoogleTest program and registers each of its tests with CTest.
# WIDGETS gives the program an offscreen QApplication; otherwise it gets a QCoreApplication.
function(kalmuth_add_test name)
  cmake_parse_arguments(ARG "WIDGETS" "TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
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
    PROPERTIES ENVIRONMENT "${KALMUTH_TEST_ENVIRONMENT}" TIMEOUT ${ARG_TIMEOUT})
endfunction()
