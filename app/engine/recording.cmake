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

# The recording uses the platform's GenICam and SDK libraries where the tree has them; SdkTypes.h
# falls back to small local definitions for the pieces that are not there yet.
add_library(kalmuth-engine-recording-config INTERFACE)
target_link_libraries(kalmuth-engine-recording-config INTERFACE
  Qt5::Core Boost::thread Boost::system Threads::Threads PkgConfig::LOG4CPP TIFF::TIFF)
foreach(platformLibrary NimboGCBase NimboUtility)
  if(TARGET ${platformLibrary})
    target_link_libraries(kalmuth-engine-recording-config INTERFACE ${platformLibrary})
  endif()
endforeach()
if(TARGET NimboBase)
  target_compile_definitions(kalmuth-engine-recording-config INTERFACE KALMUTH_HAVE_MIVTRACE)
  target_link_libraries(kalmuth-engine-recording-config INTERFACE NimboBase)
endif()
list(APPEND KALMUTH_ENGINE_LIBRARIES kalmuth-engine-recording-config)
