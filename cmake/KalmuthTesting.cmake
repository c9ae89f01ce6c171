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
  set_property(GLOBAL APPEND PROPERTY KALMUTH_TEST_PROGRAMS ${name})
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

# Every test program, a line each (its target name, a tab, its path), in tests/test-programs.txt of the
# build folder, written once the whole tree is read: the ThreadSanitizer run of setup.sh builds and runs
# what it lists, so a new test program is in that run from its first configure.
function(kalmuth_write_test_program_list)
  get_property(programs GLOBAL PROPERTY KALMUTH_TEST_PROGRAMS)
  list(SORT programs)
  set(text "")
  foreach(program IN LISTS programs)
    string(APPEND text "${program}\t$<TARGET_FILE:${program}>\n")
  endforeach()
  file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/tests/test-programs.txt" CONTENT "${text}")
endfunction()
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL kalmuth_write_test_program_list)
