// Tests of device discovery against the emulated cameras.
#include "DeviceManager.h"

#include <nimbo/Emulation.h>
#include <nimbo/TlFactory.h>
#include <testsupport/LogCapture.h>
#include <testsupport/Wait.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QStringList>

#include <gtest/gtest.h>

#include <GenICam/GenericException.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Counts the scans the manager's scan thread finishes. A signal spy is not for signals of another
// thread: it would append in the scan thread while the test reads it here.
class FinishedScans {
public:
    explicit FinishedScans(DeviceManager& manager)
    {
        // The connection outlives this counter; the count it adds to lives as long as the connection.
        QObject::connect(
            manager.scanThread(), &kalmuth::AutoScanThread::scanFinished, manager.scanThread(),
            [count = m_count] { ++*count; }, Qt::DirectConnection);
    }
    // The scan may finish before the wait starts, so the count decides.
    bool waitBeyond(int count) const
    {
        return testsupport::waitFor([&] { return *m_count > count; });
    }

private:
    std::shared_ptr<std::atomic<int>> m_count = std::make_shared<std::atomic<int>>(0);
};

class DeviceManagerTest : public ::testing::Test {
protected:
    void TearDown() override { Nimbo::Emulation::Configure(""); }

    // Runs one scan and lets the manager take its result on this (the GUI) thread.
    static void scan(DeviceManager& manager)
    {
        FinishedScans finished(manager);
        manager.startAutoScan();
        ASSERT_TRUE(finished.waitBeyond(0));
        QCoreApplication::processEvents();
    }

    static QStringList names(const DeviceManager& manager)
    {
        QStringList list;
        for (DeviceManagerItem* item : manager.items())
            list << QString::fromLatin1(item->deviceInfo().GetSerialNumber().c_str());
        return list;
    }

    Nimbo::NimboAutoInitTerm m_sdk;
};

struct ChoiceCase {
    const char* cameras;
    int detected;
    int listChanged;
    int noDevices;
    int current;
};

TEST_F(DeviceManagerTest, AutomaticChoiceOnFirstScan)
{
    const ChoiceCase cases[] = {
        {"none", 0, 0, 1, 0},
        {"gige:gxGige1280c:G1", 1, 1, 1, 0},
        {"usb:qvUsb1920c:U1", 1, 1, 0, 1},
        {"gige:gxGige1280c:G1;usb:qvUsb1920c:U1", 2, 1, 0, 1},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.cameras);
        ASSERT_TRUE(Nimbo::Emulation::Configure(c.cameras));
        DeviceManager manager(10);
        QSignalSpy detected(&manager, &DeviceManager::deviceDetected);
        QSignalSpy listChanged(&manager, &DeviceManager::deviceListChanged);
        QSignalSpy noDevices(&manager, &DeviceManager::noDevicesFound);
        QSignalSpy current(&manager, &DeviceManager::currentDeviceChanged);
        QSignalSpy openRequest(&manager, &DeviceManager::deviceOpenRequest);
        scan(manager);
        EXPECT_EQ(detected.count(), c.detected);
        EXPECT_EQ(listChanged.count(), c.listChanged);
        EXPECT_EQ(noDevices.count(), c.noDevices);
        EXPECT_EQ(current.count(), c.current);
        EXPECT_EQ(openRequest.count(), c.current);
        Nimbo::DeviceInfoList list;
        EXPECT_EQ(manager.getCurrentDevice(list), c.current == 1);
        // A second scan finds nothing new, so nothing is chosen or reported again.
        scan(manager);
        EXPECT_EQ(detected.count(), c.detected);
        EXPECT_EQ(listChanged.count(), c.listChanged);
        EXPECT_EQ(noDevices.count(), c.noDevices);
    }
}

