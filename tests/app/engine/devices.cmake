# Engine tests: devices.
kalmuth_add_test(engine_devices_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/devices/DeviceManagerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/devices/CreateDeviceThreadTest.cpp
  LIBRARIES kalmuth-engine-devices
  TIMEOUT 60)
kalmuth_add_test(engine_display_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/devices/DecouplerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/devices/ConverterTest.cpp
  LIBRARIES kalmuth-engine-devices
  TIMEOUT 60)
kalmuth_add_test(engine_pipeline_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/devices/PipelineTest.cpp
  LIBRARIES kalmuth-engine-devices kalmuth-engine-grab
  TIMEOUT 60)
kalmuth_add_test(engine_devices_widgets_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/devices/CreateDeviceCursorTest.cpp
  LIBRARIES kalmuth-engine-devices
  WIDGETS
  TIMEOUT 60)
