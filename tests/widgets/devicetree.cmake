# Orbelt tests: device tree and bandwidth limit editors.
kalmuth_add_test(orbelt-devicetree-tests WIDGETS
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/devicetree/DeviceTreeWidgetTest.cpp
  LIBRARIES orbelt Qt5::Test brasko NimboBase NimboGenApi NimboGCBase)
kalmuth_add_test(orbelt-bandwidthlimit-tests WIDGETS
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/devicetree/BandwidthLimitEditorTest.cpp
  LIBRARIES orbelt NimboBase NimboGenApi NimboGCBase)
kalmuth_add_test(orbelt-flattree-tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/devicetree/FlatTreeDataTest.cpp
  LIBRARIES orbelt brasko NimboBase NimboGenApi NimboGCBase)
