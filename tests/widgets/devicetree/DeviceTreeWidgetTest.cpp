// The device tree panel on emulated USB and GigE cameras: scans, removals, auto-open, tool tips.
#include <orbelt/DeviceTreeWidget.h>

#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include "../controls/QtPrinters.h"

#include <testsupport/LogCapture.h>
#include <testsupport/Wait.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalSpy>
#include <QToolButton>
#include <QTranslator>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <GenApi/GenApi.h>
#include <GenICam/GenericException.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

using namespace Nimbo;

namespace {

// Records the serial numbers (and flags) that the info-carrying signals hand over while they run.
struct InfoCalls {
    std::vector<std::pair<QString, bool>> calls;
    void add(const CDeviceInfo* info, bool flag = false)
    {
        calls.emplace_back(info ? QString::fromLatin1(info->GetSerialNumber().c_str()) : QString(), flag);
    }
    size_t count() const { return calls.size(); }
};

class DeviceTreeWidgetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Emulation::Configure("usb:vxUsb1920m:U1;gige:gxGige1280c:G1")); }
    void TearDown() override
    {
        widget.reset();
        if (device)
            CTlFactory::GetInstance().DestroyDevice(device);
        Emulation::WaitForEvents();
    }

    void create(bool monitorMode = false)
    {
        widget = std::make_unique<DeviceTreeWidget>(nullptr, monitorMode);
        tree = widget->findChild<QTreeWidget*>(QStringLiteral("treeWidget"));
        ASSERT_NE(tree, nullptr);
    }

    QStringList cameraNames() const
    {
        QStringList names;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            for (int j = 0; j < tree->topLevelItem(i)->childCount(); ++j)
                names << tree->topLevelItem(i)->child(j)->data(0, Qt::UserRole).toString();
        return names;
    }

    QTreeWidgetItem* cameraWithSerial(const char* serial) const
    {
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            for (int j = 0; j < tree->topLevelItem(i)->childCount(); ++j) {
                auto* item = dynamic_cast<DeviceTreeWidgetItem*>(tree->topLevelItem(i)->child(j));
                if (item && item->deviceInfo().GetSerialNumber() == serial)
                    return item;
            }
        return nullptr;
    }

    NimboAutoInitTerm init;
    std::unique_ptr<DeviceTreeWidget> widget;
    QTreeWidget* tree = nullptr;
    INimboDevice* device = nullptr;
};

// Waits until the tree holds the given number of cameras.
bool waitForCameras(DeviceTreeWidgetTest*, QTreeWidget* tree, int count)
{
    return testsupport::waitFor([&] {
        int n = 0;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            n += tree->topLevelItem(i)->childCount();
        return n == count;
    });
}

TEST_F(DeviceTreeWidgetTest, ConstructionListsTransportLayersOnlyAndSwitchesAutoScanOn)
{
    create();
    EXPECT_TRUE(widget->HasTL());
    EXPECT_TRUE(widget->autoScanEnabled());
    EXPECT_TRUE(cameraNames().isEmpty());
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* tl = tree->topLevelItem(i);
        EXPECT_FALSE(tl->data(0, Qt::UserRole).toString().isEmpty());
        EXPECT_FALSE(tl->data(0, Qt::UserRole + 4).toString().isEmpty());
        EXPECT_TRUE(tl->isExpanded());
    }
}

// Gives the form's texts in its own translation context another wording.
class DeviceTreeTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char* = nullptr, int = -1) const override
    {
        static const QHash<QPair<QString, QString>, QString> table = {
            {{"DeviceTreeWidgetClass", "DeviceTreeWidget"}, "Gerätebaum"},
            {{"DeviceTreeWidgetClass", "Tip: <i>Double-click a camera to open it.</i>"},
             "Tipp: <i>Doppelklick öffnet.</i>"},
            {{"DeviceTreeWidgetClass", "Auto-&Scan"}, "Auto-&Suche"},
            {{"DeviceTreeWidgetClass", "Scans periodically for new devices."}, "Sucht regelmäßig."},
            {{"DeviceTreeWidgetClass", "Refresh"}, "Aktualisieren"},
            {{"DeviceTreeWidgetClass", "Refreshes the device tree."}, "Aktualisiert den Baum."},
            {{"DeviceTreeWidgetClass", "Ctrl+F5"}, "F5"},
        };
        return table.value({QString::fromLatin1(context), QString::fromUtf8(source)});
    }
};

