// Sustained throughput of the buffered image sink writing 1920x1200 frames as TIFF and BMP sequences,
// beside a plain sequential write of the same bytes to the same disk (the physical limit): Mono8 frames,
// written as they are, and the colour camera's YCbCr422_8 frames, converted to 8-bit RGB on the way.
//
// The comparison is kept fair: both sides write kFrames new files of the same size into an empty folder
// of their own, from the same few source buffers (as a camera's buffer pool hands them on); after each
// side its files are synced and dropped from the page cache (untimed), so both start from the same
// cache with the same room in it; which side goes first alternates from round to round. The sink's
// queue takes every frame of a round and the sink lives from round to round (after one untimed round),
// so the figure is the rate its writers sustain once its memory is reused, as in a running recording,
// rather than the first touch of fresh memory, which on some virtual machines costs more than the write.
//
// Files go to a temporary folder under BENCH_OUTPUT_DIR when set, else under the system's temporary
// folder. Counters: sink_MBps and plain_MBps over all rounds, ratio (plain time / sink time of the
// median round) and the lowest and highest ratio of a round (ratio_min, ratio_max). BM_SinkOnly
// measures the sink with a writer that writes nothing, to tell the sink's own cost from the file writer's.
#include "BufferedImageSink.h"
#include "ImageSequenceMediaWriter.h"
#include "RatioReport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1200;
constexpr int kFrames = 60;
constexpr int kSources = 4;
constexpr int kQueue = 8;
constexpr int kRounds = 6;

using Clock = std::chrono::steady_clock;

std::unique_ptr<QTemporaryDir> makeFolder()
{
    const QByteArray root = qgetenv("BENCH_OUTPUT_DIR");
    const QString base = root.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(root);
    return std::make_unique<QTemporaryDir>(base + "/sinkbench-XXXXXX");
}

// kSources frames of `bytes` bytes each, every page touched, with different contents.
std::vector<std::vector<uint8_t>> sourceFrames(size_t bytes)
{
    std::vector<std::vector<uint8_t>> frames(kSources, std::vector<uint8_t>(bytes));
    for (int f = 0; f < kSources; ++f)
        for (size_t i = 0; i < bytes; ++i)
            frames[f][i] = uint8_t(i * 7 + i / kWidth + f * 31);
    return frames;
}

