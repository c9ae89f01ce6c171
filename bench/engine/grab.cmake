# Engine benchmarks: grab.
set(_grab_fakes ${CMAKE_SOURCE_DIR}/tests/app/engine/grab)
add_executable(engine_grab_bench
  grab/GrabLoopBench.cpp
  ${_grab_fakes}/FakeDevice.h
  ${_grab_fakes}/FakeDevice.cpp
  ${_grab_fakes}/StubCamera.h)
target_include_directories(engine_grab_bench PRIVATE ${_grab_fakes} ${CMAKE_SOURCE_DIR}/bench/support)
target_link_libraries(engine_grab_bench PRIVATE kalmuth-engine-grab benchmark::benchmark)

# Start to first frame and stop of a grab on the SDK's emulated camera.
add_executable(engine_grab_startstop_bench grab/GrabStartStopBench.cpp)
target_link_libraries(engine_grab_startstop_bench PRIVATE kalmuth-engine-grab benchmark::benchmark)