// The form: its parts by name, in their layouts, with their texts; translated in the form's context.
TEST_F(DeviceTreeWidgetTest, FormHoldsItsPartsAndTranslatesItsTexts)
{
    for (const bool translated : {false, true}) {
        SCOPED_TRACE(translated ? "translated" : "untranslated");
        DeviceTreeTranslator translator;
        if (translated)
            QCoreApplication::installTranslator(&translator);
        create();
        QCoreApplication::removeTranslator(&translator);
        const auto text = [&](const char* untranslated, const char* inTranslation) {
            return QString::fromUtf8(translated ? inTranslation : untranslated);
        };
        EXPECT_EQ(widget->objectName(), QStringLiteral("DeviceTreeWidgetClass"));
        EXPECT_EQ(widget->windowTitle(), text("DeviceTreeWidget", "Gerätebaum"));
        EXPECT_EQ(widget->size(), QSize(400, 300));
        EXPECT_EQ(widget->sizeHint(), QSize(400, 300));

        auto* vbox = qobject_cast<QVBoxLayout*>(widget->layout());
        ASSERT_NE(vbox, nullptr);
        EXPECT_EQ(vbox->spacing(), 6);
        EXPECT_EQ(vbox->contentsMargins(), QMargins(9, 9, 9, 9));
        ASSERT_EQ(vbox->count(), 2);
        EXPECT_EQ(vbox->itemAt(0)->widget(), tree);
        auto* hbox = qobject_cast<QHBoxLayout*>(vbox->itemAt(1)->layout());
        ASSERT_NE(hbox, nullptr);
        EXPECT_EQ(hbox->objectName(), QStringLiteral("hboxLayout"));
        EXPECT_EQ(hbox->spacing(), 6);
        EXPECT_EQ(hbox->contentsMargins(), QMargins(0, 0, 0, 0));
        ASSERT_EQ(hbox->count(), 4);

        EXPECT_EQ(tree->columnCount(), 1);
        EXPECT_TRUE(tree->isHeaderHidden());
        EXPECT_TRUE(tree->uniformRowHeights());
        EXPECT_TRUE(tree->isSortingEnabled());
        EXPECT_EQ(tree->editTriggers(), QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                                            QAbstractItemView::EditKeyPressed);

        auto* status = qobject_cast<QLabel*>(hbox->itemAt(0)->widget());
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(status->objectName(), QStringLiteral("lblStatus"));
        EXPECT_EQ(status->textFormat(), Qt::RichText);
        EXPECT_EQ(status->text(),
                  text("Tip: <i>Double-click a camera to open it.</i>", "Tipp: <i>Doppelklick öffnet.</i>"));
        QSpacerItem* spacer = hbox->itemAt(1)->spacerItem();
        ASSERT_NE(spacer, nullptr);
        EXPECT_EQ(spacer->sizeHint(), QSize(40, 20));
        EXPECT_EQ(spacer->expandingDirections(), Qt::Horizontal);
        auto* polling = qobject_cast<QCheckBox*>(hbox->itemAt(2)->widget());
        ASSERT_NE(polling, nullptr);
        EXPECT_EQ(polling->objectName(), QStringLiteral("checkBoxPolling"));
        EXPECT_EQ(polling->text(), text("Auto-&Scan", "Auto-&Suche"));
        EXPECT_EQ(polling->statusTip(), text("Scans periodically for new devices.", "Sucht regelmäßig."));
        auto* refresh = qobject_cast<QToolButton*>(hbox->itemAt(3)->widget());
        ASSERT_NE(refresh, nullptr);
        EXPECT_EQ(refresh->objectName(), QStringLiteral("toolButton"));
        EXPECT_EQ(refresh->text(), QStringLiteral("..."));
        EXPECT_EQ(refresh->toolTip(), text("Refresh", "Aktualisieren"));
        EXPECT_EQ(refresh->statusTip(), text("Refreshes the device tree.", "Aktualisiert den Baum."));
        EXPECT_EQ(refresh->shortcut(), QKeySequence(text("Ctrl+F5", "F5")));
        widget.reset();
    }
}