// Writes back what a side wrote and drops it from the page cache, so that the next side starts from the
// same cache with the same room in it. The files stay until the end: deleting them would have the file
// system trim their blocks while the next side writes.
void settle(const QString& root, const QString& written)
{
    const int fd = ::open(root.toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
    for (const QFileInfo& file : QDir(written).entryInfoList(QDir::Files)) {
        const int fileFd = ::open(file.filePath().toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
        if (fileFd >= 0) {
            ::posix_fadvise(fileFd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fileFd);
        }
    }
}

// Seconds to write kFrames new files, each the bytes of one source frame, with one write(2) each.
double plainWrite(const QString& folder, const std::vector<std::vector<uint8_t>>& sources)
{
    const auto begin = Clock::now();
    for (int i = 0; i < kFrames; ++i) {
        const QByteArray name = QString("%1/plain_%2.raw").arg(folder).arg(i + 1, 4, 10, QChar('0')).toLocal8Bit();
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0)
            return 0;
        const std::vector<uint8_t>& frame = sources[i % kSources];
        size_t done = 0;
        while (done < frame.size()) {
            const ssize_t written = ::write(fd, frame.data() + done, frame.size() - done);
            if (written <= 0)
                break;
            done += size_t(written);
        }
        ::close(fd);
    }
    return std::chrono::duration<double>(Clock::now() - begin).count();
}

// The sink with its sequence writer, kept from round to round as a recording keeps it from frame to
// frame: its queue's frames and its writer threads' conversion memory are reused, not touched afresh.
struct SinkSide {
    SinkSide(bool tiff)
    {
        if (tiff)
            writer = std::make_unique<CTiffMediaWriter>();
        else
            writer = std::make_unique<CBitmapMediaWriter>();
        sink = std::make_unique<CBufferedImageSink>(writer.get(), kFrames);
    }
    ~SinkSide()
    {
        sink->stop();
        writer->close();
    }

    // Seconds from the first push until the sink's writers have written every frame; 0 when a frame
    // was dropped or not written.
    double write(const QString& folder, const std::vector<std::vector<uint8_t>>& sources, Nimbo::EPixelType type)
    {
        writer->open((folder + "/cam_20240101_120000000").toLocal8Bit().constData());
        const uint32_t before = sink->recordedCount();
        const auto begin = Clock::now();
        for (int i = 0; i < kFrames; ++i) {
            const std::vector<uint8_t>& frame = sources[i % kSources];
            if (!sink->push(frame.data(), frame.size(), type, kWidth, kHeight, 0))
                return 0;
        }
        sink->waitUntilEmpty(std::chrono::minutes(5));
        const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
        writer->close();
        return sink->recordedCount() - before == uint32_t(kFrames) ? seconds : 0;
    }

    std::unique_ptr<CImageSequenceMediaWriter> writer;
    std::unique_ptr<CBufferedImageSink> sink;
};

// range(0): 1 TIFF, 0 BMP; range(1): 1 the colour camera's YCbCr422_8, 0 Mono8.
void BM_SinkSequence(benchmark::State& state)
{
    const bool tiff = state.range(0) == 1;
    const bool colour = state.range(1) == 1;
    const Nimbo::EPixelType type = colour ? Nimbo::PixelType_YCbCr422_8 : Nimbo::PixelType_Mono8;
    const auto cameraFrames = sourceFrames(Nimbo::ComputeBufferSize(type, kWidth, kHeight));
    // The plain write writes as many bytes as each file holds: 8-bit grey, or 8-bit RGB for colour.
    const auto fileFrames = sourceFrames(size_t(kWidth) * kHeight * (colour ? 3 : 1));
    double sinkSeconds = 0;
    double plainSeconds = 0;
    auto folder = makeFolder();
    if (!folder->isValid()) {
        state.SkipWithError("cannot create the output folder");
        return;
    }
    // One untimed round first: the queue's frames are made and touched once.
    SinkSide sinkSide(tiff);
    QDir().mkpath(folder->path() + "/warm");
    sinkSide.write(folder->path() + "/warm", cameraFrames, type);
    settle(folder->path(), folder->path() + "/warm");
    std::vector<double> ratios;
    for (auto _ : state) {
        double plain = 0;
        double sunk = 0;
        for (int side = 0; side < 2; ++side) {
            const QString sideFolder = QString("%1/%2-%3").arg(folder->path()).arg(ratios.size()).arg(side);
            QDir().mkpath(sideFolder);
            if ((side + ratios.size()) % 2 == 0)
                plain = plainWrite(sideFolder, fileFrames);
            else
                sunk = sinkSide.write(sideFolder, cameraFrames, type);
            settle(folder->path(), sideFolder);
        }
        if (plain <= 0 || sunk <= 0) {
            state.SkipWithError("a file could not be written");
            return;
        }
        plainSeconds += plain;
        sinkSeconds += sunk;
        ratios.push_back(plain / sunk);
        state.SetIterationTime(sunk);
    }
    std::sort(ratios.begin(), ratios.end());
    const double fileBytes = double(fileFrames.front().size());
    const double megabytes = double(state.iterations()) * kFrames * fileBytes / 1e6;
    state.SetBytesProcessed(int64_t(state.iterations()) * kFrames * int64_t(fileBytes));
    state.counters["sink_MBps"] = megabytes / sinkSeconds;
    state.counters["plain_MBps"] = megabytes / plainSeconds;
    // The median round: a round that met a stall of the disk on one side only moves it little.
    state.counters["ratio"] = ratios[ratios.size() / 2];
    state.counters["ratio_min"] = ratios.front();
    state.counters["ratio_max"] = ratios.back();
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
    const auto sources = sourceFrames(size_t(kWidth) * kHeight);
    for (auto _ : state) {
        CountingWriter writer;
        CBufferedImageSink sink(&writer, kQueue);
        const auto begin = Clock::now();
        for (int i = 0; i < kFrames; ++i)
            while (!sink.push(sources[i % kSources].data(), sources[i % kSources].size(), Nimbo::PixelType_Mono8,
                              kWidth, kHeight, 0))
                std::this_thread::yield();
        sink.waitUntilEmpty(std::chrono::minutes(1));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
        sink.stop();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kFrames * int64_t(size_t(kWidth) * kHeight));
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
    ->Iterations(kRounds);

} // namespace

int main(int argc, char** argv)
{
    auto sink = [](const char* what, const char* args) {
        return benchratio::counter(what,
                                   std::string("BM_SinkSequence/") + args + "/iterations:" + std::to_string(kRounds) +
                                       "/manual_time",
                                   "ratio", 0.8);
    };
    return benchratio::runWithRatios(argc, argv,
                                     {sink("TIFF sink, Mono8 / plain sequential write", "1/0"),
                                      sink("BMP sink, Mono8 / plain sequential write", "0/0"),
                                      sink("TIFF sink, colour YCbCr422_8 / plain sequential write", "1/1"),
                                      sink("BMP sink, colour YCbCr422_8 / plain sequential write", "0/1")});
}
