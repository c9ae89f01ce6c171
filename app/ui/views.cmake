# UI sources: render widget, status bars, collapsible dock. Append paths relative to this folder to KALMUTH_UI_SOURCES and libraries to KALMUTH_UI_LIBRARIES.
list(APPEND KALMUTH_UI_SOURCES
  include/BurgerMenueDockWidget.h src/BurgerMenueDockWidget.cpp
  include/StatusBar.h src/StatusBar.cpp
  include/RecordingStatusBar.h src/RecordingStatusBar.cpp
  include/RenderWidget.h src/RenderWidget.cpp)
list(APPEND KALMUTH_UI_LIBRARIES Qt5::Widgets brasko kalmuth-engine NimboUtility lorvish PkgConfig::LOG4CPP)
