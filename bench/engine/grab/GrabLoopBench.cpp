// Overhead of the grab loop per frame at 1920 x 1200 Mono8: the time from the stream grabber making a
// result ready to the bufferAvailable hand-off (in-process grabber), and the grab thread's processor
// time per frame against the SDK's emulated camera.
#include "Camera.h"
#include "EmulatedCamera.h"
#include "FakeDevice.h"
#include "GrabDevice.h"
#include "StdFeatureListCamera.h"
#include "StubCamera.h"

#include <lorvish/StreamBuffer.h>
#include <nimbo/Emulation.h>
#include <nimbo/NimboDevice.h>
#include <nimbo/PixelType.h>
#include <nimbo/TlFactory.h>

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <time.h>

namespace {

// The hand-off path's geometry: 1920 x 1200 Mono8.
class BenchCamera : public fake::StubCamera {
public:
    BenchCamera() : StubCamera(1920, 1200, Nimbo::PixelType_Mono8, 0x800000) {}
};

void BM_GrabLoopHandOff(benchmark::State& state)
{
    fake::Device device;
    BenchCamera camera;
    std::mutex mutex;
    std::condition_variable handedOn;
    bool arrived = false;
    std::chrono::steady_clock::time_point arrival;
    QObject::connect(
        &camera, &Camera::bufferAvailable, &camera,
        [&](Lorvish::StreamBuffer*) {
            const auto now = std::chrono::steady_clock::now();
            std::lock_guard<std::mutex> lock(mutex);
            arrival = now;
            arrived = true;
            handedOn.notify_one();
        },
        Qt::DirectConnection);
    camera.attachDevice(&device);
    camera.open();
    camera.startContinuousShot();

    for (auto _ : state) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            arrived = false;
        }
        if (!device.grabber().deliverWhenQueued()) {
            state.SkipWithError("no buffer came back to the grabber");
            break;
        }
        std::unique_lock<std::mutex> lock(mutex);
        handedOn.wait(lock, [&] { return arrived; });
        const auto delivered = device.grabber().lastDelivery();
        state.SetIterationTime(std::chrono::duration<double>(arrival - delivered).count());
    }
    state.counters["buffers"] = camera.numBuffers();
    camera.stopGrab();
    QCoreApplication::processEvents();
}
BENCHMARK(BM_GrabLoopHandOff)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The emulated USB mono camera streaming as fast as it can; each iteration is one handed-on frame.
void BM_EmulatedGrabThreadCpuPerFrame(benchmark::State& state)
{
    Nimbo::NimboAutoInitTerm init;
    auto opened = benchcamera::openEmulatedCamera("usb:vxUsb1920m:50000001");
    if (!opened) {
        state.SkipWithError("no emulated camera");
        return;
    }
    StdFeatureListCamera& camera = *opened;
    grab::GrabNodeMap* map = camera.getFeatures();
    map->setEnumValue("PixelFormat", "Mono8");
    map->setIntValue("Width", 1920);
    map->setIntValue("Height", 1200);
    map->setBoolValue("AcquisitionFrameRateEnable", false);

    std::mutex mutex;
    std::condition_variable handedOn;
    long frames = 0;
    double cpuAtFirst = -1.0;
    double cpuNow = 0.0;
    QObject::connect(
        &camera, &Camera::bufferAvailable, &camera,
        [&](Lorvish::StreamBuffer*) {
            const double cpu = threadCpuSeconds(); // the grab thread's own time
            std::lock_guard<std::mutex> lock(mutex);
            if (cpuAtFirst < 0.0)
                cpuAtFirst = cpu;
            cpuNow = cpu;
            ++frames;
            handedOn.notify_one();
        },
        Qt::DirectConnection);
    camera.startContinuousShot();
    long seen = 0;
    long firstSeen = -1;
    for (auto _ : state) {
        std::unique_lock<std::mutex> lock(mutex);
        if (!handedOn.wait_for(lock, std::chrono::seconds(5), [&] { return frames > seen; })) {
            state.SkipWithError("no frames from the emulated camera");
            break;
        }
        if (firstSeen < 0)
            firstSeen = frames;
        seen = frames;
    }
    camera.stopGrab();
    std::lock_guard<std::mutex> lock(mutex);
    if (frames > firstSeen && firstSeen >= 0)
        state.counters["grab_thread_cpu_us_per_frame"] = (cpuNow - cpuAtFirst) * 1e6 / double(frames - firstSeen);
    state.counters["frames"] = double(frames);
}
BENCHMARK(BM_EmulatedGrabThreadCpuPerFrame)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    // Measures the emulated camera only: discovering real cameras broadcasts on every network interface.
    setenv("NIMBO_REAL_CAMERAS", "0", 1);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
