# UI tests: the program area. The start-up pieces in-process; the launcher run as a process.
# The library check looks for the SDK libraries the program links, loaded as they are in the program: the
# test program links them too.
kalmuth_add_test(kalmuth-ui-startup-test WIDGETS
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/program/StartupTest.cpp
  LIBRARIES kalmuth-ui-startup PkgConfig::LOG4CPP NimboGenApi NimboGCBase NimboBase NimboUtility)
kalmuth_add_test(kalmuth-ui-program-test TIMEOUT 120
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/program/LauncherTest.cpp
  LIBRARIES kalmuth-sdkcheck Qt5::Core)
target_compile_definitions(kalmuth-ui-program-test PRIVATE
  KALMUTH_LAUNCHER="$<TARGET_FILE:kalmuth>" KALMUTH_LIBRARY_FOLDER="$<TARGET_FILE_DIR:NimboBase>")
add_dependencies(kalmuth-ui-program-test kalmuth)
