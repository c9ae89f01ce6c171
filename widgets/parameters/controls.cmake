# Orbelt sources: slider and spin-box controls, value editors, message box, search field, tree-widget base, about dialog, extension helpers. Append absolute paths to ORBELT_PARAMETER_SOURCES, libraries to ORBELT_PARAMETER_LIBRARIES.
set(_orbelt_controls_headers Export.h Helpers.h SpinBox.h ComboSlider.h DoubleComboSlider.h DoubleSpinBox.h
  ControlHelper.h IntSliderControl.h StringControl.h AbstractItemEditor.h CheckBoxEditor.h EnumEditor.h IntEditor.h
  IntSliderEditor.h ToolButtonEditor.h FloatEditor.h FloatSliderEditor.h
  MessageBoxCheckable.h SearchEdit.h TreeWidgetBase.h AboutDialog.h)
set(_orbelt_controls_sources Helpers.cpp SpinBox.cpp ControlLayout.h ControlLayout.cpp ComboSlider.cpp
  DoubleComboSlider.cpp DoubleSpinBox.cpp IntSliderControl.cpp StringControl.cpp
  LogGuard.h NodeText.h CheckBoxEditor.cpp EnumEditor.cpp IntEditor.cpp IntSliderEditor.cpp ToolButtonEditor.cpp
  FloatRange.h FloatEditor.cpp FloatSliderEditor.cpp
  MessageBoxCheckable.cpp SearchEdit.cpp TreeWidgetBase.cpp AboutDialog.cpp)
foreach(header ${_orbelt_controls_headers})
  list(APPEND ORBELT_PARAMETER_SOURCES ${CMAKE_CURRENT_LIST_DIR}/include/orbelt/${header})
endforeach()
foreach(source ${_orbelt_controls_sources})
  list(APPEND ORBELT_PARAMETER_SOURCES ${CMAKE_CURRENT_LIST_DIR}/src/${source})
endforeach()
list(APPEND ORBELT_PARAMETER_SOURCES ${CMAKE_CURRENT_LIST_DIR}/src/orbelt.qrc)
list(APPEND ORBELT_PARAMETER_LIBRARIES Qt5::Core Qt5::Gui Qt5::Widgets brasko lorvish NimboBase NimboGenApi NimboGCBase)
