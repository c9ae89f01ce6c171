// MDI area: which hint shows after which report, and where logo and text sit.
#include "TesvarMdiArea.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(TesvarMdiAreaTest, ReportsSwitchTheHint)
{
    windowtest::initResources();
    CTesvarMdiArea area(nullptr);
    EXPECT_FALSE(area.isHintShown());
    area.onNoDevicesFound();
    EXPECT_TRUE(area.isHintShown());
    EXPECT_EQ(area.hintText(), "No camera found. Connect a camera to your computer to start recording.");
    area.onOpenDevice(nullptr);
    EXPECT_FALSE(area.isHintShown());
    area.onSurpriseRemoved("full", "friendly");
    EXPECT_TRUE(area.isHintShown());
    EXPECT_EQ(area.hintText(),
              "The camera has been disconnected. Reconnect the camera to continue using the recording software.");
    area.onOpenDevice(nullptr);
    EXPECT_FALSE(area.isHintShown());
    area.onDeviceInUse(nullptr);
    EXPECT_EQ(area.hintText(),
              "The camera is in use by another application. Close the other application to start recording.");
}

TEST(TesvarMdiAreaTest, LogoSitsAboveTheTextAndIsClippedInAShortArea)
{
    windowtest::initResources();
    CTesvarMdiArea area(nullptr);
    ASSERT_FALSE(area.logo().isNull());
    area.resize(900, 700);
    EXPECT_TRUE(area.textRect().isEmpty());
    const int logoHeight = area.logo().height();
    EXPECT_EQ(area.logoPosition(),
              QPoint((900 - area.logo().width()) / 2, static_cast<int>((700 - logoHeight) * 0.62)));

    area.onNoDevicesFound();
    const QRect text = area.textRect();
    EXPECT_GT(text.height(), 0);
    EXPECT_LE(text.width(), (2 * 900) / 3);
    EXPECT_EQ(area.logoPosition().y(), static_cast<int>((700 - (logoHeight + text.height())) * 0.62));

    area.resize(900, logoHeight / 2);
    EXPECT_LT(area.logoPosition().y(), 0);
    area.show();
    area.repaint(); // paints with a negative top without trouble
}

} // namespace
