# Engine tests: recording.
kalmuth_add_test(engine_recording_test
  SOURCES
    recording/RecordingOptionsTest.cpp
  LIBRARIES kalmuth-engine)
