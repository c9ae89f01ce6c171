# Engine benchmarks: recording.
add_executable(engine_recording_bench recording/SinkThroughputBench.cpp)
target_link_libraries(engine_recording_bench PRIVATE kalmuth-engine Qt5::Core benchmark::benchmark)
set_target_properties(engine_recording_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