TEST_F(DeviceManagerTest, OnlyTheFirstOfTwoUsbCamerasIsChosen)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U1;usb:vxUsb1920m:U2"));
    DeviceManager manager(10);
    QSignalSpy current(&manager, &DeviceManager::currentDeviceChanged);
    scan(manager);
    ASSERT_EQ(current.count(), 1);
    ASSERT_EQ(manager.items().size(), 2);
    EXPECT_TRUE(manager.items().at(0)->isInUse());
    EXPECT_FALSE(manager.items().at(1)->isInUse());
    Nimbo::DeviceInfoList list;
    ASSERT_TRUE(manager.getCurrentDevice(list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].GetFullName(), manager.items().at(0)->deviceInfo().GetFullName());
}

// One camera at a time: a camera that a scan finds while another is chosen (a scan that was under way
// while the first opened) is not opened beside it, where the commands would go to one camera and the tool
// bar and the settings would show the other. It is dropped, so that the scan after the first camera has
// gone finds it as new and opens it. Nothing is told about it meanwhile.
TEST_F(DeviceManagerTest, ACameraFoundWhileAnotherIsChosenWaitsUntilThatOneHasGone)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U1;usb:qvUsb1920c:U2"));
    ASSERT_TRUE(Nimbo::Emulation::Unplug("U2"));
    DeviceManager manager(10);
    QSignalSpy current(&manager, &DeviceManager::currentDeviceChanged);
    QSignalSpy openRequest(&manager, &DeviceManager::deviceOpenRequest);
    QSignalSpy noDevices(&manager, &DeviceManager::noDevicesFound);
    QSignalSpy inUse(&manager, &DeviceManager::deviceInUse);
    scan(manager);
    ASSERT_EQ(current.count(), 1);
    EXPECT_EQ(names(manager), QStringList{"U1"});

    ASSERT_TRUE(Nimbo::Emulation::Replug("U2"));
    scan(manager);
    EXPECT_EQ(current.count(), 1) << "a second camera was chosen while the first is in use";
    EXPECT_EQ(openRequest.count(), 1);
    EXPECT_EQ(names(manager), QStringList{"U1"});
    Nimbo::DeviceInfoList list;
    ASSERT_TRUE(manager.getCurrentDevice(list));
    EXPECT_STREQ(list.back().GetSerialNumber().c_str(), "U1");
    EXPECT_EQ(noDevices.count(), 0);
    EXPECT_EQ(inUse.count(), 0);

    ASSERT_TRUE(Nimbo::Emulation::Unplug("U1"));
    manager.onSurpriseRemoved(manager.items().at(0)->fullName(), QString());
    scan(manager);
    ASSERT_EQ(current.count(), 2) << "the second camera was not opened once the first had gone";
    EXPECT_STREQ(current.at(1).at(0).value<const Nimbo::CDeviceInfo*>()->GetSerialNumber().c_str(), "U2");
    EXPECT_EQ(openRequest.count(), 2);
}

TEST_F(DeviceManagerTest, CameraInUseElsewhereIsDroppedAndTriedOnEveryScan)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U1"));
    ASSERT_TRUE(Nimbo::Emulation::SetInUseElsewhere("U1", true));
    DeviceManager manager(10);
    QSignalSpy inUse(&manager, &DeviceManager::deviceInUse);
    QSignalSpy removed(&manager, &DeviceManager::deviceRemoved);
    QSignalSpy current(&manager, &DeviceManager::currentDeviceChanged);
    scan(manager);
    EXPECT_EQ(inUse.count(), 1);
    EXPECT_EQ(removed.count(), 1);
    EXPECT_TRUE(manager.items().isEmpty());
    scan(manager);
    EXPECT_EQ(inUse.count(), 2);
    EXPECT_EQ(current.count(), 0);

    // Free again: the next scan opens it.
    ASSERT_TRUE(Nimbo::Emulation::SetInUseElsewhere("U1", false));
    scan(manager);
    EXPECT_EQ(inUse.count(), 2);
    EXPECT_EQ(current.count(), 1);
}

