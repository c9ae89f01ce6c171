// Encoding speed of the MP4 writer against the ffmpeg command-line tool: the same 600 frames of
// 1920 x 1080 mono pixels, the same encoder (the MP4 container's default) with the same settings and bit
// rate. The writer's speed on the default colour camera's own frames against that camera's full frame
// rate. And the writer's memory at the playback rate of a recording sampled every millisecond against
// 25 frames/s.
#include "EmulatedCamera.h"
#include "MediaWriterFactory.h"
#include "ProcessTime.h"
#include "RatioReport.h"
#include "VideoMediaWriterAdapter.h"

#include <lorvish/StreamBuffer.h>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t width = 1920;
constexpr uint32_t height = 1080;
constexpr int frameCount = 600;
constexpr int distinctFrames = 60;
constexpr double framesPerSecond = 25.0;
// The writer factory's bit rate for this size and rate at quality 85.
constexpr int64_t bitRate = 12337920;

// Frame rates of every round, by program.
std::vector<double> writerRates;
std::vector<double> ffmpegRates;
std::vector<double> cameraRatios;
double memoryRatio = -1;

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A moving pattern with texture, so that the encoder has work to do; frames repeat every 60.
const std::vector<std::vector<uint8_t>>& frames()
{
    static const std::vector<std::vector<uint8_t>> pictures = [] {
        std::vector<std::vector<uint8_t>> result(distinctFrames, std::vector<uint8_t>(size_t(width) * height));
        for (int i = 0; i < distinctFrames; ++i)
            for (uint32_t y = 0; y < height; ++y)
                for (uint32_t x = 0; x < width; ++x)
                    result[i][size_t(y) * width + x] =
                        static_cast<uint8_t>((x + 2 * y + 8 * i) ^ (((x + 4 * i) * (y + i)) >> 9));
        return result;
    }();
    return pictures;
}

void Mp4Writer(benchmark::State& state)
{
    const auto& pictures = frames();
    QTemporaryDir folder;
    for (auto _ : state) {
        CVideoMediaWriterAdapter writer(GenICam::gcstring(folder.path().toLocal8Bit().constData()), framesPerSecond,
                                        Nimbo::PixelType_Mono8, width, height, 0, bitRate);
        writer.open(QDir(folder.path()).filePath("writer").toLocal8Bit().constData());
        for (int i = 0; i < frameCount; ++i) {
            const auto& picture = pictures[i % distinctFrames];
            writer.add(picture.data(), picture.size(), Nimbo::PixelType_Mono8, width, height, 0);
        }
        writer.close();
    }
    state.counters["fps"] = benchmark::Counter(double(frameCount) * state.iterations(), benchmark::Counter::kIsRate);
}

