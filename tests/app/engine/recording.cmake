# Engine tests: recording.
kalmuth_add_test(engine_recording_test
  SOURCES
    recording/BufferedImageSinkTest.cpp
    recording/EngineLogTest.cpp
    recording/EmulatedRecordingTest.cpp
    recording/ImageSequenceWriterTest.cpp
    recording/RecordingControllerTest.cpp
    recording/RecordingOptionsTest.cpp
    recording/SamplingControllerTest.cpp
  LIBRARIES kalmuth-engine lorvish Qt5::Gui TIFF::TIFF)
# The shared formatter of the engine's log and exception texts is private to the engine.
target_include_directories(engine_recording_test PRIVATE ${CMAKE_SOURCE_DIR}/app/engine/recording/src)
