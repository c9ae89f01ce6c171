# Orbelt tests: bandwidth-measuring cameras, GigE optimisation, USB topology layer.
kalmuth_add_test(orbelt-bandwidth-tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bandwidth/BandwidthMeasuringCameraTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bandwidth/GigEOptimizationTest.cpp
  LIBRARIES orbelt brasko NimboBase NimboUtility)
kalmuth_add_test(orbelt-topology-tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bandwidth/UsbTopologyTest.cpp
  LIBRARIES orbelt nimbo-topology NimboBase)
kalmuth_add_test(orbelt-bandwidthtree-tests WIDGETS
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bandwidth/BandwidthTreeWidgetTest.cpp
  LIBRARIES orbelt Qt5::Test brasko NimboBase NimboGenApi NimboGCBase)
