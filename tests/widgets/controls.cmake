# Orbelt tests: controls.
set(_dir ${CMAKE_CURRENT_LIST_DIR}/controls)
kalmuth_add_test(orbelt_controls_test WIDGETS
  SOURCES ${_dir}/ControlsTest.cpp
  LIBRARIES orbelt Qt5::Test)
kalmuth_add_test(orbelt_editors_test WIDGETS
  SOURCES ${_dir}/EditorsTest.cpp
  LIBRARIES orbelt Qt5::Test)
kalmuth_add_test(orbelt_float_editors_test WIDGETS
  SOURCES ${_dir}/FloatEditorsTest.cpp
  LIBRARIES orbelt Qt5::Test)
# Write failures of these controls go to the error queue, so they have a program of their own.
kalmuth_add_test(orbelt_node_controls_test WIDGETS
  SOURCES ${_dir}/NodeControlsTest.cpp
  LIBRARIES orbelt Qt5::Test)
kalmuth_add_test(orbelt_dialogs_test WIDGETS
  SOURCES ${_dir}/DialogsTest.cpp
  LIBRARIES orbelt Qt5::Test)
kalmuth_add_test(orbelt_helpers_test WIDGETS
  SOURCES ${_dir}/HelpersTest.cpp
  LIBRARIES orbelt Qt5::Test NimboGCBase)

# Plug-ins are found beside the program: this one lives in a folder of its own with a "QuennetPlugin".
set(ORBELT_QUENNET_FIXTURES "${CMAKE_BINARY_DIR}/tests/orbelt-quennet")
add_library(orbelt-test-quennet-plugin MODULE ${CMAKE_SOURCE_DIR}/tests/viewersdk/TestPlugin.cpp)
set_target_properties(orbelt-test-quennet-plugin PROPERTIES
  PREFIX "lib" OUTPUT_NAME "QuennetPlugin" LIBRARY_OUTPUT_DIRECTORY "${ORBELT_QUENNET_FIXTURES}")
target_compile_definitions(orbelt-test-quennet-plugin PRIVATE TEST_PLUGIN_NAME="QuennetPlugin")
target_link_libraries(orbelt-test-quennet-plugin PRIVATE lorvish)
kalmuth_add_test(orbelt_quennet_test WIDGETS
  SOURCES ${_dir}/QuennetTest.cpp
  LIBRARIES orbelt)
set_target_properties(orbelt_quennet_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ORBELT_QUENNET_FIXTURES}")
add_dependencies(orbelt_quennet_test orbelt-test-quennet-plugin)