TEST_F(DeviceTreeWidgetTest, RefreshButtonShowsItsIcon)
{
    create();
    auto* refresh = widget->findChild<QToolButton*>(QStringLiteral("toolButton"));
    ASSERT_NE(refresh, nullptr);
    EXPECT_FALSE(refresh->icon().pixmap(16, 16).isNull()) << "the button falls back to its \"...\" text";
}

TEST_F(DeviceTreeWidgetTest, ReceiversMayCallBackWhileTheTreeReportsChanges)
{
    // The reports come with the tree's data lock released: a receiver may add a device, which takes it.
    create();
    std::unique_ptr<CDeviceInfo> gige;
    InfoCalls detected;
    InfoCalls removed;
    QObject::connect(widget.get(), &DeviceTreeWidget::deviceDetected, [&](const CDeviceInfo* info) {
        detected.add(info);
        if (info->GetSerialNumber() == "G1")
            gige = std::make_unique<CDeviceInfo>(*info);
        widget->addDevice(*info);
    });
    QObject::connect(widget.get(), &DeviceTreeWidget::deviceRemoved, [&](const CDeviceInfo* info, bool byScan) {
        removed.add(info, byScan);
        if (gige)
            widget->addDevice(*gige);
    });
    widget->refresh(false);
    ASSERT_TRUE(waitForCameras(this, tree, 2));
    EXPECT_EQ(detected.count(), 2);
    ASSERT_TRUE(Emulation::Unplug("U1"));
    widget->refresh(false);
    ASSERT_TRUE(testsupport::waitFor([&] { return removed.count() == 1; }));
    EXPECT_EQ(cameraWithSerial("U1"), nullptr);
    EXPECT_NE(cameraWithSerial("G1"), nullptr);
}

// Ends the program with a message when the test is still running after the deadline: a receiver that
// deadlocks the GUI thread would otherwise hang it until CTest kills it without a word.
class HangGuard {
public:
    explicit HangGuard(const char* what, int seconds = 30)
        : m_thread([this, what, seconds] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_finished; })) {
                  std::fprintf(stderr, "The GUI thread hangs: %s\n", what);
                  std::fflush(stderr);
                  std::abort();
              }
          })
    {
    }
    ~HangGuard()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

TEST_F(DeviceTreeWidgetTest, ReceiversOfSelectionChangesMayCallBackWhenTheCurrentCameraLeaves)
{
    // Taking the current camera out of the tree moves the current item and the selection at once;
    // the tree reports both while it changes, so receivers that add a device must find the data free.
    for (const bool viaSelection : {false, true}) {
        SCOPED_TRACE(viaSelection ? "itemSelectionChanged" : "currentDeviceChanged");
        ASSERT_TRUE(Emulation::Configure("usb:vxUsb1920m:U1;gige:gxGige1280c:G1"));
        create();
        widget->refresh(false);
        ASSERT_TRUE(waitForCameras(this, tree, 2));
        QTreeWidgetItem* usb = cameraWithSerial("U1");
        ASSERT_NE(usb, nullptr);
        const CDeviceInfo gige = dynamic_cast<DeviceTreeWidgetItem*>(cameraWithSerial("G1"))->deviceInfo();
        tree->setCurrentItem(usb);
        ASSERT_TRUE(usb->isSelected());
        int callbacks = 0;
        const auto callBack = [&] {
            ++callbacks;
            widget->addDevice(gige);
        };
        if (viaSelection)
            QObject::connect(widget.get(), &DeviceTreeWidget::itemSelectionChanged, callBack);
        else
            QObject::connect(widget.get(), &DeviceTreeWidget::currentDeviceChanged, callBack);
        InfoCalls removed;
        QObject::connect(widget.get(), &DeviceTreeWidget::deviceRemoved,
                         [&](const CDeviceInfo* info, bool byScan) { removed.add(info, byScan); });
        ASSERT_TRUE(Emulation::Unplug("U1"));
        {
            HangGuard guard("a receiver of the removal's selection change called addDevice()");
            widget->refresh(false);
            ASSERT_TRUE(testsupport::waitFor([&] { return removed.count() == 1; }));
        }
        EXPECT_GE(callbacks, 1);
        EXPECT_EQ(cameraWithSerial("U1"), nullptr);
        EXPECT_EQ(cameraNames().size(), 1) << "G1 is there once";
        widget.reset();
    }
}