void FfmpegTool(benchmark::State& state)
{
    const auto& pictures = frames();
    QTemporaryDir folder;
    // The writer's own encoder settings: x264's fastest, no B-frames, a key frame every second.
    const std::string command = "ffmpeg -v error -y -f rawvideo -pix_fmt gray -s 1920x1080 -r 25 -i - -c:v libx264 "
                                "-preset ultrafast -bf 0 -g 25 -b:v " +
                                std::to_string(bitRate) + " -pix_fmt yuv420p '" +
                                QDir(folder.path()).filePath("tool.mp4").toStdString() + "'";
    for (auto _ : state) {
        FILE* pipe = popen(command.c_str(), "w");
        if (!pipe) {
            state.SkipWithError("ffmpeg could not be started");
            return;
        }
        for (int i = 0; i < frameCount; ++i) {
            const auto& picture = pictures[i % distinctFrames];
            std::fwrite(picture.data(), 1, picture.size(), pipe);
        }
        if (pclose(pipe) != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
    }
    state.counters["fps"] = benchmark::Counter(double(frameCount) * state.iterations(), benchmark::Counter::kIsRate);
}

// A second of the default colour camera's frames as the program records them: the emulated camera
// in the program's default configuration (YCbCr422_8, 1920 x 1200, full rate), with its frame rate.
struct CameraFrames {
    Nimbo::EPixelType type = Nimbo::PixelType_Undefined;
    uint32_t width = 0, height = 0, paddingX = 0;
    double framesPerSecond = 0;
    std::vector<std::vector<uint8_t>> frames;
};

const CameraFrames& defaultColourCameraFrames()
{
    static const CameraFrames recorded = [] {
        CameraFrames result;
        Nimbo::NimboAutoInitTerm init;
        std::unique_ptr<StdFeatureListCamera> camera = benchcamera::openDefaultColourCamera("70000002");
        if (!camera)
            return result;
        result.framesPerSecond = benchcamera::fullFrameRate(*camera);
        const size_t wanted = std::max<size_t>(1, size_t(result.framesPerSecond));
        std::mutex mutex;
        QObject::connect(
            camera.get(), &Camera::bufferAvailable, camera.get(),
            [&](Lorvish::StreamBuffer* buffer) {
                std::lock_guard<std::mutex> lock(mutex);
                if (result.frames.size() >= wanted || !buffer->isComplete())
                    return;
                result.type = buffer->imageFormat();
                result.width = buffer->imageWidth();
                result.height = buffer->imageHeight();
                result.paddingX = buffer->paddingX();
                result.frames.emplace_back(buffer->rawData(), buffer->rawData() + buffer->size());
            },
            Qt::DirectConnection);
        camera->startContinuousShot();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (result.frames.size() >= wanted)
                    break;
            }
            if (std::chrono::steady_clock::now() > deadline)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        camera->stopGrab();
        QObject::disconnect(camera.get(), nullptr, camera.get(), nullptr);
        camera->close();
        std::lock_guard<std::mutex> lock(mutex);
        if (result.frames.size() < wanted)
            result.frames.clear();
        return result;
    }();
    return recorded;
}

