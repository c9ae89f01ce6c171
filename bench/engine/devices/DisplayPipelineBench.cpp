// Display pipeline costs: converting one full-size frame for display, and what a frame hand-off
// costs the grab thread.
#include "Converter.h"
#include "Decoupler.h"
#include "DefaultColorConverterPlugin.h"

#include <lorvish/StreamBuffer.h>

#include <benchmark/benchmark.h>

#include <QCoreApplication>

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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
