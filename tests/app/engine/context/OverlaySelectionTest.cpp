// The device context's display pipeline takes the extension plug-in the installation offers: here
// the Quennet fixture plug-in beside the program, chosen because no other is named in the settings.
#include "Converter.h"
#include "DeviceContext.h"
#include "StdFeatureListCamera.h"

#include <lorvish/Image.h>
#include <lorvish/StreamBuffer.h>
#include <nimbo/Emulation.h>
#include <nimbo/NimboDevice.h>
#include <nimbo/TlFactory.h>

#include <QSettings>

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(OverlaySelectionTest, ContextDrawsThroughTheQuennetPlugin)
{
    QSettings().remove("ExtensionPlugin");
    Nimbo::NimboAutoInitTerm sdk;
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:vxUsb1920m:40000009"));
    Nimbo::DeviceInfoList_t devices;
    Nimbo::CTlFactory::GetInstance().EnumerateDevices(devices);
    ASSERT_EQ(devices.size(), 1u);
    {
        DeviceContext context(nullptr, nullptr);
        context.init(new StdFeatureListCamera(devices[0], &context, 0x1000000));
        Converter* converter = context.converter();
        ASSERT_NE(converter, nullptr);
        ASSERT_NE(converter->overlayPlugin(), nullptr);
        EXPECT_STREQ(converter->overlayPlugin()->name(), "QuennetPlugin");
        // The Quennet plug-in takes what the colour converter cannot.
        EXPECT_TRUE(converter->isSupportedInputFormat(static_cast<Nimbo::EPixelType>(0x02300099)));

        // A mono frame reaches the plug-in as a 32-bit image it draws into.
        Lorvish::StreamBuffer buffer(64 * 8, Nimbo::PixelType_Mono8, 64, 8, 1, nullptr);
        buffer.memset(0x21);
        const Lorvish::Image image = converter->convert(&buffer);
        ASSERT_TRUE(image.isValid());
        EXPECT_EQ(image.format(), Lorvish::Image::FormatRgb32);
        EXPECT_EQ(image.pixelData()[0], 0x21); // the plug-in's mark: the frame's first raw byte
        context.shutDown();
    }
    Nimbo::Emulation::Configure("");
}

} // namespace
