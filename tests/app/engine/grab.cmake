# Engine tests: grab.
kalmuth_add_test(engine_grab_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/grab/FakeDevice.h
    ${CMAKE_CURRENT_LIST_DIR}/grab/FakeDevice.cpp
    ${CMAKE_CURRENT_LIST_DIR}/grab/CameraTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/grab/ConfigurationTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/grab/EmulatedCameraTest.cpp
  LIBRARIES kalmuth-engine-grab
  TIMEOUT 60)
target_include_directories(engine_grab_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/grab)
