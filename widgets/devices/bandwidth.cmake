# Orbelt sources: bandwidth-measuring cameras, GigE optimisation, USB topology layer. Append absolute paths to ORBELT_DEVICE_SOURCES, libraries to ORBELT_DEVICE_LIBRARIES.
list(APPEND ORBELT_DEVICE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/BandwidthMeasuringCamera.h
  ${CMAKE_CURRENT_LIST_DIR}/src/BandwidthMeasuringCamera.cpp
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/GigEOptimization.h
  ${CMAKE_CURRENT_LIST_DIR}/src/GigEOptimization.cpp)
list(APPEND ORBELT_DEVICE_LIBRARIES Qt5::Core brasko NimboBase NimboUtility NimboGenApi NimboGCBase)
list(APPEND ORBELT_DEVICE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/TopologyEx.h
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/UsbTopologyHandle.h
  ${CMAKE_CURRENT_LIST_DIR}/src/TopologyEx.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/UsbTopologyHandle.cpp)
list(APPEND ORBELT_DEVICE_LIBRARIES nimbo-topology)