TEST_F(DeviceTreeWidgetTest, ReceiversOfEverySignalMayCallBackAndRunEvents)
{
    // Each report, the auto-open's open request and the list change among them, comes to a receiver that
    // adds a device, changes every tool tip, moves the current camera and runs the events meanwhile queued
    // (the next scan's end among them), while cameras leave and come back by scan and by surprise.
    create();
    widget->refresh(false);
    ASSERT_TRUE(waitForCameras(this, tree, 2));
    const CDeviceInfo gige = dynamic_cast<DeviceTreeWidgetItem*>(cameraWithSerial("G1"))->deviceInfo();
    const CDeviceInfo usb = dynamic_cast<DeviceTreeWidgetItem*>(cameraWithSerial("U1"))->deviceInfo();
    int calls = 0;
    const auto back = [&] {
        ++calls;
        widget->addDevice(gige);
        widget->setTooltipLevel(widget->tooltipLevel() ? 0 : 100);
        widget->selectByInfo(gige);
        QCoreApplication::processEvents();
    };
    QObject::connect(widget.get(), &DeviceTreeWidget::currentDeviceChanged, back);
    QObject::connect(widget.get(), &DeviceTreeWidget::deviceOpenRequest, back);
    QObject::connect(widget.get(), &DeviceTreeWidget::deviceRemoved, back);
    QObject::connect(widget.get(), &DeviceTreeWidget::deviceDetected, back);
    QObject::connect(widget.get(), &DeviceTreeWidget::deviceListChanged, back);
    QObject::connect(widget.get(), &DeviceTreeWidget::itemSelectionChanged, back);
    tree->setCurrentItem(cameraWithSerial("U1"));
    widget->selectByNameAsync("*U1*", false);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Emulation::Unplug("U1"));
        widget->refresh(true);
        ASSERT_TRUE(testsupport::waitFor([&] { return cameraWithSerial("U1") == nullptr; }));
        ASSERT_TRUE(Emulation::Replug("U1"));
        widget->refresh(true);
        ASSERT_TRUE(testsupport::waitFor([&] { return cameraWithSerial("U1") != nullptr; }));
        widget->onSurpriseRemoved(QString::fromUtf8(usb.GetFullName().c_str()), QString());
        widget->refresh(false);
        ASSERT_TRUE(testsupport::waitFor([&] { return cameraWithSerial("U1") != nullptr; }));
    }
    EXPECT_GT(calls, 0);
    EXPECT_EQ(cameraNames().size(), 2);
    widget->refresh(true);
    widget.reset(); // with a scan requested and the receivers still connected
}

