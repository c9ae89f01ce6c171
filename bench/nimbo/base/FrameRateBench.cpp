// Frames per second the emulation paints on one core: 1920x1200 in Mono8 and Bayer, the painter
// alone and the whole path from a camera's frame thread into a stream grabber.
#include "StreamGrabberImpl.h"
#include "emulation/CameraModel.h"
#include "emulation/EmulatedBackend.h"
#include "emulation/EmulatedCamera.h"
#include "emulation/FramePainter.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

using namespace Nimbo;
using namespace Nimbo::emulation;

namespace {

void paintFrames(benchmark::State& state, uint32_t format)
{
    PaintSettings s;
    s.pixelFormat = format;
    s.sensorWidth = 1920;
    s.sensorHeight = 1200;
    s.colourSensor = true;
    s.colourTransformation = true;
    FramePainter painter;
    painter.configure(s);
    std::vector<uint8_t> frame(painter.frameSize(1920, 1200));
    uint64_t n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(painter.paint(frame.data(), frame.size(), 1920, 1200, 0, 0, n++));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frame.size()));
}

void BM_PaintMono8(benchmark::State& state)
{
    paintFrames(state, Mono8);
}
void BM_PaintBayerRG8(benchmark::State& state)
{
    paintFrames(state, BayerRG8);
}
void BM_PaintBayerRG12(benchmark::State& state)
{
    paintFrames(state, BayerRG12);
}

// A setting change rebuilds the pattern lines once; this is its cost.
void BM_ReconfigureColour(benchmark::State& state)
{
    PaintSettings s;
    s.pixelFormat = BayerRG8;
    s.sensorWidth = 1920;
    s.sensorHeight = 1200;
    s.colourSensor = true;
    s.colourTransformation = true;
    s.gammaEnable = true;
    s.gamma = 2.2;
    FramePainter painter;
    for (auto _ : state) {
        s.brightness += 1e-6;
        benchmark::DoNotOptimize(painter.configure(s));
    }
}

// The camera's frame thread at an unlimited rate into a grabber that requeues every buffer; the
// frames per second are what one frame thread delivers.
void streamFrames(benchmark::State& state, const char* format)
{
    auto camera = std::make_shared<EmulatedCamera>(findModel("qvUsb1920c"), "1", 0);
    auto write = [&camera](const char* name, int64_t value) {
        camera->write(&value, camera->model().find(name)->address, 8);
    };
    camera->tryOpen(nullptr);
    write("PixelFormat", camera->model().find("PixelFormat")->entryValue(format));
    write("ExposureTimeRaw", 20);
    write("DeviceLinkThroughputLimitMode", 0);
    StreamGrabberImpl grabber(std::make_shared<EmulatedBackend>(camera));
    grabber.Open();
    grabber.port().set(sgreg::MaxBufferSize, static_cast<int64_t>(camera->payloadSize()));
    grabber.port().set(sgreg::MaxNumBuffer, 8);
    grabber.PrepareGrab();
    std::vector<std::vector<uint8_t>> buffers(8, std::vector<uint8_t>(camera->payloadSize()));
    for (auto& b : buffers)
        grabber.QueueBuffer(grabber.RegisterBuffer(b.data(), b.size()), nullptr);
    write("AcquisitionStart", 1);
    int64_t frames = 0;
    for (auto _ : state) {
        GrabResult r;
        while (!grabber.RetrieveResult(r))
            grabber.GetWaitObject().Wait(1000);
        grabber.QueueBuffer(r.Handle(), nullptr);
        ++frames;
    }
    write("AcquisitionStop", 1);
    grabber.CancelGrab();
    GrabResult r;
    while (grabber.RetrieveResult(r)) {
    }
    grabber.FinishGrab();
    grabber.Close();
    camera->close();
    state.SetItemsProcessed(frames);
    state.counters["camera_rate_limit_fps"] = camera->resultingFrameRate();
}

void BM_StreamMono8(benchmark::State& state)
{
    streamFrames(state, "Mono8");
}
void BM_StreamBayerRG8(benchmark::State& state)
{
    streamFrames(state, "BayerRG8");
}

} // namespace

BENCHMARK(BM_PaintMono8);
BENCHMARK(BM_PaintBayerRG8);
BENCHMARK(BM_PaintBayerRG12);
BENCHMARK(BM_ReconfigureColour);
BENCHMARK(BM_StreamMono8)->UseRealTime();
BENCHMARK(BM_StreamBayerRG8)->UseRealTime();
BENCHMARK_MAIN();
