// The wait cursor of device creation, which needs a GUI application.
#include "CreateDeviceThread.h"

#include <nimbo/Emulation.h>
#include <nimbo/TlFactory.h>

#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {

TEST(CreateDeviceCursorTest, NoWaitCursorIsLeftOnAnyPath)
{
    Nimbo::NimboAutoInitTerm sdk;
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U1"));
    Nimbo::DeviceInfoList list;
    Nimbo::CTlFactory::GetInstance().EnumerateDevices(list);
    ASSERT_EQ(list.size(), 1u);

    Nimbo::CDeviceInfo unknown;
    unknown.SetDeviceClass("NoSuchTransportLayer");
    EXPECT_EQ(CreateDeviceThread::createDevice(unknown), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    Nimbo::INimboDevice* device = CreateDeviceThread::createDevice(list[0]);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    Nimbo::CTlFactory::GetInstance().DestroyDevice(device);

    ASSERT_TRUE(Nimbo::Emulation::Unplug("U1"));
    EXPECT_EQ(CreateDeviceThread::createDevice(list[0]), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    Nimbo::Emulation::Configure("");
}

} // namespace
