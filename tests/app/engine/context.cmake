# Engine tests: context.
kalmuth_add_test(engine_context_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/context/ContextManagerTest.cpp
  LIBRARIES kalmuth-engine-context Qt5::Test
  TIMEOUT 120)

# Plug-ins are found beside the program: this test lives with the Quennet fixture plug-in that the
# Orbelt tests build.
kalmuth_add_test(engine_overlay_selection_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/context/OverlaySelectionTest.cpp
  LIBRARIES kalmuth-engine-context
  TIMEOUT 60)
set_target_properties(engine_overlay_selection_test PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests/orbelt-quennet")
add_dependencies(engine_overlay_selection_test orbelt-test-quennet-plugin)

# Recordings through the device context on emulated cameras, with real writers.
kalmuth_add_test(engine_context_recording_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/context/DeviceContextRecordingTest.cpp
  LIBRARIES kalmuth-engine-context
  TIMEOUT 120)
