# Orbelt sources: IP address widget and validators. Append absolute paths to ORBELT_DEVICE_SOURCES, libraries to ORBELT_DEVICE_LIBRARIES.
list(APPEND ORBELT_DEVICE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/IpAddressValidator.h
  ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/IpAddressWidget.h
  ${CMAKE_CURRENT_LIST_DIR}/src/IpAddressValidator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/IpAddressWidget.cpp)
list(APPEND ORBELT_DEVICE_LIBRARIES Qt5::Core Qt5::Widgets Qt5::Network)
