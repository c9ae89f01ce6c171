# Orbelt tests: bandwidth-measuring cameras, GigE optimisation, USB topology layer, bandwidth flat tree,
# bandwidth limit editors, bandwidth tree widget.
kalmuth_add_test(orbelt-bandwidth-tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bandwidth/BandwidthMeasuringCameraTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bandwidth/GigEOptimizationTest.cpp
  LIBRARIES orbelt brasko NimboBase NimboUtility)
kalmuth_add_test(orbelt-topology-tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bandwidth/UsbTopologyTest.cpp
  LIBRARIES orbelt nimbo-topology NimboBase)
kalmuth_add_test(orbelt-flattree-tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bandwidth/FlatTreeDataTest.cpp
  LIBRARIES orbelt brasko NimboBase NimboGenApi NimboGCBase)
kalmuth_add_test(orbelt-bandwidthlimit-tests WIDGETS
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bandwidth/BandwidthLimitEditorTest.cpp
  LIBRARIES orbelt NimboBase NimboGenApi NimboGCBase)
kalmuth_add_test(orbelt-bandwidthtree-tests WIDGETS
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bandwidth/BandwidthTreeWidgetTest.cpp
  LIBRARIES orbelt Qt5::Test brasko NimboBase NimboGenApi NimboGCBase)
