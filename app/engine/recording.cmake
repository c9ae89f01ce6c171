# Engine sources: recording. Append to KALMUTH_ENGINE_SOURCES (paths relative to this folder) and KALMUTH_ENGINE_LIBRARIES.
list(APPEND KALMUTH_ENGINE_SOURCES
  src/BufferedImageSink.cpp
  src/ImageSequenceMediaWriter.cpp
  src/MediaWriterExceptions.cpp
  src/MediaWriterFactory.cpp
  src/MediaWriterStubs.cpp
  src/RecordingLog.cpp
  src/RecordingOptions.cpp
  src/RecordingState.cpp
  src/SdkFallback.cpp
  src/TimeUnit.cpp
  src/TimeUnitMediaImageController.cpp)

# The recording uses the platform's GenICam and SDK libraries when the tree has them, else the small
# local definitions of SdkTypes.h.
add_library(kalmuth-engine-recording-config INTERFACE)
target_link_libraries(kalmuth-engine-recording-config INTERFACE
  Qt5::Core Boost::thread Boost::system Threads::Threads PkgConfig::LOG4CPP)
if(TARGET NimboGenApi AND TARGET NimboGCBase)
  target_compile_definitions(kalmuth-engine-recording-config INTERFACE KALMUTH_HAVE_GENICAM)
  target_link_libraries(kalmuth-engine-recording-config INTERFACE NimboGenApi NimboGCBase)
endif()
if(TARGET NimboUtility)
  target_compile_definitions(kalmuth-engine-recording-config INTERFACE KALMUTH_HAVE_NIMBO_UTILITY)
  target_link_libraries(kalmuth-engine-recording-config INTERFACE NimboUtility)
else()
  target_link_libraries(kalmuth-engine-recording-config INTERFACE TIFF::TIFF)
endif()
if(TARGET NimboBase)
  target_compile_definitions(kalmuth-engine-recording-config INTERFACE KALMUTH_HAVE_MIVTRACE)
  target_link_libraries(kalmuth-engine-recording-config INTERFACE NimboBase)
endif()
list(APPEND KALMUTH_ENGINE_LIBRARIES kalmuth-engine-recording-config)
