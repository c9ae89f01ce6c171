// What a user waits for at each live-view start and stop: from the start of grabbing to the first
// frame handed on, and the stop of a running grab, on the SDK's emulated 1920 x 1200 colour camera in
// its default configuration. Each should stay within 20 ms plus one frame period; the counters print
// the camera's frame period and that limit next to the measured times. Only a camera's first start
// maps its buffer pool afresh (its first frames fault the pages in); every later start reuses it.
#include "CameraConfiguration.h"
#include "StdFeatureListCamera.h"

#include <lorvish/StreamBuffer.h>
#include <nimbo/Emulation.h>
#include <nimbo/NimboDevice.h>
#include <nimbo/TlFactory.h>

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

// One opened emulated camera in the default configuration, counting the frames it hands on.
class Rig {
public:
    Rig()
    {
        Nimbo::Emulation::Configure("usb:qvUsb1920c:50000011");
        Nimbo::DeviceInfoList_t devices;
        Nimbo::CTlFactory::GetInstance().EnumerateDevices(devices);
        if (devices.empty())
            return;
        camera = std::make_unique<StdFeatureListCamera>(devices.front(), nullptr, 0x800000);
        QObject::connect(
            camera.get(), &Camera::bufferAvailable, camera.get(),
            [this](Lorvish::StreamBuffer*) {
                const auto now = Clock::now();
                std::lock_guard<std::mutex> lock(mutex);
                if (frames++ == 0)
                    firstFrame = now;
                arrived.notify_all();
            },
            Qt::DirectConnection);
        camera->attachNimboDevice(Nimbo::CTlFactory::GetInstance().CreateDevice(devices.front()));
        camera->open();
        CameraConfiguration::applyDefaultConfiguration(*camera);
    }
    ~Rig()
    {
        if (camera)
            camera->shutDown();
        camera.reset();
        QCoreApplication::processEvents();
    }

    bool waitForFrames(long count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::seconds(10), [&] { return frames >= count; });
    }
    void resetCount()
    {
        std::lock_guard<std::mutex> lock(mutex);
        frames = 0;
    }
    Clock::time_point firstFrameTime()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return firstFrame;
    }
    double framePeriodMs() const
    {
        grab::GrabNodeMap* map = camera->getFeatures();
        const char* node = camera->getDevice()->isSfnc2() ? "ResultingFrameRate" : "ResultingFrameRateAbs";
        const double rate = map ? map->floatValue(node) : 0.0;
        return rate > 0.0 ? 1000.0 / rate : 0.0;
    }
    // False, with the benchmark skipped, when the emulated camera did not open.
    bool usable(benchmark::State& state) const
    {
        if (camera && camera->isOpen())
            return true;
        state.SkipWithError("no emulated camera");
        return false;
    }
    // Starts a continuous grab (at *startedAt) and waits for `count` frames; false, with the benchmark
    // skipped, when they do not come.
    bool startAndAwait(benchmark::State& state, long count, const char* error, Clock::time_point* startedAt = nullptr)
    {
        resetCount();
        if (startedAt)
            *startedAt = Clock::now();
        camera->startContinuousShot();
        if (waitForFrames(count))
            return true;
        state.SkipWithError(error);
        return false;
    }
    void report(benchmark::State& state) const
    {
        const double period = framePeriodMs();
        state.counters["frame_period_ms"] = period;
        state.counters["limit_ms"] = 20.0 + period;
    }

    Nimbo::NimboAutoInitTerm init;
    std::unique_ptr<StdFeatureListCamera> camera;
    std::mutex mutex;
    std::condition_variable arrived;
    long frames = 0;
    Clock::time_point firstFrame;
};

void BM_StartToFirstFrame(benchmark::State& state)
{
    Rig rig;
    if (!rig.usable(state))
        return;
    for (auto _ : state) {
        Clock::time_point start;
        if (!rig.startAndAwait(state, 1, "no frame after the start", &start))
            break;
        state.SetIterationTime(std::chrono::duration<double>(rig.firstFrameTime() - start).count());
        state.PauseTiming();
        rig.camera->stopGrab();
        QCoreApplication::processEvents(); // the stopped grab's buffers go
        state.ResumeTiming();
    }
    rig.report(state);
}
BENCHMARK(BM_StartToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_StopGrab(benchmark::State& state)
{
    Rig rig;
    if (!rig.usable(state))
        return;
    for (auto _ : state) {
        // Streaming, with a frame on its way.
        if (!rig.startAndAwait(state, 2, "no frames after the start"))
            break;
        const auto start = Clock::now();
        rig.camera->stopGrab();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        QCoreApplication::processEvents();
    }
    rig.report(state);
}
BENCHMARK(BM_StopGrab)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
