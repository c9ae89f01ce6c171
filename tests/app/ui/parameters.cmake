# UI tests: parameters.
kalmuth_add_test(kalmuth-ui-parameters-test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/parameters/NodeEnumerationMappingLayerTest.cpp
  LIBRARIES kalmuth-ui-parameters)
kalmuth_add_test(kalmuth-ui-parameter-models-test WIDGETS
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/parameters/ParameterModelTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/parameters/FlatDoubleComboSliderTest.cpp
  LIBRARIES kalmuth-ui-parameters Qt5::Test)
target_include_directories(kalmuth-ui-parameter-models-test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/parameters)
