# Orbelt tests: device tree.
kalmuth_add_test(orbelt-devicetree-tests WIDGETS
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/devicetree/DeviceTreeWidgetTest.cpp
  LIBRARIES orbelt Qt5::Test brasko NimboBase NimboGenApi NimboGCBase)
