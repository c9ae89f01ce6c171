// From the emulated camera to displayable images: device creation, grab engine, decoupler, converter.
#include "Converter.h"
#include "CreateDeviceThread.h"
#include "Decoupler.h"
#include "StdFeatureListCamera.h"

#include <GenApi/GenApi.h>
#include <nimbo/Emulation.h>
#include <nimbo/TlFactory.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "testsupport/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace {

using testsupport::waitFor;

struct PipelineCase {
    const char* cameras;
    const char* pixelFormat;
    Lorvish::Image::Format format;
};

// Names the case in test lists instead of dumping its bytes.
void PrintTo(const PipelineCase& c, std::ostream* os)
{
    *os << c.cameras << " " << c.pixelFormat;
}

class PipelineTest : public ::testing::TestWithParam<PipelineCase> {
protected:
    void TearDown() override { Nimbo::Emulation::Configure(""); }
    Nimbo::NimboAutoInitTerm m_sdk;
};

TEST_P(PipelineTest, LiveFramesBecomeImagesAndAllBuffersComeHome)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure(GetParam().cameras));
    Nimbo::DeviceInfoList list;
    Nimbo::CTlFactory::GetInstance().EnumerateDevices(list);
    ASSERT_EQ(list.size(), 1u);
    Nimbo::INimboDevice* device = CreateDeviceThread::createDevice(list[0]);
    ASSERT_NE(device, nullptr);

    auto camera = std::make_unique<StdFeatureListCamera>(list[0], nullptr, 0x800000);
    camera->setBufferReturnTimeout(2000);
    camera->attachNimboDevice(device);
    camera->open();
    ASSERT_TRUE(camera->isOpen());
    GenApi::CEnumerationPtr pixelFormat(camera->getNodeMap()->GetNode("PixelFormat"));
    ASSERT_TRUE(pixelFormat.IsValid());
    pixelFormat->FromString(GetParam().pixelFormat);
    // The injected tool feature sits in the opened camera's map.
    EXPECT_NE(camera->getNodeMap()->GetNode("WhiteBalancePickerEnable"), nullptr);

    auto decoupler = std::make_unique<Decoupler>(nullptr, "Decoupler_" + QString(list[0].GetSerialNumber().c_str()));
    auto converter = std::make_unique<Converter>();
    QObject::connect(camera.get(), &Camera::bufferAvailable, decoupler.get(), &Decoupler::setBuffer,
                     Qt::DirectConnection);
    QObject::connect(decoupler.get(), &Decoupler::bufferAvailable, converter.get(), &Converter::setBuffer,
                     Qt::DirectConnection);
    std::mutex mutex;
    int images = 0;
    int wrongImages = 0;
    QObject::connect(
        converter.get(), &Converter::imageAvailable, converter.get(),
        [&](Lorvish::Image image) {
            std::lock_guard<std::mutex> lock(mutex);
            ++images;
            if (!image.isValid() || image.format() != GetParam().format || image.width() == 0)
                ++wrongImages;
        },
        Qt::DirectConnection);

    camera->startContinuousShot();
    EXPECT_TRUE(waitFor([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return images >= 5;
    }));
    camera->stopGrab();
    decoupler->shutDown();
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(wrongImages, 0);
    }
    // Nothing in the pipeline keeps a buffer once it is shut down.
    EXPECT_TRUE(waitFor([&] { return camera->liveBufferCount() == 0; }));
    decoupler.reset();
    converter.reset();
    camera->shutDown();
    camera.reset();
    QCoreApplication::processEvents();
}

INSTANTIATE_TEST_SUITE_P(Models, PipelineTest,
                         ::testing::Values(PipelineCase{"usb:qvUsb1920c:1", "BayerRG8", Lorvish::Image::FormatRgb32},
                                           PipelineCase{"usb:qvUsb1920c:2", "YCbCr422_8", Lorvish::Image::FormatRgb32},
                                           PipelineCase{"usb:vxUsb1920m:3", "Mono12", Lorvish::Image::FormatMono8}),
                         [](const ::testing::TestParamInfo<PipelineCase>& info) {
                             return std::string(info.param.pixelFormat);
                         });

} // namespace
