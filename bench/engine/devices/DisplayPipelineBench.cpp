// Display pipeline costs: converting one full-size frame for display, what a frame hand-off costs the
// grab thread, and the share of one core that the live view of the default colour camera takes at the
// camera's full rate (conversion and drawing, every frame).
#include "Converter.h"
#include "Decoupler.h"
#include "DefaultColorConverterPlugin.h"
#include "EmulatedCamera.h"
#include "ProcessTime.h"
#include "RatioReport.h"

#include <lorvish/StreamBuffer.h>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QImage>
#include <QPainter>

#include <memory>
#include <vector>

namespace {

const unsigned kWidth = 1920;
const unsigned kHeight = 1200;

std::unique_ptr<Lorvish::StreamBuffer> frame(Nimbo::EPixelType type)
{
    const unsigned size = static_cast<unsigned>(Nimbo::ComputeBufferSize(type, kWidth, kHeight));
    auto buffer = std::make_unique<Lorvish::StreamBuffer>(size, type, kWidth, kHeight, 1, nullptr);
    for (unsigned i = 0; i < size; ++i)
        buffer->rawData()[i] = static_cast<uint8_t>(i * 7);
    return buffer;
}

// One frame through the default colour converter, by input pixel type.
void BM_DefaultConvert(benchmark::State& state)
{
    const auto type = static_cast<Nimbo::EPixelType>(state.range(0));
    auto buffer = frame(type);
    DefaultColorConverterPlugin plugin;
    for (auto _ : state) {
        Lorvish::Image image = plugin.convert(buffer.get());
        benchmark::DoNotOptimize(image.pixelData());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * int64_t(buffer->size()));
}
BENCHMARK(BM_DefaultConvert)
    ->Arg(Nimbo::PixelType_Mono8)
    ->Arg(Nimbo::PixelType_BayerRG8)
    ->Arg(Nimbo::PixelType_YUV422_YUYV_Packed)
    ->Unit(benchmark::kMillisecond);

// The grey-to-colour copy made for an overlay plug-in.
void BM_Mono8ToRgb(benchmark::State& state)
{
    auto buffer = frame(Nimbo::PixelType_Mono8);
    DefaultColorConverterPlugin plugin;
    Lorvish::Image grey = plugin.convert(buffer.get());
    for (auto _ : state) {
        Lorvish::Image colour = mono8Image2RgbImage(grey);
        benchmark::DoNotOptimize(colour.pixelData());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Mono8ToRgb)->Unit(benchmark::kMillisecond);

// Grab-thread side of the mailbox: the throttle holds every frame back, so each call replaces the
// pending one, as when the display lags behind the camera.
void BM_DecouplerSetBuffer(benchmark::State& state)
{
    std::vector<std::unique_ptr<Lorvish::StreamBuffer>> buffers;
    for (int i = 0; i < 4; ++i)
        buffers.emplace_back(new Lorvish::StreamBuffer(64, Nimbo::PixelType_Mono8, 8, 8, 1, nullptr));
    Decoupler decoupler;
    decoupler.enableThrottle(true);
    size_t i = 0;
    for (auto _ : state)
        decoupler.setBuffer(buffers[i++ & 3].get());
    decoupler.shutDown();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecouplerSetBuffer);

struct CameraMode {
    Nimbo::EPixelType type = Nimbo::PixelType_Undefined;
    unsigned width = 0, height = 0;
    double framesPerSecond = 0;
};

// The default colour camera as the program configures it, asked for its format and full frame rate.
CameraMode defaultColourCamera()
{
    CameraMode mode;
    Nimbo::NimboAutoInitTerm init;
    std::unique_ptr<Camera> camera = benchcamera::openDefaultColourCamera("70000001");
    if (!camera)
        return mode;
    const benchcamera::Format format = benchcamera::imageFormat(*camera);
    mode.type = format.type;
    mode.width = format.width;
    mode.height = format.height;
    mode.framesPerSecond = benchcamera::fullFrameRate(*camera);
    camera->close();
    return mode;
}

// Every frame converted by the display's colour converter and drawn scaled into a 1280 x 800 window
// surface, as the image window does. Process time counts every thread (the converter's pool included);
// core_share = processor seconds per frame x the camera's full frame rate.
void BM_LiveViewDefaultColourCamera(benchmark::State& state)
{
    const CameraMode mode = defaultColourCamera();
    if (mode.framesPerSecond <= 0) {
        state.SkipWithError("no emulated colour camera");
        return;
    }
    const unsigned size = static_cast<unsigned>(Nimbo::ComputeBufferSize(mode.type, mode.width, mode.height));
    Lorvish::StreamBuffer buffer(size, mode.type, mode.width, mode.height, 1, nullptr);
    for (unsigned i = 0; i < size; ++i)
        buffer.rawData()[i] = static_cast<uint8_t>(i * 7 + i / 4096);
    DefaultColorConverterPlugin plugin;
    QImage surface(1280, 800, QImage::Format_RGB32);
    const double cpuBefore = benchtime::processCpuSeconds();
    for (auto _ : state) {
        Lorvish::Image image = plugin.convert(&buffer);
        QPainter painter(&surface);
        painter.setWindow(0, 0, int(image.width()), int(image.height()));
        painter.drawImage(0, 0, image.qImage());
        painter.end();
        benchmark::DoNotOptimize(surface.constBits());
    }
    const double cpuPerFrame = (benchtime::processCpuSeconds() - cpuBefore) / double(state.iterations());
    state.counters["camera_fps"] = mode.framesPerSecond;
    state.counters["cpu_ms_per_frame"] = cpuPerFrame * 1e3;
    state.counters["core_share"] = cpuPerFrame * mode.framesPerSecond;
    state.SetLabel(std::string(Nimbo::CPixelTypeMapper::GetNameByPixelType(mode.type)));
}
BENCHMARK(BM_LiveViewDefaultColourCamera)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return benchratio::runWithRatios(
        argc, argv,
        {benchratio::counterAtMost("live view, default colour camera at full rate: cores used",
                                   "BM_LiveViewDefaultColourCamera/real_time", "core_share", 1.0)});
}
