# Engine sources: media. Append to KALMUTH_ENGINE_SOURCES (paths relative to this folder) and KALMUTH_ENGINE_LIBRARIES.
list(APPEND KALMUTH_ENGINE_SOURCES
  src/AviMediaWriterAdapter.cpp
  src/LibavAdapter.cpp
  src/MediaLog.cpp
  src/VideoEncoder.cpp
  src/VideoMediaWriterAdapter.cpp)

# libav is opened at run time: only its headers are used at build time, never its libraries.
add_library(kalmuth-engine-media-config INTERFACE)
target_include_directories(kalmuth-engine-media-config INTERFACE
  $<TARGET_PROPERTY:PkgConfig::LIBAV,INTERFACE_INCLUDE_DIRECTORIES>)
target_link_libraries(kalmuth-engine-media-config INTERFACE
  Qt5::Core PkgConfig::LOG4CPP lorvish NimboUtility NimboGCBase NimboBase)
list(APPEND KALMUTH_ENGINE_LIBRARIES kalmuth-engine-media-config)
