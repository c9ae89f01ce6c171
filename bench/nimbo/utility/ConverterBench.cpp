// Conversion speed of full camera frames (1920x1200), ours side by side with libswscale's.
#include <nimbo/ImageFormatConverter.h>

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <vector>

using namespace Nimbo;

namespace {

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1200;

std::vector<uint8_t> pattern(size_t bytes)
{
    std::vector<uint8_t> data(bytes);
    uint32_t state = 12345;
    for (auto& b : data) {
        state = state * 1103515245u + 12345u;
        b = uint8_t(state >> 16);
    }
    return data;
}

void convertWithNimbo(benchmark::State& state, EPixelType input, EPixelType output)
{
    const auto in = pattern(ComputeBufferSize(input, kWidth, kHeight));
    CImageFormatConverter converter;
    converter.SetOutputPixelFormat(output);
    std::vector<uint8_t> out(converter.GetBufferSizeForConversion(kWidth, kHeight));
    for (auto _ : state) {
        converter.Convert(out.data(), out.size(), in.data(), in.size(), input, kWidth, kHeight, 0,
                          ImageOrientation_TopDown);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}

void BM_Nimbo_BayerRG8_to_BGRA8(benchmark::State& state)
{
    convertWithNimbo(state, PixelType_BayerRG8, PixelType_BGRA8packed);
}
BENCHMARK(BM_Nimbo_BayerRG8_to_BGRA8)->Unit(benchmark::kMillisecond);

void BM_Swscale_BayerRG8_to_BGRA8(benchmark::State& state)
{
    const auto in = pattern(size_t(kWidth) * kHeight);
    std::vector<uint8_t> out(size_t(kWidth) * kHeight * 4);
    SwsContext* context = sws_getContext(int(kWidth), int(kHeight), AV_PIX_FMT_BAYER_RGGB8, int(kWidth), int(kHeight),
                                         AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!context) {
        state.SkipWithError("libswscale cannot convert Bayer RGGB8 to BGRA");
        return;
    }
    const uint8_t* src[4] = {in.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {int(kWidth), 0, 0, 0};
    uint8_t* dst[4] = {out.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {int(kWidth * 4), 0, 0, 0};
    for (auto _ : state) {
        sws_scale(context, src, srcStride, 0, int(kHeight), dst, dstStride);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    sws_freeContext(context);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}
BENCHMARK(BM_Swscale_BayerRG8_to_BGRA8)->Unit(benchmark::kMillisecond);

void BM_Nimbo_Mono8_to_BGRA8(benchmark::State& state)
{
    convertWithNimbo(state, PixelType_Mono8, PixelType_BGRA8packed);
}
BENCHMARK(BM_Nimbo_Mono8_to_BGRA8)->Unit(benchmark::kMillisecond);

void BM_Nimbo_BayerRG12_to_BGRA8(benchmark::State& state)
{
    convertWithNimbo(state, PixelType_BayerRG12, PixelType_BGRA8packed);
}
BENCHMARK(BM_Nimbo_BayerRG12_to_BGRA8)->Unit(benchmark::kMillisecond);

void BM_Nimbo_YUV422_to_BGRA8(benchmark::State& state)
{
    convertWithNimbo(state, PixelType_YUV422_YUYV_Packed, PixelType_BGRA8packed);
}
BENCHMARK(BM_Nimbo_YUV422_to_BGRA8)->Unit(benchmark::kMillisecond);

void BM_Nimbo_BayerRG8_to_Mono8(benchmark::State& state)
{
    convertWithNimbo(state, PixelType_BayerRG8, PixelType_Mono8);
}
BENCHMARK(BM_Nimbo_BayerRG8_to_Mono8)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
