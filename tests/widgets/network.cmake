# Orbelt tests: network.
kalmuth_add_test(orbelt_network_test WIDGETS
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/network/IpAddressTest.cpp
  LIBRARIES orbelt Qt5::Test)
