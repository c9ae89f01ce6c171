// Frames a second and processor time of the SDK's stream grabber on a real GigE Vision camera, against
// Aravis' own streaming tool (arv-camera-test-0.8) on the same camera: Aravis' fake camera inside a
// network namespace that holds only the loopback interface, so that discovery never leaves the
// machine. Rounds alternate between the programs, so that a change of load touches all; the ratios are
// the medians of the rounds' own ratios (the runs of a round are next to each other in time, so that
// they meet about the same load). The fake camera, on the same machine, sets the pace and rarely
// reaches the rate asked for: the processor time compared is the time a frame, so that the program
// that happened to get more frames in its window is not the one that looks dearer.
//
// Aravis' tool takes each frame on Aravis' own receiving thread; the grabber's caller takes it on a
// thread of its own, which a frame has to wake. A third program shows what that hand-over costs by
// itself: Aravis' own blocking pop on an application thread (this program again, in a mode of its own).
#include "RatioReport.h"

#include <testsupport/Loopback.h>

#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>
#include <nimbo/TlFactory.h>

#include <GenApi/GenApi.h>
#include <GenICam/GenericException.h>

#include <benchmark/benchmark.h>

#include <arv.h>

#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const kFakeCamera = "/usr/bin/arv-fake-gv-camera-0.8";
const char* const kAravisTool = "/usr/bin/arv-camera-test-0.8";
const char* const kSerial = "BENCH0001";
constexpr int kWindowSeconds = 4; // measured, after a second of warming up
constexpr int kRounds = 5;
constexpr int kBuffers = 50; // as many as Aravis' tool queues

struct Setup {
    const char* name;
    int width, height;
    // Set for each run: the camera keeps what the run before it set.
    int packetSize;
};
const Setup kSetups[] = {
    {"640x480 at 1000 fps", 640, 480, 1500},
    {"2048x2048, 8000-byte packets", 2048, 2048, 8000},
};

// One measured window: frames a second and processor seconds a second.
struct Figures {
    double fps = 0;
    double cores = 0;
    double perFrame() const { return fps > 0 ? cores / fps : -1; } // processor seconds a frame
};
// The programs compared, in the order of the first round.
enum class Program { Sdk, AravisTool, AravisPop };
const Program kPrograms[] = {Program::Sdk, Program::AravisTool, Program::AravisPop};
const char* const kPopMode = "--aravis-pop"; // this program's mode that runs Aravis' blocking pop

struct Round {
    Figures sdk, aravis, pop;
};
std::map<std::string, std::map<int, Round>> g_rounds; // by setup name and round

double processorSeconds(const rusage& u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double selfProcessorSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return processorSeconds(u);
}

// A second of warming up, then the measured window: `takeOne` waits a short while for a frame and
// says whether it took a good one.
template <typename TakeOne>
Figures measureWindow(TakeOne takeOne)
{
    using Clock = std::chrono::steady_clock;
    const auto warm = Clock::now() + std::chrono::seconds(1);
    const auto end = warm + std::chrono::seconds(kWindowSeconds);
    double cpuStart = 0;
    bool measuring = false;
    uint64_t frames = 0;
    for (;;) {
        const auto now = Clock::now();
        if (!measuring && now >= warm) {
            measuring = true;
            cpuStart = selfProcessorSeconds();
        }
        if (now >= end)
            break;
        if (takeOne() && measuring)
            ++frames;
    }
    Figures figures;
    figures.cores = (selfProcessorSeconds() - cpuStart) / kWindowSeconds;
    figures.fps = double(frames) / kWindowSeconds;
    return figures;
}

// Processor seconds of another process's threads so far: the sum of their run times in /proc, in
// nanoseconds (its clock ticks would be too coarse for the tenth of a core a stream costs).
double processorSecondsOf(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* folder = opendir(tasks.c_str());
    if (!folder)
        return 0;
    double total = 0;
    while (dirent* task = readdir(folder)) {
        if (task->d_name[0] == '.')
            continue;
        std::ifstream schedstat(tasks + "/" + task->d_name + "/schedstat");
        unsigned long long runNs = 0;
        if (schedstat >> runNs)
            total += double(runNs) / 1e9;
    }
    closedir(folder);
    return total;
}