TEST_F(DeviceTreeWidgetTest, ReceiverThatRemovesAnotherCameraWhileTheScanRemovesOne)
{
    // The current camera leaves with the scan; the receiver of the new current camera takes that one out
    // as well (its host saw it go). The scan's own removals must cope with the tree changing under them.
    ASSERT_TRUE(Emulation::Configure("usb:vxUsb1920m:U1;usb:vxUsb1920m:U2;usb:vxUsb1920m:U3"));
    create();
    widget->refresh(false);
    ASSERT_TRUE(waitForCameras(this, tree, 3));
    QTreeWidgetItem* usb = cameraWithSerial("U1")->parent();
    QTreeWidgetItem* leaving = usb->child(usb->childCount() - 1);
    ASSERT_NE(leaving, nullptr);
    const std::string leavingSerial =
        dynamic_cast<DeviceTreeWidgetItem*>(leaving)->deviceInfo().GetSerialNumber().c_str();
    tree->setCurrentItem(leaving);
    InfoCalls removed;
    QObject::connect(widget.get(), &DeviceTreeWidget::deviceRemoved,
                     [&](const CDeviceInfo* info, bool byScan) { removed.add(info, byScan); });
    QObject::connect(widget.get(), &DeviceTreeWidget::currentDeviceChanged, [&](const CDeviceInfo* info) {
        if (info && info->GetSerialNumber() != leavingSerial.c_str())
            widget->onSurpriseRemoved(QString::fromUtf8(info->GetFullName().c_str()), QString());
    });
    ASSERT_TRUE(Emulation::Unplug(leavingSerial));
    widget->refresh(false);
    // Each camera that became current on the way was taken out by the receiver.
    ASSERT_TRUE(testsupport::waitFor([&] { return cameraWithSerial(leavingSerial.c_str()) == nullptr; }));
    EXPECT_TRUE(cameraNames().isEmpty());
    ASSERT_EQ(removed.count(), 3u);
    EXPECT_EQ(std::count_if(removed.calls.begin(), removed.calls.end(), [](const auto& c) { return c.second; }), 1);
    EXPECT_EQ(tree->currentItem(), usb) << "the transport layer is left current";
}

TEST_F(DeviceTreeWidgetTest, ScanRightAfterConstructionIsNotLost)
{
    // The request comes before the thread sleeps on its condition: it must still be served.
    create();
    InfoCalls detected;
    QObject::connect(widget.get(), &DeviceTreeWidget::deviceDetected,
                     [&](const CDeviceInfo* info) { detected.add(info); });
    QSignalSpy changed(widget.get(), &DeviceTreeWidget::deviceListChanged);
    widget->refresh(true);
    ASSERT_TRUE(waitForCameras(this, tree, 2));
    EXPECT_EQ(detected.count(), 2);
    EXPECT_EQ(changed.count(), 1);
    QTreeWidgetItem* usb = cameraWithSerial("U1");
    ASSERT_NE(usb, nullptr);
    EXPECT_TRUE(usb->data(0, Qt::UserRole + 3).toBool());
    EXPECT_FALSE(usb->data(0, Qt::UserRole + 1).toBool());
    EXPECT_FALSE(usb->text(0).isEmpty());
}

TEST_F(DeviceTreeWidgetTest, RefreshByTheUserLogsWhatEachTransportLayerHolds)
{
    create();
    widget->setAutoScanEnabled(false);
    testsupport::LogCapture log;
    widget->refresh(false);
    ASSERT_TRUE(waitForCameras(this, tree, 2));
    EXPECT_FALSE(log.contains("Enumerated '"));
    EXPECT_FALSE(log.contains("    Found '"));

    widget->onActionRefresh();
    ASSERT_TRUE(testsupport::waitFor([&] { return log.count("    Found '") == 2; }));
    TlInfoList tls;
    CTlFactory::GetInstance().EnumerateTls(tls);
    for (const CTlInfo& tl : tls)
        EXPECT_EQ(log.count("Enumerated '" + tl.GetFriendlyName().str() + "' and found 1 devices."), 1u);
    for (const char* serial : {"U1", "G1"}) {
        auto* camera = dynamic_cast<DeviceTreeWidgetItem*>(cameraWithSerial(serial));
        ASSERT_NE(camera, nullptr);
        EXPECT_TRUE(log.contains("    Found '" + camera->deviceInfo().GetFriendlyName().str() + "'"));
    }
}

