# Engine benchmarks: devices.
add_executable(engine_display_bench devices/DisplayPipelineBench.cpp)
target_link_libraries(engine_display_bench PRIVATE kalmuth-engine-devices benchmark::benchmark)