// An open that fails after the choice gives the device up for now: it no longer counts as chosen, and
// the next scan finds it as new and asks for it again.
TEST_F(DeviceManagerTest, AFailedOpenIsAskedForAgainAtTheNextScan)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U1"));
    DeviceManager manager(10);
    QSignalSpy openRequest(&manager, &DeviceManager::deviceOpenRequest);
    scan(manager);
    ASSERT_EQ(openRequest.count(), 1);
    ASSERT_EQ(manager.items().size(), 1);
    manager.onDeviceOpenFailed(QStringLiteral("no such camera"));
    EXPECT_EQ(manager.items().size(), 1);
    manager.onDeviceOpenFailed(manager.items().at(0)->fullName());
    EXPECT_TRUE(manager.items().isEmpty());
    Nimbo::DeviceInfoList list;
    EXPECT_FALSE(manager.getCurrentDevice(list));
    scan(manager);
    EXPECT_EQ(openRequest.count(), 2);
    EXPECT_TRUE(manager.getCurrentDevice(list));
}

TEST_F(DeviceManagerTest, PeriodicScanStopsWhileADeviceIsOpen)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U1"));
    DeviceManager manager(10);
    EXPECT_TRUE(manager.isPeriodicScanRunning());
    scan(manager);
    ASSERT_EQ(manager.items().size(), 1);

    Nimbo::CTlFactory& factory = Nimbo::CTlFactory::GetInstance();
    Nimbo::INimboDevice* device = factory.CreateDevice(manager.items().at(0)->deviceInfo());
    ASSERT_NE(device, nullptr);
    manager.onOpenDevice(device);
    EXPECT_FALSE(manager.isPeriodicScanRunning());
    EXPECT_EQ(manager.openCount(), 1);
    EXPECT_EQ(manager.items().at(0)->device(), device);

    manager.onCloseDevice(device);
    EXPECT_TRUE(manager.isPeriodicScanRunning());
    EXPECT_EQ(manager.openCount(), 0);
    EXPECT_EQ(manager.items().at(0)->device(), nullptr);

    // A stray close neither drives the count negative nor stops the scan.
    manager.onCloseDevice(device);
    EXPECT_EQ(manager.openCount(), 0);
    EXPECT_TRUE(manager.isPeriodicScanRunning());
    factory.DestroyDevice(device);
}

TEST_F(DeviceManagerTest, PeriodicTimerScansByItself)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("gige:gxGige1280c:G1"));
    DeviceManager manager(1);
    EXPECT_EQ(manager.scanPeriodSeconds(), 1);
    QSignalSpy detected(&manager, &DeviceManager::deviceDetected);
    // No explicit wake: the timer's tick starts the scan.
    for (int i = 0; i < 100 && detected.isEmpty(); ++i)
        detected.wait(100);
    EXPECT_EQ(detected.count(), 1);
    manager.setAutoScan(false);
    EXPECT_FALSE(manager.isAutoScanEnabled());
    EXPECT_FALSE(manager.isPeriodicScanRunning());
}

TEST_F(DeviceManagerTest, SurpriseRemovalDropsTheItem)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("gige:gxGige1280c:G1"));
    DeviceManager manager(10);
    scan(manager);
    ASSERT_EQ(manager.items().size(), 1);
    QSignalSpy removed(&manager, &DeviceManager::deviceRemoved);
    manager.onSurpriseRemoved(QStringLiteral("no such camera"), QString());
    EXPECT_EQ(removed.count(), 0);
    manager.onSurpriseRemoved(manager.items().at(0)->fullName(), QString());
    EXPECT_EQ(removed.count(), 1);
    EXPECT_TRUE(manager.items().isEmpty());
}

TEST_F(DeviceManagerTest, VerboseScanLogsWhatItFound)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U1"));
    DeviceManager manager(10);
    testsupport::LogCapture log;
    FinishedScans finished(manager);
    manager.startScan(true);
    ASSERT_TRUE(finished.waitBeyond(0));
    EXPECT_TRUE(log.contains("found 1 devices."));
    EXPECT_EQ(log.count("    Found '"), 1u);
    log.clear();
    scan(manager);
    EXPECT_FALSE(log.contains("    Found '"));
}