// Aravis' fake camera on 127.0.0.1 for as long as it lives.
class FakeCamera {
public:
    FakeCamera()
    {
        m_pid = fork();
        if (m_pid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execl(kFakeCamera, kFakeCamera, "-i", "127.0.0.1", "-s", kSerial, static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~FakeCamera()
    {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid = -1;
};

bool findCamera(Nimbo::CDeviceInfo& info)
{
    Nimbo::ITransportLayer* tl = Nimbo::CTlFactory::GetInstance().CreateTl("VelmarGigE");
    for (int attempt = 0; attempt < 20; ++attempt) {
        Nimbo::DeviceInfoList_t list;
        tl->EnumerateDevices(list, false);
        for (const auto& d : list)
            if (d.GetSerialNumber() == kSerial) {
                info = d;
                return true;
            }
    }
    return false;
}

// The SDK's grabber: a thread that takes every result and queues its buffer again.
Figures grabWithTheSdk(const Setup& setup)
{
    Figures figures;
    Nimbo::CDeviceInfo info;
    if (!findCamera(info))
        return figures;
    Nimbo::INimboDevice* device = Nimbo::CTlFactory::GetInstance().CreateDevice(info);
    device->Open();
    GenApi::INodeMap& map = *device->GetNodeMap();
    GenApi::CIntegerPtr(map.GetNode("Width"))->SetValue(setup.width);
    GenApi::CIntegerPtr(map.GetNode("Height"))->SetValue(setup.height);
    GenApi::CEnumerationPtr(map.GetNode("PixelFormat"))->FromString("Mono8");
    GenApi::CFloatPtr(map.GetNode("AcquisitionFrameRate"))->SetValue(1000.0);
    Nimbo::IStreamGrabber* grabber = device->GetStreamGrabber(0);
    grabber->Open();
    GenApi::CIntegerPtr(grabber->GetNodeMap()->GetNode("PacketSize"))->SetValue(setup.packetSize);
    const size_t payload = static_cast<size_t>(GenApi::CIntegerPtr(map.GetNode("PayloadSize"))->GetValue());
    GenApi::CIntegerPtr(grabber->GetNodeMap()->GetNode("MaxNumBuffer"))->SetValue(kBuffers);
    grabber->PrepareGrab();
    std::vector<std::vector<uint8_t>> memory(kBuffers, std::vector<uint8_t>(payload));
    for (auto& m : memory)
        grabber->QueueBuffer(grabber->RegisterBuffer(m.data(), m.size()), nullptr);
    GenApi::CCommandPtr(map.GetNode("AcquisitionStart"))->Execute();

    figures = measureWindow([grabber] {
        Nimbo::GrabResult r;
        if (!grabber->RetrieveResult(r)) {
            grabber->GetWaitObject().Wait(100);
            return false;
        }
        if (r.Status() != Nimbo::Canceled)
            grabber->QueueBuffer(r.Handle(), nullptr);
        return r.Status() == Nimbo::Grabbed;
    });
    GenApi::CCommandPtr(map.GetNode("AcquisitionStop"))->Execute();
    grabber->FinishGrab();
    grabber->Close();
    device->Close();
    Nimbo::CTlFactory::GetInstance().DestroyDevice(device);
    return figures;
}

// Aravis' tool: it prints the frames of every second; its processor time is read at the lines that
// open and close the window (its output goes to a terminal of its own, which it writes line by line).
Figures grabWithAravis(const Setup& setup)
{
    Figures figures;
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid < 0)
        return figures;
    if (pid == 0) {
        const std::string width = std::to_string(setup.width), height = std::to_string(setup.height);
        const std::string duration = std::to_string(kWindowSeconds + 3);
        const std::string packet = std::to_string(setup.packetSize);
        // The packet size as given, as the SDK's grabber uses it: no adjustment of Aravis' own.
        std::vector<const char*> args = {kAravisTool,    "-n", "127.0.0.1", "-w",         width.c_str(),    "-h",
                                         height.c_str(), "-f", "1000",      "--duration", duration.c_str(), "-i",
                                         packet.c_str(), "-j", "never"};
        args.push_back(nullptr);
        execv(kAravisTool, const_cast<char* const*>(args.data()));
        _exit(127);
    }
    // Lines "NNN frames/s - ..." once a second; the first is a partial second.
    std::string pending;
    int lines = 0;
    double cpuStart = 0, cpuEnd = 0;
    uint64_t frames = 0;
    char buffer[512];
    for (;;) {
        const ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<size_t>(n));
        size_t eol;
        while ((eol = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            const size_t at = line.find("frame");
            if (at == std::string::npos || line.find("/s") == std::string::npos)
                continue;
            ++lines;
            // The window: the seconds after the second line (a second of warming up, as for the SDK).
            if (lines == 2)
                cpuStart = processorSecondsOf(pid);
            if (lines > 2 && lines <= 2 + kWindowSeconds) {
                frames += std::strtoull(line.c_str(), nullptr, 10);
                if (lines == 2 + kWindowSeconds)
                    cpuEnd = processorSecondsOf(pid);
            }
        }
    }
    close(terminal);
    int status = 0;
    waitpid(pid, &status, 0);
    if (lines >= 2 + kWindowSeconds) {
        figures.fps = double(frames) / kWindowSeconds;
        figures.cores = (cpuEnd - cpuStart) / kWindowSeconds;
    }
    return figures;
}

// Aravis' own hand-over to an application thread, in this process (run as this program again, so
// that nothing of the SDK shares it): the thread pops each frame, blocking, and pushes its buffer back.
// Prints "<frames/s> <processor seconds a second>".
int popWithAravis(int width, int height, int packetSize)
{
    GError* error = nullptr;
    ArvCamera* camera = arv_camera_new("127.0.0.1", &error);
    if (!camera) {
        std::printf("0 0\n");
        return 1;
    }
    arv_camera_set_region(camera, 0, 0, width, height, nullptr);
    arv_camera_set_pixel_format(camera, ARV_PIXEL_FORMAT_MONO_8, nullptr);
    arv_camera_set_frame_rate(camera, 1000.0, nullptr);
    arv_camera_gv_set_packet_size(camera, packetSize, nullptr);
    const guint payload = arv_camera_get_payload(camera, nullptr);
    ArvStream* stream = arv_camera_create_stream(camera, nullptr, nullptr, nullptr);
    if (!stream) {
        g_object_unref(camera);
        std::printf("0 0\n");
        return 1;
    }
    for (int i = 0; i < kBuffers; ++i)
        arv_stream_push_buffer(stream, arv_buffer_new(payload, nullptr));
    arv_camera_start_acquisition(camera, nullptr);
    const Figures figures = measureWindow([stream] {
        ArvBuffer* buffer = arv_stream_timeout_pop_buffer(stream, 100000);
        if (!buffer)
            return false;
        const bool good = arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS;
        arv_stream_push_buffer(stream, buffer);
        return good;
    });
    std::printf("%f %f\n", figures.fps, figures.cores);
    std::fflush(stdout);
    arv_camera_stop_acquisition(camera, nullptr);
    g_object_unref(stream);
    g_object_unref(camera);
    return 0;
}

Figures popWithAravisElsewhere(const Setup& setup)
{
    Figures figures;
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return figures;
    self[length] = 0;
    int out[2];
    if (pipe(out) != 0)
        return figures;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        const std::string width = std::to_string(setup.width), height = std::to_string(setup.height);
        const std::string packet = std::to_string(setup.packetSize);
        execl(self, self, kPopMode, width.c_str(), height.c_str(), packet.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    if (pid > 0)
        waitpid(pid, nullptr, 0);
    if (std::sscanf(text.c_str(), "%lf %lf", &figures.fps, &figures.cores) != 2)
        figures = Figures();
    return figures;
}

void measure(benchmark::State& state, const Setup& setup, Program program, int round)
{
    Figures figures;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        try {
            figures = program == Program::Sdk          ? grabWithTheSdk(setup)
                      : program == Program::AravisTool ? grabWithAravis(setup)
                                                       : popWithAravisElsewhere(setup);
        } catch (const GenICam::GenericException& e) {
            state.SkipWithError(e.GetDescription());
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    if (figures.fps <= 0) {
        state.SkipWithError("no frames measured");
        return;
    }
    state.counters["fps"] = figures.fps;
    state.counters["cores"] = figures.cores;
    state.counters["us_per_frame"] = figures.perFrame() * 1e6;
    Round& r = g_rounds[setup.name][round];
    (program == Program::Sdk ? r.sdk : program == Program::AravisTool ? r.aravis : r.pop) = figures;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs this program again in a new network namespace with only the loopback interface up.
int runInLoopbackNamespace(int argc, char** argv)
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return -1;
    std::string command =
        "unshare -n sh -c 'ip link set lo up && exec \"$0\" \"$@\"' '" + std::string(self, size_t(n)) + "'";
    for (int i = 1; i < argc; ++i)
        command += std::string(" '") + argv[i] + "'";
    std::fflush(stdout);
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void printNotMeasured(const char* why)
{
    std::printf("Real camera: %s\n", why);
    for (const Setup& setup : kSetups) {
        benchratio::printRatio(std::string("real camera ") + setup.name + ": frames/s vs arv-camera-test", -1, 0.99);
        benchratio::printRatio(std::string("real camera ") + setup.name + ": processor time vs arv-camera-test", -1,
                               1.1, true);
        benchratio::printRatio(std::string("real camera ") + setup.name + ": processor time vs Aravis' pop", -1, 1.1,
                               true);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], kPopMode) == 0)
        return popWithAravis(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    if (access(kFakeCamera, X_OK) != 0 || access(kAravisTool, X_OK) != 0) {
        printNotMeasured("aravis-tools is not installed");
        return 0;
    }
    if (!testsupport::loopbackOnly()) {
        if (geteuid() != 0) {
            printNotMeasured("needs root for a network namespace of its own");
            return 0;
        }
        return runInLoopbackNamespace(argc, argv);
    }
    setenv("NIMBO_REAL_CAMERAS", "1", 1);
    Nimbo::NimboAutoInitTerm init;
    Nimbo::Emulation::Configure("none");
    FakeCamera fake;
    for (int round = 1; round <= kRounds; ++round)
        for (const Setup& setup : kSetups) {
            // Which program goes first changes from round to round.
            for (int turn = 0; turn < 3; ++turn) {
                const Program program = kPrograms[(turn + round - 1) % 3];
                const char* const names[] = {"BM_SdkGrabber/", "BM_AravisCameraTest/", "BM_AravisPop/"};
                const std::string name =
                    std::string(names[static_cast<int>(program)]) + setup.name + "/round:" + std::to_string(round);
                benchmark::RegisterBenchmark(
                    name.c_str(),
                    [&setup, program, round](benchmark::State& state) { measure(state, setup, program, round); })
                    ->Iterations(1)
                    ->UseManualTime()
                    ->Unit(benchmark::kSecond);
            }
        }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const Setup& setup : kSetups) {
        std::vector<double> sdkFps, aravisFps, sdkPerFrame, aravisPerFrame, popPerFrame, rateRatios, timeRatios,
            popRatios;
        for (const auto& [round, r] : g_rounds[setup.name]) {
            if (r.sdk.fps <= 0 || r.aravis.fps <= 0)
                continue; // a round with a run that measured nothing is left out whole
            sdkFps.push_back(r.sdk.fps);
            aravisFps.push_back(r.aravis.fps);
            sdkPerFrame.push_back(r.sdk.perFrame() * 1e6);
            aravisPerFrame.push_back(r.aravis.perFrame() * 1e6);
            rateRatios.push_back(r.sdk.fps / r.aravis.fps);
            if (r.aravis.perFrame() > 0)
                timeRatios.push_back(r.sdk.perFrame() / r.aravis.perFrame());
            if (r.pop.perFrame() > 0) {
                popPerFrame.push_back(r.pop.perFrame() * 1e6);
                popRatios.push_back(r.sdk.perFrame() / r.pop.perFrame());
            }
        }
        std::printf("Real camera %s: SDK %.1f frames/s, %.1f us of processor time a frame; arv-camera-test %.1f "
                    "frames/s, %.1f us a frame; Aravis' pop on an application thread %.1f us a frame (medians of "
                    "%zu rounds)\n",
                    setup.name, median(sdkFps), median(sdkPerFrame), median(aravisFps), median(aravisPerFrame),
                    median(popPerFrame), rateRatios.size());
        benchratio::printRatio(std::string("real camera ") + setup.name + ": frames/s vs arv-camera-test",
                               median(rateRatios), 0.99);
        benchratio::printRatio(std::string("real camera ") + setup.name + ": processor time vs arv-camera-test",
                               median(timeRatios), 1.1, true);
        benchratio::printRatio(std::string("real camera ") + setup.name + ": processor time vs Aravis' pop",
                               median(popRatios), 1.1, true);
    }
    return 0;
}
