# Engine sources: device discovery, device creation and the display pipeline. Append to KALMUTH_ENGINE_SOURCES and KALMUTH_ENGINE_LIBRARIES.
#
# This area builds as its own static part of the engine, which kalmuth-engine links; its tests and
# benchmarks link only this part.
add_library(kalmuth-engine-devices STATIC
  include/DeviceManager.h
  include/DeviceManagerItem.h
  include/AutoScanThread.h
  src/DeviceManager.cpp
  src/DeviceManagerItem.cpp
  src/AutoScanThread.cpp
  include/CreateDeviceThread.h
  include/ToolFeatureDescription.h
  src/CreateDeviceThread.cpp
  src/ToolFeatureDescription.cpp
  include/Decoupler.h
  src/Decoupler.cpp
  include/Converter.h
  src/Converter.cpp
  include/DefaultColorConverterPlugin.h
  src/DefaultColorConverterPlugin.cpp
  include/PixelTypeClassification.h
  src/PixelTypeClassification.cpp)
set_target_properties(kalmuth-engine-devices PROPERTIES AUTOMOC ON)
target_include_directories(kalmuth-engine-devices PUBLIC include PRIVATE src)
target_link_libraries(kalmuth-engine-devices PUBLIC Qt5::Core Qt5::Gui PkgConfig::LOG4CPP Threads::Threads lorvish brasko
  NimboBase NimboUtility NimboGenApi NimboGCBase nimbo-os)
list(APPEND KALMUTH_ENGINE_LIBRARIES kalmuth-engine-devices)
