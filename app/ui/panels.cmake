# UI sources: flat slider, recording settings panel, camera settings panel. Append paths relative to this folder to KALMUTH_UI_SOURCES and libraries to KALMUTH_UI_LIBRARIES.
list(APPEND KALMUTH_UI_SOURCES
  include/FlatDoubleComboSlider.h src/FlatDoubleComboSlider.cpp
  include/RecordingSettingsWidget.h src/RecordingSettingsWidget.cpp
  include/CameraSettingsWidget.h src/CameraSettingsWidget.cpp)
list(APPEND KALMUTH_UI_LIBRARIES orbelt kalmuth-engine Qt5::Widgets)
