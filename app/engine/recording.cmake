# Engine sources: recording. Append to KALMUTH_ENGINE_SOURCES (paths relative to this folder) and KALMUTH_ENGINE_LIBRARIES.
list(APPEND KALMUTH_ENGINE_SOURCES
  src/BufferedImageSink.cpp
  src/EngineLog.cpp
  src/ImageSequenceMediaWriter.cpp
  src/MediaWriterExceptions.cpp
  src/MediaWriterFactory.cpp
  include/RecordingController.h
  src/RecordingController.cpp
  src/RecordingLog.cpp
  src/RecordingOptions.cpp
  src/RecordingState.cpp
  src/TimeUnit.cpp
  src/TimeUnitMediaImageController.cpp)

add_library(kalmuth-engine-recording-config INTERFACE)
target_link_libraries(kalmuth-engine-recording-config INTERFACE
  Qt5::Core Boost::thread Boost::system Threads::Threads PkgConfig::LOG4CPP NimboGCBase NimboUtility NimboBase lorvish)
list(APPEND KALMUTH_ENGINE_LIBRARIES kalmuth-engine-recording-config)
