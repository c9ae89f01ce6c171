# Engine benchmarks: media.
add_executable(engine_media_bench media/Mp4WriterBench.cpp)
target_include_directories(engine_media_bench PRIVATE ${CMAKE_SOURCE_DIR}/bench/support)
target_link_libraries(engine_media_bench PRIVATE kalmuth-engine-media kalmuth-engine-grab benchmark::benchmark)
set_target_properties(engine_media_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
