# Orbelt sources: device tree, bandwidth flat tree and limit editors. Append absolute paths to ORBELT_DEVICE_SOURCES, libraries to ORBELT_DEVICE_LIBRARIES.
list(APPEND ORBELT_DEVICE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/DeviceTreeWidget.h
  ${CMAKE_CURRENT_LIST_DIR}/src/DeviceTreeWidget.cpp)
list(APPEND ORBELT_DEVICE_LIBRARIES Qt5::Core Qt5::Gui Qt5::Widgets brasko lorvish NimboBase NimboGenApi NimboGCBase PkgConfig::LOG4CPP)
list(APPEND ORBELT_DEVICE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/BandwidthLimiterInterPacketDelay.h
  ${CMAKE_CURRENT_LIST_DIR}/src/BandwidthLimiterInterPacketDelay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/DeviceLinkThroughputLimitEditor.h
  ${CMAKE_CURRENT_LIST_DIR}/src/DeviceLinkThroughputLimitEditor.cpp)
list(APPEND ORBELT_DEVICE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/FlatTreeData.h
  ${CMAKE_CURRENT_LIST_DIR}/src/FlatTreeData.cpp)
list(APPEND ORBELT_DEVICE_LIBRARIES Qt5::Network nimbo-topology)
