// Whole recordings from the SDK's emulated mono camera through the grab engine into image sequences.
#include "CameraConfiguration.h"
#include "RecordingController.h"
#include "StdFeatureListCamera.h"
#include "TestImageFiles.h"

#include "testsupport/TempDir.h"

#include <lorvish/StreamBuffer.h>
#include <nimbo/Emulation.h>
#include <nimbo/NimboDevice.h>
#include <nimbo/TlFactory.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>

namespace {

template <typename Predicate>
bool waitFor(Predicate predicate, int timeoutMs = 15000)
{
    QElapsedTimer timer;
    timer.start();
    while (!predicate()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
    return true;
}

class EmulatedRecordingTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        ASSERT_TRUE(Nimbo::Emulation::Configure("usb:vxUsb1920m:40000002"));
        Nimbo::DeviceInfoList_t devices;
        Nimbo::CTlFactory::GetInstance().EnumerateDevices(devices);
        ASSERT_EQ(devices.size(), 1u);
        Nimbo::INimboDevice* device = Nimbo::CTlFactory::GetInstance().CreateDevice(devices[0]);
        ASSERT_NE(device, nullptr);
        m_camera = std::make_unique<StdFeatureListCamera>(devices[0], nullptr, 0x2000000);
        m_camera->setBufferReturnTimeout(2000);
        m_camera->attachNimboDevice(device);
        m_camera->open();
        ASSERT_TRUE(m_camera->isOpen());
        CameraConfiguration::applyDefaultConfiguration(*m_camera);
        grab::GrabNodeMap* map = m_camera->getFeatures();
        map->setIntValue("Width", 320);
        map->setIntValue("Height", 200);
        map->setBoolValue("AcquisitionFrameRateEnable", true);
        map->setFloatValue("AcquisitionFrameRate", 100.0);
    }
    void TearDown() override
    {
        if (m_camera)
            m_camera->shutDown();
        m_camera.reset();
        QCoreApplication::processEvents();
    }

    Nimbo::NimboAutoInitTerm m_init;
    std::unique_ptr<StdFeatureListCamera> m_camera;
};

TEST_F(EmulatedRecordingTest, LimitedRecordingsHoldExactlyTheirFrames)
{
    const struct {
        const char* name;
        int32_t imageType;
        int32_t sampleUnit;
        int32_t sampleRate;
        int32_t imageLimit;
    } cases[] = {
        {"tiff, every 2nd frame, 5 images", CRecordingOptions::ImageOutputTypeTiff, TimeUnitImages, 2, 5},
        {"bmp, every 30 ms, 4 images", CRecordingOptions::ImageOutputTypeBmp, TimeUnitMilliseconds, 30, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = path() + "/" + QString::number(c.imageType);
        CRecordingOptions options;
        options.OutputType = CRecordingOptions::OutputTypeImageSequence;
        options.ImageOutputType = c.imageType;
        options.OutputFolder = folder.toUtf8().constData();
        options.SampleRateUnit = c.sampleUnit;
        options.SampleRate = c.sampleRate;
        options.StopSamplingLimitEnabled = true;
        options.StopSamplingLimitUnit = TimeUnitImages;
        options.StopSamplingLimit = c.imageLimit;
        CRecordingController* controller =
            createRecordingController(options, Nimbo::PixelType_Mono8, 320, 200, nullptr);
        ASSERT_NE(controller, nullptr);
        std::atomic<bool> stopped{false};
        QObject::connect(
            controller, &CRecordingController::stateChanged, controller,
            [&](ERecordingState state) { stopped = stopped || state == RecordingStopped; }, Qt::DirectConnection);
        QObject::connect(m_camera.get(), &Camera::bufferAvailable, controller,
                         &CRecordingController::onCameraBufferAvailable, Qt::DirectConnection);
        controller->start(m_camera->getName());
        ASSERT_EQ(controller->state(), RecordingActive);
        m_camera->startContinuousShot();
        ASSERT_TRUE(waitFor([&] { return bool(stopped); }));
        m_camera->stopGrab();
        QObject::disconnect(m_camera.get(), nullptr, controller, nullptr);
        controller->finish();
        destroyRecordingController(controller);

        const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
        ASSERT_EQ(names.size(), c.imageLimit);
        for (int i = 0; i < names.size(); ++i) {
            SCOPED_TRACE(names[i].toStdString());
            const QString number = QString("_%1.").arg(i + 1, 4, 10, QChar('0'));
            EXPECT_TRUE(names[i].contains(number));
            const QString file = folder + "/" + names[i];
            if (c.imageType == CRecordingOptions::ImageOutputTypeTiff) {
                uint32_t width = 0, height = 0;
                EXPECT_EQ(readTiff(file.toStdString(), width, height).size(), 320u * 200u);
                EXPECT_EQ(width, 320u);
                EXPECT_EQ(height, 200u);
            } else {
                const QImage image(file, "BMP");
                EXPECT_EQ(image.size(), QSize(320, 200));
            }
        }
    }
}

} // namespace
