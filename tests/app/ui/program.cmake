# UI tests: the program's launcher, run as a process.
kalmuth_add_test(kalmuth-ui-program-test TIMEOUT 120
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/program/LauncherTest.cpp
  LIBRARIES kalmuth-sdkcheck Qt5::Core)
target_compile_definitions(kalmuth-ui-program-test PRIVATE
  KALMUTH_LAUNCHER="$<TARGET_FILE:kalmuth>" KALMUTH_LIBRARY_FOLDER="$<TARGET_FILE_DIR:NimboBase>")
add_dependencies(kalmuth-ui-program-test kalmuth)
