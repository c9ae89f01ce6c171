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
