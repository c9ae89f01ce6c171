// Conversion speed of full camera frames (1920x1200), ours side by side with libswscale's, both on one
// thread; the pooled runs show what splitting the lines over the converter's pool adds.
#include "RatioReport.h"

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

// range(0): 1 for one thread, 0 for the converter's own choice (the pool for frames of this size).
void convertWithNimbo(benchmark::State& state, EPixelType input, EPixelType output)
{
    const auto in = pattern(ComputeBufferSize(input, kWidth, kHeight));
    CImageFormatConverter converter;
    converter.SetOutputPixelFormat(output);
    converter.SetThreadCount(unsigned(state.range(0)));
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

void convertWithSwscale(benchmark::State& state, AVPixelFormat input, int inputBytesPerPixel, AVPixelFormat output,
                        int outputBytesPerPixel)
{
    const auto in = pattern(size_t(kWidth) * kHeight * size_t(inputBytesPerPixel));
    std::vector<uint8_t> out(size_t(kWidth) * kHeight * size_t(outputBytesPerPixel));
    SwsContext* context = sws_getContext(int(kWidth), int(kHeight), input, int(kWidth), int(kHeight), output,
                                         SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!context) {
        state.SkipWithError("libswscale cannot make this conversion");
        return;
    }
    const uint8_t* src[4] = {in.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {int(kWidth) * inputBytesPerPixel, 0, 0, 0};
    uint8_t* dst[4] = {out.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {int(kWidth) * outputBytesPerPixel, 0, 0, 0};
    for (auto _ : state) {
        sws_scale(context, src, srcStride, 0, int(kHeight), dst, dstStride);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    sws_freeContext(context);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}

#define NIMBO_PAIR(name, nimboIn, nimboOut, swsIn, inBytes, swsOut, outBytes)                                          \
    void BM_Nimbo_##name(benchmark::State& state) { convertWithNimbo(state, nimboIn, nimboOut); }                     \
    BENCHMARK(BM_Nimbo_##name)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);                                       \
    void BM_Swscale_##name(benchmark::State& state) { convertWithSwscale(state, swsIn, inBytes, swsOut, outBytes); } \
    BENCHMARK(BM_Swscale_##name)->Unit(benchmark::kMillisecond);

NIMBO_PAIR(YUYV_to_BGRA8, PixelType_YUV422_YUYV_Packed, PixelType_BGRA8packed, AV_PIX_FMT_YUYV422, 2, AV_PIX_FMT_BGRA,
           4)
NIMBO_PAIR(UYVY_to_BGRA8, PixelType_YUV422packed, PixelType_BGRA8packed, AV_PIX_FMT_UYVY422, 2, AV_PIX_FMT_BGRA, 4)
NIMBO_PAIR(YUYV_to_RGB8, PixelType_YUV422_YUYV_Packed, PixelType_RGB8packed, AV_PIX_FMT_YUYV422, 2, AV_PIX_FMT_RGB24,
           3)
NIMBO_PAIR(UYVY_to_RGB8, PixelType_YUV422packed, PixelType_RGB8packed, AV_PIX_FMT_UYVY422, 2, AV_PIX_FMT_RGB24, 3)
NIMBO_PAIR(BayerRG8_to_BGRA8, PixelType_BayerRG8, PixelType_BGRA8packed, AV_PIX_FMT_BAYER_RGGB8, 1, AV_PIX_FMT_BGRA,
           4)
NIMBO_PAIR(Mono8_to_BGRA8, PixelType_Mono8, PixelType_BGRA8packed, AV_PIX_FMT_GRAY8, 1, AV_PIX_FMT_BGRA, 4)

void BM_Nimbo_YUYV_to_BGR8(benchmark::State& state)
{
    convertWithNimbo(state, PixelType_YUV422_YUYV_Packed, PixelType_BGR8packed);
}
BENCHMARK(BM_Nimbo_YUYV_to_BGR8)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_Nimbo_BayerRG12_to_BGRA8(benchmark::State& state)
{
    convertWithNimbo(state, PixelType_BayerRG12, PixelType_BGRA8packed);
}
BENCHMARK(BM_Nimbo_BayerRG12_to_BGRA8)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Nimbo_BayerRG8_to_Mono8(benchmark::State& state)
{
    convertWithNimbo(state, PixelType_BayerRG8, PixelType_Mono8);
}
BENCHMARK(BM_Nimbo_BayerRG8_to_Mono8)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    auto vsSwscale = [](const char* what, const char* name) {
        return benchratio::speed(std::string(what) + ", one thread, vs libswscale", std::string("BM_Nimbo_") + name + "/1",
                                 std::string("BM_Swscale_") + name);
    };
    return benchratio::runWithRatios(argc, argv,
                                     {vsSwscale("YUYV -> BGRA8", "YUYV_to_BGRA8"),
                                      vsSwscale("UYVY -> BGRA8", "UYVY_to_BGRA8"),
                                      vsSwscale("YUYV -> RGB8", "YUYV_to_RGB8"),
                                      vsSwscale("UYVY -> RGB8", "UYVY_to_RGB8"),
                                      vsSwscale("Bayer RG8 -> BGRA8", "BayerRG8_to_BGRA8"),
                                      vsSwscale("Mono8 -> BGRA8", "Mono8_to_BGRA8")});
}
