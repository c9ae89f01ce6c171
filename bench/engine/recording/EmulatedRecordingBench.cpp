// Whole recordings as `kalmuth -r` makes them: the SDK's emulated USB cameras (colour: YCbCr422_8, mono:
// Mono8, 1920 x 1200, full rate, default configuration) through the grab engine, with the live view's
// conversion running beside, every frame for 5 seconds into TIFF, BMP and MP4. Counters: frames the
// camera handed on while recording, frames recorded, frames the sink dropped, and kept = recorded /
// (recorded + dropped), which must be 1.
//
// Files go to a temporary folder under BENCH_OUTPUT_DIR when set, else under the system's temporary folder.
#include "CameraConfiguration.h"
#include "Converter.h"
#include "Decoupler.h"
#include "EmulatedCamera.h"
#include "MediaWriterFactory.h"
#include "RatioReport.h"
#include "RecordingController.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace {

enum Output { Tiff, Bmp, Mp4 };

const char* outputName(int output)
{
    return output == Tiff ? "TIFF" : output == Bmp ? "BMP" : "MP4";
}

void BM_RecordEmulatedCamera(benchmark::State& state)
{
    const bool colour = state.range(0) == 1;
    const int output = int(state.range(1));
    Nimbo::NimboAutoInitTerm init;
    auto opened = benchcamera::openEmulatedCamera(colour ? "usb:qvUsb1920c:60000001" : "usb:vxUsb1920m:60000002");
    if (!opened) {
        state.SkipWithError("no emulated camera");
        return;
    }
    Camera& camera = *opened; // the engine's view of it, as the program has
    CameraConfiguration::applyDefaultConfiguration(camera);

    // The live view beside the recording, as in the program: mailbox thread and colour conversion.
    Decoupler decoupler(nullptr, "Decoupler_bench");
    Converter converter;
    QObject::connect(&camera, &Camera::bufferAvailable, &decoupler, &Decoupler::setBuffer, Qt::DirectConnection);
    QObject::connect(&decoupler, &Decoupler::bufferAvailable, &converter, &Converter::setBuffer, Qt::DirectConnection);

    const QByteArray root = qgetenv("BENCH_OUTPUT_DIR");
    QTemporaryDir folder((root.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(root)) + "/recbench-XXXXXX");
    uint64_t recorded = 0, dropped = 0, handedOn = 0;
    for (auto _ : state) {
        CRecordingOptions options;
        options.OutputType =
            output == Mp4 ? CRecordingOptions::OutputTypeVideo : CRecordingOptions::OutputTypeImageSequence;
        options.ImageOutputType =
            output == Bmp ? CRecordingOptions::ImageOutputTypeBmp : CRecordingOptions::ImageOutputTypeTiff;
        options.OutputFolder = folder.path().toUtf8().constData();
        options.SampleRateUnit = TimeUnitImages;
        options.SampleRate = 1;
        options.StopSamplingLimitEnabled = true;
        options.StopSamplingLimitUnit = TimeUnitSeconds;
        options.StopSamplingLimit = 5;
        options.FpsPlaybackRate = 25.0;
        const benchcamera::Format format = benchcamera::imageFormat(camera);
        CRecordingController* controller =
            createRecordingController(options, createMediaWriter, format.type, format.width, format.height, nullptr);
        if (!controller) {
            state.SkipWithError("no recording controller for these options");
            return;
        }
        std::atomic<bool> stopped{false};
        std::atomic<uint64_t> frames{0};
        QObject::connect(
            controller, &CRecordingController::stateChanged, controller,
            [&](ERecordingState s) { stopped = stopped || s == RecordingStopped || s == RecordingFailed; },
            Qt::DirectConnection);
        QObject::connect(
            &camera, &Camera::bufferAvailable, controller,
            [&](Lorvish::StreamBuffer*) {
                if (controller->state() == RecordingActive)
                    ++frames;
            },
            Qt::DirectConnection);
        QObject::connect(&camera, &Camera::bufferAvailable, controller, &CRecordingController::onCameraBufferAvailable,
                         Qt::DirectConnection);
        controller->start(camera.getName());
        camera.startContinuousShot();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!stopped && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        camera.stopGrab();
        QObject::disconnect(&camera, nullptr, controller, nullptr);
        controller->updateStatusInfo();
        const RecordingStatusInfo status = controller->statusInfo();
        recorded += status.recordedImages;
        dropped += status.droppedImages;
        handedOn += frames;
        controller->finish();
        destroyRecordingController(controller);
        QDir(folder.path()).removeRecursively();
        QDir().mkpath(folder.path());
    }
    decoupler.shutDown();
    state.counters["camera_frames"] = double(handedOn);
    state.counters["recorded"] = double(recorded);
    state.counters["dropped"] = double(dropped);
    state.counters["kept"] = recorded + dropped > 0 ? double(recorded) / double(recorded + dropped) : 0.0;
    state.SetLabel(std::string(colour ? "colour YCbCr422_8" : "mono Mono8") + " 1920x1200 to " + outputName(output));
}

BENCHMARK(BM_RecordEmulatedCamera)
    ->Args({1, Tiff})
    ->Args({1, Bmp})
    ->Args({0, Tiff})
    ->Args({1, Mp4})
    ->Args({0, Mp4})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    auto kept = [](const char* what, const char* args) {
        return benchratio::counter(what, std::string("BM_RecordEmulatedCamera/") + args + "/iterations:1/real_time",
                                   "kept", 1.0);
    };
    return benchratio::runWithRatios(argc, argv,
                                     {kept("5 s every frame, colour camera to TIFF: frames kept", "1/0"),
                                      kept("5 s every frame, colour camera to BMP: frames kept", "1/1"),
                                      kept("5 s every frame, mono camera to TIFF: frames kept", "0/0"),
                                      kept("5 s every frame, colour camera to MP4: frames kept", "1/2"),
                                      kept("5 s every frame, mono camera to MP4: frames kept", "0/2")});
}
