// Sustained throughput of the buffered image sink writing 1920x1200 frames as TIFF and BMP sequences,
// beside a plain sequential write of the same bytes to the same disk (the physical limit): Mono8 frames,
// written as they are, and the colour camera's YCbCr422_8 frames, converted to 8-bit RGB on the way.
//
// Files go to a temporary folder under BENCH_OUTPUT_DIR when set, else under the system's temporary
// folder. Counters: sink_MBps, plain_MBps and ratio (sink / plain). BM_SinkOnly measures the sink
// with a writer that writes nothing, to tell the sink's own cost from the file writer's.
#include "BufferedImageSink.h"
#include "ImageSequenceMediaWriter.h"
#include "RatioReport.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1200;
constexpr int kFrames = 60;

std::unique_ptr<QTemporaryDir> makeFolder()
{
    const QByteArray root = qgetenv("BENCH_OUTPUT_DIR");
    const QString base = root.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(root);
    return std::make_unique<QTemporaryDir>(base + "/sinkbench-XXXXXX");
}

std::vector<uint8_t> testFrame(Nimbo::EPixelType type = Nimbo::PixelType_Mono8)
{
    std::vector<uint8_t> frame(Nimbo::ComputeBufferSize(type, kWidth, kHeight));
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i * 7 + i / kWidth);
    return frame;
}

// Seconds to write kFrames files of `frame`'s size each, with plain stdio writes.
double plainWrite(const QString& folder, const std::vector<uint8_t>& frame)
{
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < kFrames; ++i) {
        const QByteArray name = QString("%1/plain_%2.raw").arg(folder).arg(i + 1, 4, 10, QChar('0')).toLocal8Bit();
        std::FILE* file = std::fopen(name.constData(), "wb");
        if (!file)
            return 0;
        std::fwrite(frame.data(), frame.size(), 1, file);
        std::fclose(file);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// Seconds from the first push until the sink's writer has written every frame. A push into a full
// queue is retried, so no frame is dropped and the figure is the sustained rate of the writer side.
double sinkWrite(const QString& folder, const std::vector<uint8_t>& frame, Nimbo::EPixelType type, bool tiff)
{
    std::unique_ptr<CImageSequenceMediaWriter> writer;
    if (tiff)
        writer = std::make_unique<CTiffMediaWriter>();
    else
        writer = std::make_unique<CBitmapMediaWriter>();
    writer->open((folder + "/cam_20240101_120000000").toLocal8Bit().constData());
    CBufferedImageSink sink(writer.get(), 100);
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < kFrames; ++i)
        while (!sink.push(frame.data(), frame.size(), type, kWidth, kHeight, 0))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    while (sink.recordedCount() < uint32_t(kFrames))
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    sink.stop();
    writer->close();
    return seconds;
}

// range(0): 1 TIFF, 0 BMP; range(1): 1 the colour camera's YCbCr422_8, 0 Mono8.
void BM_SinkSequence(benchmark::State& state)
{
    const bool tiff = state.range(0) == 1;
    const bool colour = state.range(1) == 1;
    const Nimbo::EPixelType type = colour ? Nimbo::PixelType_YCbCr422_8 : Nimbo::PixelType_Mono8;
    const std::vector<uint8_t> frame = testFrame(type);
    // The plain write writes as many bytes as each file holds: 8-bit grey, or 8-bit RGB for colour.
    const std::vector<uint8_t> fileBytes(size_t(kWidth) * kHeight * (colour ? 3 : 1), 0x5A);
    double sinkSeconds = 0;
    double plainSeconds = 0;
    for (auto _ : state) {
        auto folder = makeFolder();
        if (!folder->isValid()) {
            state.SkipWithError("cannot create the output folder");
            return;
        }
        plainSeconds += plainWrite(folder->path(), fileBytes);
        const double seconds = sinkWrite(folder->path(), frame, type, tiff);
        sinkSeconds += seconds;
        state.SetIterationTime(seconds);
    }
    const double megabytes = double(state.iterations()) * kFrames * fileBytes.size() / 1e6;
    state.SetBytesProcessed(int64_t(state.iterations()) * kFrames * int64_t(fileBytes.size()));
    state.counters["sink_MBps"] = megabytes / sinkSeconds;
    state.counters["plain_MBps"] = megabytes / plainSeconds;
    state.counters["ratio"] = plainSeconds / sinkSeconds;
    state.SetLabel(std::string(tiff ? "TIFF " : "BMP ") + (colour ? "YCbCr422_8" : "Mono8") + " 1920x1200");
}

// A writer that keeps nothing: what the sink itself (copy, queue, thread hand-over) can sustain.
class CountingWriter : public IMediaWriter {
public:
    void open(const GenICam::gcstring&) override {}
    bool isOpen() const override { return true; }
    void close() override {}
    void add(const Nimbo::CNimboImage& image) override { benchmark::DoNotOptimize(image.GetBuffer()), ++m_count; }
    void add(const void* buffer, size_t, Nimbo::EPixelType, uint32_t, uint32_t, uint32_t) override
    {
        benchmark::DoNotOptimize(buffer);
        ++m_count;
    }
    bool acceptsImageAsIs(const Nimbo::CNimboImage&) const override { return true; }
    bool acceptsBufferAsIs(Nimbo::EPixelType, uint32_t, uint32_t, uint32_t) const override { return true; }
    uint32_t imageCount() const override { return m_count; }
    uint64_t bytesWritten() const override { return 0; }

private:
    std::atomic<uint32_t> m_count{0};
};

void BM_SinkOnly(benchmark::State& state)
{
    const std::vector<uint8_t> frame = testFrame();
    for (auto _ : state) {
        CountingWriter writer;
        CBufferedImageSink sink(&writer, 100);
        const auto begin = std::chrono::steady_clock::now();
        for (int i = 0; i < kFrames; ++i)
            while (!sink.push(frame.data(), frame.size(), Nimbo::PixelType_Mono8, kWidth, kHeight, 0))
                std::this_thread::yield();
        while (writer.imageCount() < uint32_t(kFrames))
            std::this_thread::yield();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        sink.stop();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kFrames * int64_t(frame.size()));
    state.SetLabel("no file, Mono8 1920x1200");
}

BENCHMARK(BM_SinkOnly)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SinkSequence)
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    auto sink = [](const char* what, const char* args) {
        return benchratio::counter(what, std::string("BM_SinkSequence/") + args + "/iterations:5/manual_time", "ratio",
                                   0.8);
    };
    return benchratio::runWithRatios(argc, argv,
                                     {sink("TIFF sink, Mono8 / plain sequential write", "1/0"),
                                      sink("BMP sink, Mono8 / plain sequential write", "0/0"),
                                      sink("TIFF sink, colour YCbCr422_8 / plain sequential write", "1/1"),
                                      sink("BMP sink, colour YCbCr422_8 / plain sequential write", "0/1")});
}
