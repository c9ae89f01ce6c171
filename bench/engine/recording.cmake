# Engine benchmarks: recording.
add_executable(engine_recording_bench recording/SinkThroughputBench.cpp)
target_include_directories(engine_recording_bench PRIVATE ${CMAKE_SOURCE_DIR}/bench/support)
target_link_libraries(engine_recording_bench PRIVATE kalmuth-engine-recording Qt5::Core benchmark::benchmark)
set_target_properties(engine_recording_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
add_executable(engine_emulated_recording_bench recording/EmulatedRecordingBench.cpp)
target_include_directories(engine_emulated_recording_bench PRIVATE ${CMAKE_SOURCE_DIR}/bench/support)
target_link_libraries(engine_emulated_recording_bench PRIVATE kalmuth-engine-media kalmuth-engine-recording kalmuth-engine-devices kalmuth-engine-grab Qt5::Core benchmark::benchmark)
set_target_properties(engine_emulated_recording_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
