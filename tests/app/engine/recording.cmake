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
  LIBRARIES kalmuth-engine-recording kalmuth-engine-media kalmuth-engine-grab lorvish Qt5::Gui TIFF::TIFF)