TEST_F(DeviceTreeWidgetTest, TransportLayerThatFailsKeepsWhatItListedAndTheScanGoesOn)
{
    create();
    widget->setAutoScanEnabled(false);
    CTlFactory& factory = CTlFactory::GetInstance();
    ITransportLayer* usb = factory.CreateTl("VelmarUsb");
    ITransportLayer* gige = factory.CreateTl("VelmarGigE");
    ASSERT_TRUE(usb && gige);
    factory.ReleaseTl(usb);
    factory.ReleaseTl(gige);
    testsupport::LogCapture log;
    ASSERT_TRUE(Emulation::FailEnumerations("VelmarUsb"));
    widget->refresh(false);
    // The USB camera was listed before its transport layer failed; the GigE one comes after it.
    ASSERT_TRUE(waitForCameras(this, tree, 2));
    EXPECT_NE(cameraWithSerial("U1"), nullptr);
    EXPECT_NE(cameraWithSerial("G1"), nullptr);
    EXPECT_EQ(log.count("Failed to enumerate devices for VelmarUsb."), 1u);
    EXPECT_EQ(log.count("DeviceTreeData::refreshDeviceTreeData: "), 1u);
    EXPECT_TRUE(log.contains("Emulated failure while enumerating the devices of VelmarUsb."));
    EXPECT_FALSE(log.contains("DeviceScanThread: Failed to enumerate devices"));
    // Both transport layers went back to the factory, the failing one too.
    EXPECT_THROW(factory.ReleaseTl(usb), GenICam::LogicalErrorException);
    EXPECT_THROW(factory.ReleaseTl(gige), GenICam::LogicalErrorException);
}

TEST_F(DeviceTreeWidgetTest, UnpluggedCameraLeavesUnlessOpened)
{
    struct Case {
        bool opened;
        bool expectKept;
    };
    for (const Case& c : {Case{false, false}, Case{true, true}}) {
        SCOPED_TRACE(c.opened ? "opened" : "closed");
        ASSERT_TRUE(Emulation::Configure("usb:vxUsb1920m:U1;gige:gxGige1280c:G1"));
        create();
        widget->refresh(false);
        ASSERT_TRUE(waitForCameras(this, tree, 2));
        auto* item = dynamic_cast<DeviceTreeWidgetItem*>(cameraWithSerial("U1"));
        ASSERT_NE(item, nullptr);
        if (c.opened) {
            device = CTlFactory::GetInstance().CreateDevice(item->deviceInfo());
            device->Open();
            widget->onOpenDevice(device);
            EXPECT_TRUE(item->font(0).bold());
            EXPECT_TRUE(item->data(0, Qt::UserRole + 2).toBool());
        }
        InfoCalls removed;
        QObject::connect(widget.get(), &DeviceTreeWidget::deviceRemoved,
                         [&](const CDeviceInfo* info, bool byScan) { removed.add(info, byScan); });
        // G1 goes too: its removal shows that the scan has reached the tree.
        ASSERT_TRUE(Emulation::Unplug("U1"));
        ASSERT_TRUE(Emulation::Unplug("G1"));
        QSignalSpy changed(widget.get(), &DeviceTreeWidget::deviceListChanged);
        widget->refresh(false);
        ASSERT_TRUE(testsupport::waitFor([&] { return cameraWithSerial("G1") == nullptr; }));
        EXPECT_EQ(changed.count(), 1);
        if (c.expectKept) {
            ASSERT_NE(cameraWithSerial("U1"), nullptr);
            EXPECT_EQ(removed.count(), 1);
            widget->onCloseDevice(device);
            EXPECT_FALSE(cameraWithSerial("U1")->font(0).bold());
            CTlFactory::GetInstance().DestroyDevice(device);
            device = nullptr;
        } else {
            EXPECT_EQ(cameraWithSerial("U1"), nullptr);
            ASSERT_EQ(removed.count(), 2);
            for (const auto& call : removed.calls)
                EXPECT_TRUE(call.second);
            EXPECT_TRUE(removed.calls[0].first == "U1" || removed.calls[1].first == "U1");
        }
        widget.reset();
    }
}