TEST_F(DeviceManagerTest, EnumerationListsEveryTransportLayerAndAFailingOneFailsItAll)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U1;gige:gxGige1280c:G1;gige:gxGige1280c:G2"));
    Nimbo::CTlFactory& factory = Nimbo::CTlFactory::GetInstance();
    Nimbo::TlInfoList tls;
    factory.EnumerateTls(tls);
    std::vector<Nimbo::ITransportLayer*> layers;
    for (const Nimbo::CTlInfo& tl : tls) {
        layers.push_back(factory.CreateTl(tl));
        factory.ReleaseTl(layers.back());
    }

    const ScanResult result = kalmuth::AutoScanThread::enumerate(false);
    ASSERT_EQ(result.size(), tls.size());
    for (size_t i = 0; i < tls.size(); ++i)
        EXPECT_EQ(result[i].first.GetDeviceClass(), tls[i].GetDeviceClass());
    EXPECT_EQ(result[0].second.size(), 1u);
    EXPECT_EQ(result[1].second.size(), 2u);

    // The first transport layer fails: the scan ends there, and what it found is not handed out.
    ASSERT_TRUE(Nimbo::Emulation::FailEnumerations("VelmarUsb"));
    EXPECT_THROW(kalmuth::AutoScanThread::enumerate(false), GenICam::RuntimeException);
    // Every transport layer went back to the factory, the failing one too.
    for (Nimbo::ITransportLayer* layer : layers)
        EXPECT_THROW(factory.ReleaseTl(layer), GenICam::LogicalErrorException);
}

TEST_F(DeviceManagerTest, StoppingAnIdleThreadIsPrompt)
{
    kalmuth::AutoScanThread thread(nullptr, [](bool) { return ScanResult(); });
    thread.start();
    testsupport::LogCapture log;
    EXPECT_TRUE(thread.stop());
    EXPECT_FALSE(log.contains("Termination of AutoScanThread timed out"));
}

// An enumeration that holds the scan thread until released, so that a stop times out meanwhile.
class HeldEnumeration {
public:
    kalmuth::AutoScanThread::Enumerator enumerator(ScanResult result)
    {
        return [this, result](bool) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_entered = true;
            m_condition.notify_all();
            m_condition.wait(lock, [&] { return m_released; });
            return result;
        };
    }
    bool waitUntilEntered()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, std::chrono::seconds(10), [&] { return m_entered; });
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_condition.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_entered = false;
    bool m_released = false;
};

// The scans a thread runs, with their verbose flags; the first is held until let through.
class GatedEnumeration {
public:
    kalmuth::AutoScanThread::Enumerator enumerator()
    {
        return [this](bool verbose) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_scans.push_back(verbose);
            m_condition.notify_all();
            m_condition.wait(lock, [&] { return m_open; });
            return ScanResult();
        };
    }
    bool waitForScans(size_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, std::chrono::seconds(10), [&] { return m_scans.size() >= count; });
    }
    void letThrough()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_condition.notify_all();
    }
    std::vector<bool> scans()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_scans;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<bool> m_scans;
    bool m_open = false;
};

// Wakes that come while a scan runs are kept and served by one further scan; of their verbose flags the
// last one decides, so a timer's quiet wake after a verbose one asks for a quiet scan. The thread says
// when it starts and when it ends.
TEST_F(DeviceManagerTest, WakesDuringAScanMakeOneFurtherScanWhoseVerboseFlagTheLastWakeGives)
{
    const struct Case {
        bool first, second;
    } cases[] = {{true, false}, {false, true}, {true, true}, {false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " then " + std::to_string(c.second));
        testsupport::LogCapture log;
        GatedEnumeration gate;
        {
            kalmuth::AutoScanThread thread(nullptr, gate.enumerator());
            thread.start();
            thread.wake(false);
            ASSERT_TRUE(gate.waitForScans(1));
            thread.wake(c.first);
            thread.wake(c.second);
            gate.letThrough();
            ASSERT_TRUE(gate.waitForScans(2));
            EXPECT_TRUE(thread.stop());
        }
        EXPECT_EQ(gate.scans(), (std::vector<bool>{false, c.second}));
        EXPECT_EQ(log.count("AutoScanThread started with thread id "), 1u);
        EXPECT_EQ(log.count("AutoScanThread ended"), 1u);
    }
}

