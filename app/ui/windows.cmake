# UI sources: image window, MDI area, main window, start-up. Append paths relative to this folder to KALMUTH_UI_SOURCES and libraries to KALMUTH_UI_LIBRARIES; the program target kalmuth is defined in program.cmake.
list(APPEND KALMUTH_UI_SOURCES
  include/ImageWindow.h src/ImageWindow.cpp
  include/TesvarMdiArea.h src/TesvarMdiArea.cpp
  include/Kalmuth.h include/KalmuthForm.h src/Kalmuth.cpp
  include/Startup.h src/Startup.cpp
  src/Kalmuth.qrc)
list(APPEND KALMUTH_UI_LIBRARIES orbelt kalmuth-engine brasko lorvish NimboBase NimboUtility NimboGenApi nimbo-os
  PkgConfig::LOG4CPP Qt5::Widgets ${CMAKE_DL_LIBS})
