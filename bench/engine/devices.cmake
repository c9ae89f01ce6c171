# Engine benchmarks: devices.
add_executable(engine_display_bench devices/DisplayPipelineBench.cpp)
target_include_directories(engine_display_bench PRIVATE ${CMAKE_SOURCE_DIR}/bench/support)
target_link_libraries(engine_display_bench PRIVATE kalmuth-engine-devices kalmuth-engine-grab benchmark::benchmark)
