// Overhead of the grab loop per frame: from the stream grabber making a result ready to the
// bufferAvailable hand-off, at 1920 x 1200 Mono8.
#include "Camera.h"
#include "FakeDevice.h"

#include <lorvish/StreamBuffer.h>
#include <nimbo/PixelType.h>

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

class BenchCamera : public Camera {
public:
    BenchCamera() : Camera(Nimbo::CDeviceInfo(), nullptr, 0x800000) {}
    ~BenchCamera() override { close(); }

protected:
    int getWidth() override { return 1920; }
    int getHeight() override { return 1200; }
    int getBytesPerPixel() override { return 1; }
    uint64_t getPayloadSize() override { return 1920 * 1200; }
    uint32_t getPixelType() override { return Nimbo::PixelType_Mono8; }
    void executeAcquisitionStart() override {}
    void executeAcquisitionStop() override {}
    void onOpen() override {}
    void onClose() override {}
    void setAcquisitionMode(int) override {}
    void onPrepareGrab(uint64_t, uint32_t) override {}
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
