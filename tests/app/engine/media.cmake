# Engine tests: media.
# A libavcodec that lacks most entry points, alone in its folder, for the loader's refusal.
add_library(engine_media_fake_avcodec SHARED media/FakeAvcodec.c)
set_target_properties(engine_media_fake_avcodec PROPERTIES
  OUTPUT_NAME avcodec SUFFIX ".so.59" NO_SONAME ON
  LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests/fakelibav")

kalmuth_add_test(engine_media_test
  SOURCES
    media/AviMediaWriterAdapterTest.cpp
    media/LibavAdapterTest.cpp
    media/VideoEncoderTest.cpp
    media/VideoMediaWriterAdapterTest.cpp
  LIBRARIES kalmuth-engine-media)
add_dependencies(engine_media_test engine_media_fake_avcodec)
target_compile_definitions(engine_media_test PRIVATE
  KALMUTH_FAKE_LIBAV_DIR="${CMAKE_BINARY_DIR}/tests/fakelibav")
