# UI tests: panels.
kalmuth_add_test(kalmuth-ui-panels-test WIDGETS
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/panels/RecordingSettingsWidgetTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/panels/CameraSettingsWidgetTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/panels/CameraSettingsEmulationTest.cpp
  LIBRARIES kalmuth-ui-panels Qt5::Test)
# The panel tests reuse the small node maps of the parameter tests and the engine tests' stub camera.
target_include_directories(kalmuth-ui-panels-test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/parameters
                                                          ${CMAKE_CURRENT_LIST_DIR}/../engine/grab)