TEST_F(DeviceTreeWidgetTest, PendingWildcardAutoOpenSelectsFirstMatchOnce)
{
    create();
    QSignalSpy openRequests(widget.get(), &DeviceTreeWidget::deviceOpenRequest);
    InfoCalls current;
    QObject::connect(widget.get(), &DeviceTreeWidget::currentDeviceChanged,
                     [&](const CDeviceInfo* info) { current.add(info); });
    // Any camera matches; the first one the tree holds after the scan is chosen.
    widget->selectByNameAsync(QStringLiteral("*"), false);
    widget->refresh(false);
    ASSERT_TRUE(waitForCameras(this, tree, 2));
    ASSERT_TRUE(testsupport::waitFor([&] { return openRequests.count() >= 1; }));
    EXPECT_EQ(openRequests.count(), 1);
    ASSERT_NE(tree->currentItem(), nullptr);
    EXPECT_TRUE(tree->currentItem()->data(0, Qt::UserRole + 3).toBool());
    ASSERT_GE(current.count(), 1);
    EXPECT_FALSE(current.calls.back().first.isEmpty());

    // A second scan brings nothing new: no further open request.
    widget->refresh(false);
    testsupport::waitFor([&] { return false; }, 500);
    EXPECT_EQ(openRequests.count(), 1);
}

TEST_F(DeviceTreeWidgetTest, SelectByNameMatchesExactlyOrByPattern)
{
    create();
    widget->refresh(false);
    ASSERT_TRUE(waitForCameras(this, tree, 2));
    const QString name = cameraWithSerial("G1")->text(0);
    struct Case {
        QString pattern;
        bool exact;
        bool found;
    };
    const Case cases[] = {
        {name, true, true},
        {name.toUpper(), true, true},
        {name.left(3), true, false},
        {name.left(3) + "*", false, true},
        {QStringLiteral("nothing*"), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern.toStdString());
        tree->setCurrentItem(nullptr);
        EXPECT_EQ(widget->selectByName(c.pattern, c.exact), c.found);
        if (c.found) {
            EXPECT_NE(tree->currentItem(), nullptr);
        }
    }
    // Transport-layer items are never chosen, whatever the pattern.
    EXPECT_FALSE(widget->selectByName(tree->topLevelItem(0)->text(0), true));
    EXPECT_TRUE(widget->selectByName(QString(), true));
    EXPECT_EQ(tree->currentItem(), nullptr);
}

TEST_F(DeviceTreeWidgetTest, MonitorModeShowsGigeTransportLayersOnly)
{
    create(true);
    widget->refresh(false);
    ASSERT_TRUE(waitForCameras(this, tree, 1));
    ASSERT_GE(tree->topLevelItemCount(), 1);
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        EXPECT_EQ(tree->topLevelItem(i)->data(0, Qt::UserRole + 4).toString(), QStringLiteral("VelmarGigE"));
    EXPECT_NE(cameraWithSerial("G1"), nullptr);
    EXPECT_EQ(cameraWithSerial("U1"), nullptr);
}

TEST_F(DeviceTreeWidgetTest, ToolTipLevelDecidesTheVendorLine)
{
    create();
    widget->refresh(false);
    ASSERT_TRUE(waitForCameras(this, tree, 2));
    QTreeWidgetItem* item = cameraWithSerial("G1");
    const QString low = item->toolTip(0);
    EXPECT_FALSE(low.contains("Vendor:"));
    EXPECT_TRUE(low.contains("Serial Number:\tG1"));
    EXPECT_FALSE(low.endsWith('\n'));
    EXPECT_EQ(widget->setTooltipLevel(100), 0u);
    EXPECT_TRUE(item->toolTip(0).contains("Vendor:\t\t"));
    EXPECT_EQ(widget->setTooltipLevel(0), 100u);
    EXPECT_FALSE(item->toolTip(0).contains("Vendor:"));
}

TEST_F(DeviceTreeWidgetTest, OpenedDeviceAddsNodeRowsToTheToolTip)
{
    create();
    widget->refresh(false);
    ASSERT_TRUE(waitForCameras(this, tree, 2));
    auto* item = dynamic_cast<DeviceTreeWidgetItem*>(cameraWithSerial("U1"));
    device = CTlFactory::GetInstance().CreateDevice(item->deviceInfo());
    device->Open();
    widget->onOpenDevice(device);
    GenApi::CValuePtr firmware(device->GetNodeMap()->GetNode("DeviceFirmwareVersion"));
    ASSERT_TRUE(firmware.IsValid());
    EXPECT_TRUE(item->toolTip(0).contains("FW Version:\t" + QString::fromLatin1(firmware->ToString().c_str())));
    widget->onCloseDevice(device);
    EXPECT_FALSE(item->font(0).bold());
    // Rebuilt without the closed device: only the device-info rows are left.
    widget->setTooltipLevel(100);
    EXPECT_FALSE(item->toolTip(0).contains("FW Version:"));
    EXPECT_EQ(item->device(), nullptr);
}

