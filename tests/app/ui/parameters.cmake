# UI tests: parameters.
kalmuth_add_test(kalmuth-ui-parameters-test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/parameters/NodeEnumerationMappingLayerTest.cpp
  LIBRARIES kalmuth-ui)