// The MP4 writer as a recording of the default colour camera makes it: playback at the camera's rate
// (the automatic playback rate of a recording of every frame) and the bit rate of the default quality.
// Frames are handed over as fast as the writer takes them; fps over the camera's rate is the headroom
// the encoder leaves a recording at full rate.
void Mp4WriterDefaultColourCamera(benchmark::State& state)
{
    const CameraFrames& camera = defaultColourCameraFrames();
    if (camera.frames.empty()) {
        state.SkipWithError("no frames from the emulated colour camera");
        return;
    }
    constexpr int32_t kDefaultQuality = 85; // the recording settings' default
    const int64_t rate = videoBitRate(camera.width, camera.height, camera.framesPerSecond, kDefaultQuality);
    // Five seconds of the camera's frames.
    const int frameCount = int(camera.framesPerSecond * 5);
    QTemporaryDir folder;
    double seconds = 0;
    const double cpuBefore = benchtime::processCpuSeconds();
    for (auto _ : state) {
        CVideoMediaWriterAdapter writer(GenICam::gcstring(folder.path().toLocal8Bit().constData()),
                                        camera.framesPerSecond, camera.type, camera.width, camera.height, 0, rate);
        const auto start = std::chrono::steady_clock::now();
        writer.open(QDir(folder.path()).filePath("camera").toLocal8Bit().constData());
        for (int i = 0; i < frameCount; ++i) {
            const auto& frame = camera.frames[size_t(i) % camera.frames.size()];
            writer.add(frame.data(), frame.size(), camera.type, camera.width, camera.height, camera.paddingX);
        }
        writer.close();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double frames = double(frameCount) * double(state.iterations());
    const double fps = seconds > 0 ? frames / seconds : 0;
    state.counters["fps"] = fps;
    // Processor time of every thread (the encoder's) per frame, times the camera's rate: the cores a
    // recording at full rate keeps busy.
    state.counters["cores_at_camera_rate"] =
        (benchtime::processCpuSeconds() - cpuBefore) / frames * camera.framesPerSecond;
    state.counters["camera_fps"] = camera.framesPerSecond;
    state.counters["bit_rate_Mbps"] = double(rate) / 1e6;
    cameraRatios.push_back(fps / camera.framesPerSecond);
    state.SetLabel(std::string(Nimbo::CPixelTypeMapper::GetNameByPixelType(camera.type)) + " " +
                   std::to_string(camera.width) + "x" + std::to_string(camera.height));
}

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
long statusKb(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, field.size() + 1, field + ":") == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

// The peak resident memory that recording 300 frames at `playbackRate` adds, in MB: measured in a
// process of its own, so that memory the allocator kept from the other measurement does not hide it.
double recordingPeakMB(double playbackRate)
{
    int channel[2];
    if (pipe(channel) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const auto& pictures = frames();
        const long start = statusKb("VmRSS");
        {
            QTemporaryDir folder;
            CVideoMediaWriterAdapter writer(GenICam::gcstring(folder.path().toLocal8Bit().constData()), playbackRate,
                                            Nimbo::PixelType_Mono8, width, height, 0, bitRate);
            writer.open(QDir(folder.path()).filePath("memory").toLocal8Bit().constData());
            for (int i = 0; i < 300; ++i) {
                const auto& picture = pictures[i % distinctFrames];
                writer.add(picture.data(), picture.size(), Nimbo::PixelType_Mono8, width, height, 0);
            }
            writer.close();
        }
        const double grown = double(statusKb("VmHWM") - start) / 1024.0;
        const bool sent = write(channel[1], &grown, sizeof grown) == sizeof grown;
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    double grown = -1;
    if (child < 0 || read(channel[0], &grown, sizeof grown) != sizeof grown)
        grown = -1;
    close(channel[0]);
    if (child > 0)
        waitpid(child, nullptr, 0);
    return grown;
}

// Sampling every millisecond plays at 1000 frames/s; the encoder's look-ahead must not grow with the rate
// into hundreds of held pictures.
void Mp4WriterMemory(benchmark::State& state)
{
    double slow = -1, fast = -1;
    for (auto _ : state) {
        slow = recordingPeakMB(framesPerSecond);
        fast = recordingPeakMB(1000.0);
    }
    if (slow <= 0 || fast <= 0) {
        state.SkipWithError("the memory could not be measured");
        return;
    }
    state.counters["MB at 25/s"] = slow;
    state.counters["MB at 1000/s"] = fast;
    memoryRatio = fast / slow;
}

// Keeps the frame rate of each run for the ratio printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const auto counter = run.counters.find("fps");
            const double fps = counter == run.counters.end() ? 0 : double(counter->second);
            if (run.benchmark_name().find("Mp4WriterDefaultColourCamera") != std::string::npos)
                continue;
            if (run.benchmark_name().find("Mp4Writer") != std::string::npos)
                writerRates.push_back(fps);
            else if (run.benchmark_name().find("FfmpegTool") != std::string::npos)
                ffmpegRates.push_back(fps);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    // Rounds alternate between the two programs, so that a change of load on the shared machine
    // touches both; the ratio is taken from the medians.
    constexpr int rounds = 3;
    for (int round = 1; round <= rounds; ++round) {
        const std::string suffix = "/round:" + std::to_string(round);
        benchmark::RegisterBenchmark(("Mp4Writer" + suffix).c_str(), Mp4Writer)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1);
        benchmark::RegisterBenchmark(("FfmpegTool" + suffix).c_str(), FfmpegTool)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1);
    }
    for (int round = 1; round <= rounds; ++round)
        benchmark::RegisterBenchmark(("Mp4WriterDefaultColourCamera/round:" + std::to_string(round)).c_str(),
                                     Mp4WriterDefaultColourCamera)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1);
    benchmark::RegisterBenchmark("Mp4WriterMemory", Mp4WriterMemory)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double writer = median(writerRates);
    const double ffmpeg = median(ffmpegRates);
    if (writer > 0 && ffmpeg > 0)
        std::printf("MP4 writer: %.1f frames/s, ffmpeg: %.1f frames/s (medians)\n", writer, ffmpeg);
    benchratio::printRatio("MP4 writer vs the ffmpeg tool, same encoder and bit rate",
                           writer > 0 && ffmpeg > 0 ? writer / ffmpeg : -1, 1.0);
    benchratio::printRatio("MP4 writer vs the default colour camera's full rate: frames/s",
                           cameraRatios.empty() ? -1 : median(cameraRatios), 1.5);
    benchratio::printRatio("MP4 writer's memory at 1000 frames/s over that at 25 frames/s", memoryRatio, 1.5, true);
    return 0;
}
