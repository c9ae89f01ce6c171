// The wait cursor of device creation, which needs a GUI application: shown while the device is being
// made, on the paths that make one and on those that fail, and gone afterwards.
#include "CreateDeviceThread.h"

#include <nimbo/Emulation.h>
#include <nimbo/TlFactory.h>
#include <testsupport/RunOnThreadOf.h>

#include <QCursor>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

namespace {

// Holds each creation on its thread until the GUI thread, which handles events while it waits, has
// looked at the override cursor; reports the cursor shape it saw, -1 for none, -2 when no creation
// thread ran.
class CursorDuringCreation {
public:
    CursorDuringCreation()
    {
        CreateDeviceThread::setCreationHook([this](const Nimbo::CDeviceInfo&) {
            // Bounded: a wait that handled no events must not hang the test.
            const bool looked = testsupport::runOnThreadOf(qApp, [this] {
                const QCursor* cursor = QGuiApplication::overrideCursor();
                m_shape = cursor ? cursor->shape() : -1;
            });
            if (!looked)
                m_shape = -3;
        });
    }
    ~CursorDuringCreation() { CreateDeviceThread::setCreationHook({}); }
    int takeShape() { return m_shape.exchange(-2); }

private:
    std::atomic<int> m_shape{-2};
};

TEST(CreateDeviceCursorTest, WaitCursorWhileCreatingAndNoneLeftOnAnyPath)
{
    Nimbo::NimboAutoInitTerm sdk;
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U1"));
    Nimbo::DeviceInfoList list;
    Nimbo::CTlFactory::GetInstance().EnumerateDevices(list);
    ASSERT_EQ(list.size(), 1u);
    CursorDuringCreation seen;

    // No transport layer: no thread is started, and no cursor stays.
    Nimbo::CDeviceInfo unknown;
    unknown.SetDeviceClass("NoSuchTransportLayer");
    EXPECT_EQ(CreateDeviceThread::createDevice(unknown), nullptr);
    EXPECT_EQ(seen.takeShape(), -2);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    struct Case {
        const char* name;
        std::function<void()> before;
        bool made;
    };
    const Case cases[] = {
        {"device made", [] {}, true},
        {"camera unplugged", [] { ASSERT_TRUE(Nimbo::Emulation::Unplug("U1")); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.before();
        Nimbo::INimboDevice* device = CreateDeviceThread::createDevice(list[0]);
        EXPECT_EQ(device != nullptr, c.made);
        EXPECT_EQ(seen.takeShape(), int(Qt::WaitCursor)) << "no wait cursor while the device was being made";
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        if (device)
            Nimbo::CTlFactory::GetInstance().DestroyDevice(device);
    }
    Nimbo::Emulation::Configure("");
}

} // namespace