TEST_F(DeviceManagerTest, StopDuringALongEnumerationTimesOut)
{
    HeldEnumeration held;
    kalmuth::AutoScanThread thread(nullptr, held.enumerator(ScanResult()));
    thread.start();
    thread.wake(false);
    ASSERT_TRUE(held.waitUntilEntered());
    testsupport::LogCapture log;
    // The real limit is 10 s; a shorter one shows the same path.
    EXPECT_FALSE(thread.stop(200));
    EXPECT_TRUE(log.contains("Termination of AutoScanThread timed out"));
    held.release();
    // The stop request stays: the thread ends after its scan.
    EXPECT_TRUE(thread.wait(10000));
}

TEST_F(DeviceManagerTest, AScanOutlivingATimedOutStopLeavesItsManagerAlone)
{
    HeldEnumeration held;
    auto manager = std::make_unique<DeviceManager>(10, [](bool) { return ScanResult(); });
    kalmuth::AutoScanThread thread(manager.get(), held.enumerator(ScanResult(1)));
    thread.start();
    thread.wake(false);
    ASSERT_TRUE(held.waitUntilEntered());
    testsupport::LogCapture log;
    EXPECT_FALSE(thread.stop(200));
    // The owner goes while its scan still runs; handing the result over would reach freed memory.
    manager.reset();
    held.release();
    EXPECT_TRUE(thread.wait(10000));
}

TEST_F(DeviceManagerTest, NoCameraIsReportedOnceAndARemovalKeepsItsOwnHint)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("usb:qvUsb1920c:U1"));
    DeviceManager manager(10);
    QSignalSpy noDevices(&manager, &DeviceManager::noDevicesFound);
    scan(manager);
    ASSERT_EQ(manager.items().size(), 1);
    const QString fullName = QString::fromLatin1(manager.items().at(0)->deviceInfo().GetFullName().c_str());
    // The camera is pulled: the removal is what the user is told, later empty scans say nothing more.
    ASSERT_TRUE(Nimbo::Emulation::Configure("none"));
    manager.onSurpriseRemoved(fullName, QString());
    scan(manager);
    EXPECT_EQ(noDevices.count(), 0);
}

TEST_F(DeviceManagerTest, FailedScanIsLoggedAndKeepsTheLastResult)
{
    ASSERT_TRUE(Nimbo::Emulation::Configure("gige:gxGige1280c:G1"));
    std::atomic<int> mode{0};
    DeviceManager manager(10, [&](bool verbose) -> ScanResult {
        switch (mode.load()) {
        case 1: throw GenICam::RuntimeException("transport layer broke", __FILE__, __LINE__);
        case 2: throw std::runtime_error("transport layer broke");
        case 3: throw 7;
        default: return kalmuth::AutoScanThread::enumerate(verbose);
        }
    });
    QSignalSpy detected(&manager, &DeviceManager::deviceDetected);
    scan(manager);
    ASSERT_EQ(detected.count(), 1);
    manager.onSurpriseRemoved(manager.items().at(0)->fullName(), QString());
    ASSERT_TRUE(manager.items().isEmpty());

    const char* details[] = {"AutoScanThread::run: transport layer broke", "AutoScanThread::run: transport layer broke",
                             "AutoScanThread::run: Unspecified exception occurred."};
    for (int m = 1; m <= 3; ++m) {
        SCOPED_TRACE(m);
        mode = m;
        testsupport::LogCapture log;
        scan(manager); // scanFinished comes all the same
        EXPECT_TRUE(log.contains("AutoScanThread: Failed to enumerate devices"));
        EXPECT_TRUE(log.contains(details[m - 1]));
        // The result of the last good scan is what the manager reads again.
        EXPECT_EQ(manager.items().size(), 1);
        manager.onSurpriseRemoved(manager.items().at(0)->fullName(), QString());
    }
}

} // namespace