TEST_F(DeviceTreeWidgetTest, SurpriseRemovalAndQueries)
{
    create();
    widget->refresh(false);
    ASSERT_TRUE(waitForCameras(this, tree, 2));
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree->selectAll();
    DeviceInfoList selected;
    EXPECT_EQ(widget->selectedDevices(&selected), 2);
    EXPECT_EQ(selected.size(), 2u);
    EXPECT_EQ(widget->selectedDevices(nullptr), 2);
    EXPECT_TRUE(widget->isDeviceTreeWidget(tree));
    EXPECT_FALSE(widget->isDeviceTreeWidget(widget.get()));

    QTreeWidgetItem* gige = cameraWithSerial("G1");
    InfoCalls removed;
    QObject::connect(widget.get(), &DeviceTreeWidget::deviceRemoved,
                     [&](const CDeviceInfo* info, bool byScan) { removed.add(info, byScan); });
    widget->onSurpriseRemoved(gige->data(0, Qt::UserRole).toString(), gige->text(0));
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.calls[0], std::make_pair(QStringLiteral("G1"), false));
    EXPECT_EQ(cameraWithSerial("G1"), nullptr);
    widget->onSurpriseRemoved(QStringLiteral("unknown"), QString());
    EXPECT_EQ(removed.count(), 1);

    // Put back by hand, without a scan, under its own transport layer.
    DeviceInfoList all;
    CTlFactory::GetInstance().EnumerateDevices(all);
    for (const CDeviceInfo& info : all) {
        widget->addDevice(info);
        widget->addDevice(info);
    }
    EXPECT_EQ(cameraNames().size(), 2);
    EXPECT_EQ(cameraWithSerial("G1")->parent()->data(0, Qt::UserRole + 4).toString(), QStringLiteral("VelmarGigE"));
}

TEST_F(DeviceTreeWidgetTest, AutoScanFlagTravelsWithTheSavedState)
{
    create();
    QSignalSpy polling(widget.get(), &DeviceTreeWidget::pollingStateChanged);
    auto* box = widget->findChild<QCheckBox*>(QStringLiteral("checkBoxPolling"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isChecked());
    box->click();
    EXPECT_FALSE(widget->autoScanEnabled());
    ASSERT_EQ(polling.count(), 1);
    EXPECT_FALSE(polling.at(0).at(0).toBool());
    const QByteArray state = widget->saveState(1);

    widget = std::make_unique<DeviceTreeWidget>(nullptr, false);
    EXPECT_TRUE(widget->autoScanEnabled());
    ASSERT_TRUE(widget->restoreState(state, 1));
    EXPECT_FALSE(widget->autoScanEnabled());
    EXPECT_FALSE(widget->findChild<QCheckBox*>(QStringLiteral("checkBoxPolling"))->isChecked());
}

TEST_F(DeviceTreeWidgetTest, DestroyingWhileAScanRunsWaitsForTheThread)
{
    // Destroyed right after a requested scan, also once its start has reached the widget (the busy
    // cursor is on) and its end has not: the destructor returns only when the thread has ended, and
    // leaves no busy cursor behind.
    for (const bool startShown : {false, true}) {
        SCOPED_TRACE(startShown ? "start shown" : "start not shown");
        for (int i = 0; i < 3; ++i) {
            create();
            testsupport::LogCapture log;
            widget->refresh(true);
            if (startShown) {
                widget->deviceScanStarted();
                ASSERT_NE(QApplication::overrideCursor(), nullptr);
            }
            QElapsedTimer timer;
            timer.start();
            widget.reset();
            EXPECT_LT(timer.elapsed(), 10000);
            EXPECT_EQ(log.count("DeviceScanThread ended"), 1u);
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
            // What the thread still had queued for the widget goes nowhere.
            QCoreApplication::processEvents();
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        }
    }
}

} // namespace
