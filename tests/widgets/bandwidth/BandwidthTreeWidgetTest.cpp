// The bandwidth tree on emulated USB and GigE cameras: rows, measuring, unplugging, GigE optimisation,
// the limit editors and the camera configuration dialog.
#include <orbelt/BandwidthItemDelegate.h>
#include <orbelt/BandwidthLimiterInterPacketDelay.h>
#include <orbelt/BandwidthTreeWidget.h>
#include <orbelt/CameraConfigurationEditor.h>
#include <orbelt/DeviceLinkThroughputLimitEditor.h>
#include <orbelt/FeatureTreeWidget.h>

#include <nimbo/Emulation.h>
#include <nimbo/NimboIncludes.h>

#include <testsupport/EmulatedCameras.h>
#include <testsupport/HostGrab.h>
#include <testsupport/NodeMaps.h>
#include <testsupport/Wait.h>

#include "../featuretree/FeatureTreeFixtures.h"

#include <GenApi/GenApi.h>

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace Nimbo;

namespace {

class BandwidthTreeWidgetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Emulation::Configure("gige:gxGige1280c:G1;gige:gxGige1280c:G2;gige:gxGige1280c:G3;"
                                         "usb:vxUsb1920m:U1;usb:qvUsb1920c:U2"));
        tree = std::make_unique<BandwidthTreeWidget>();
        tree->restoreLayout(nullptr);
        GenICam::gcstring_vector classes;
        classes.push_back("VelmarGigE");
        classes.push_back("VelmarUsb");
        ASSERT_TRUE(tree->setUsableDeviceClasses(classes));
        tree->refreshTree();
    }
    void TearDown() override
    {
        tree.reset();
        Emulation::WaitForEvents();
    }

    size_t rowOf(const char* serial) const
    {
        const auto& items = tree->data().items;
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].isCamera && items[i].deviceInfo.GetSerialNumber() == serial)
                return i;
        return 0;
    }
    const FlatTreeItem& row(const char* serial) const { return tree->data().items.at(rowOf(serial)); }
    QTreeWidgetItem* item(const char* serial) const { return row(serial).treeItem; }
    CInstantCamera* camera(const char* serial) const { return row(serial).camera; }
    GenApi::CIntegerPtr integer(const char* serial, const char* name) const
    {
        return camera(serial)->GetNodeMap().GetNode(name);
    }
    QModelIndex indexOf(QTreeWidgetItem* it, int column) const
    {
        tree->setCurrentItem(it);
        return tree->currentIndex().sibling(tree->currentIndex().row(), column);
    }
    QPushButton* optimizeButton() const
    {
        return qobject_cast<QPushButton*>(tree->itemWidget(item("G1")->parent(), 1));
    }

    // Samples until the predicate holds; the measuring cameras stream on their own threads.
    bool sampleUntil(const std::function<bool()>& predicate)
    {
        return testsupport::waitFor([&] {
            tree->Sample();
            return predicate();
        });
    }

    NimboAutoInitTerm init;
    std::unique_ptr<BandwidthTreeWidget> tree;
};

TEST(NearestDialogTest, TheFirstDialogAboveTheObject)
{
    QDialog outer;
    QDialog inner(&outer);
    QWidget page(&inner);
    QWidget button(&page);
    QObject helper(&button);
    QWidget loose;
    const struct {
        const char* what;
        QObject* object;
        QDialog* expected;
    } cases[] = {
        {"nothing", nullptr, nullptr},
        {"a widget outside any dialog", &loose, nullptr},
        {"a dialog without one above it", &outer, nullptr},
        {"a dialog in a dialog", &inner, &outer},
        {"a widget in the inner dialog", &page, &inner},
        {"a widget deeper down", &button, &inner},
        {"an object that is no widget", &helper, &inner},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nearestDialog(c.object), c.expected) << c.what;
}

TEST(SampleDataViewTest, ReceivedPayloadHasTwoDecimalsBelowOneMegabytePerSecond)
{
    const struct {
        uint64_t bytesPerSecond;
        const char* shown;
    } cases[] = {
        {0, "0"},       {500000, "0.50"}, {999999, "1.00"}, {1000000, "1"},
        {1499999, "1"}, {1500000, "2"},   {12345678, "12"}, {1234567890, "1235"},
    };
    for (const auto& c : cases) {
        SampleData sample;
        sample.bytesPerSecondReceived = c.bytesPerSecond;
        EXPECT_EQ(sampleDataView(sample, true, QDateTime::currentDateTime(), QLocale::c()).payloadReceived,
                  QString::fromLatin1(c.shown))
            << c.bytesPerSecond;
    }
}

TEST(SampleDataViewTest, RatesCountsAndTheErrorMarker)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    SampleData sample;
    sample.fpsSent = 24.996;
    sample.images = 1234567;
    const QDateTime now = QDateTime::currentDateTime();
    SampleDataView view = sampleDataView(sample, true, now, english);
    EXPECT_EQ(view.fpsSent, QStringLiteral("25.00"));
    EXPECT_EQ(view.fpsReceived, QStringLiteral("--")) << "no rate yet";
    EXPECT_EQ(view.images, QStringLiteral("1,234,567"));
    EXPECT_EQ(view.errors, QStringLiteral("0"));
    EXPECT_FALSE(view.failed);
    sample.fpsReceived = 0.0;
    sample.errors = 1;
    view = sampleDataView(sample, true, now, english);
    EXPECT_EQ(view.fpsReceived, QStringLiteral("0.00")) << "a rate of nothing is a rate";
    EXPECT_TRUE(view.failed);
}

TEST(SampleDataViewTest, NothingArrivingLongerThanTheAllowedSilenceIsAStall)
{
    // The allowed silence is three frame periods of the sent rate, or 2 s when that is unknown; only
    // whole seconds past it count.
    const int invalid = -1;
    const struct {
        double fpsReceived;
        double fpsSent;
        bool grabbing;
        int secondsSinceStart;
        bool stalled;
    } cases[] = {
        {0.0, 0.0, true, 3, true},  {0.0, 0.0, true, 2, false},   {0.0, 1.0, true, 3, false},
        {0.0, 1.0, true, 4, true},  {0.0, 0.0, false, 60, false}, {0.0, 0.0, true, invalid, false},
        {-1.0, 0.0, true, 3, true}, {0.01, 0.0, true, 60, false}, {25.0, 25.0, true, 60, false},
    };
    const QDateTime now = QDateTime::currentDateTime();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "received " << c.fpsReceived << ", sent " << c.fpsSent << ", grabbing "
                                        << c.grabbing << ", " << c.secondsSinceStart << " s");
        SampleData sample;
        sample.fpsReceived = c.fpsReceived;
        sample.fpsSent = c.fpsSent;
        if (c.secondsSinceStart != invalid)
            sample.grabStartTime = now.addSecs(-c.secondsSinceStart);
        EXPECT_EQ(sampleDataView(sample, c.grabbing, now, QLocale::c()).stalled, c.stalled);
    }
}

TEST(SampleDataViewTest, ControllerWithoutBandwidthShowsNothing)
{
    EXPECT_EQ(controllerBandwidthText(0, QLocale::c()), QString());
    EXPECT_EQ(controllerBandwidthText(499999999, QLocale::c()), QStringLiteral("~500"));
}

TEST_F(BandwidthTreeWidgetTest, CamerasSitUnderAdaptersAndHubs)
{
    EXPECT_EQ(tree->columnCount(), 8);
    EXPECT_EQ(tree->headerItem()->text(1), QStringLiteral("Bandwidth (MB/s)"));
    EXPECT_EQ(tree->headerItem()->text(5), QStringLiteral("fps Received"));
    EXPECT_EQ(tree->countCameras(), 5);
    EXPECT_EQ(tree->countGigECameras(), 3);
    EXPECT_EQ(tree->countEnabledCameras(), 0);

    // The three GigE cameras share one adapter row below the transport-layer row.
    QTreeWidgetItem* adapter = item("G1")->parent();
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(item("G2")->parent(), adapter);
    EXPECT_EQ(item("G3")->parent(), adapter);
    EXPECT_EQ(adapter->parent()->parent(), nullptr);
    EXPECT_TRUE(adapter->isExpanded());
    QPushButton* button = optimizeButton();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("Optimize"));
    EXPECT_FALSE(button->isEnabled()) << "no camera of the adapter is checked";

    // USB cameras hang below at least a host controller, which shows its bandwidth.
    QTreeWidgetItem* usbParent = item("U1")->parent();
    ASSERT_NE(usbParent, nullptr);
    ASSERT_NE(usbParent->parent(), nullptr);
    bool controllerShown = false;
    for (QTreeWidgetItem* up = usbParent; up; up = up->parent())
        controllerShown |= up->text(1).startsWith(QLatin1Char('~'));
    EXPECT_TRUE(controllerShown);
    EXPECT_TRUE(adapter->text(1).isEmpty()) << "a GigE adapter never shows a value";

    for (const char* serial : {"G1", "U1"}) {
        SCOPED_TRACE(serial);
        QTreeWidgetItem* cam = item(serial);
        EXPECT_EQ(cam->checkState(0), Qt::Unchecked);
        EXPECT_TRUE(cam->data(0, BandwidthTreeWidget::IsCameraRole).toBool());
        EXPECT_TRUE(cam->flags() & Qt::ItemIsEditable);
        EXPECT_EQ(flatTreeItemOf(indexOf(cam, 2)), &row(serial));
        EXPECT_EQ(flatTreeItemOf(indexOf(cam, 3)), nullptr);
        EXPECT_TRUE(cam->text(5).isEmpty());
    }
    EXPECT_FALSE(adapter->data(0, BandwidthTreeWidget::IsCameraRole).toBool());

    tree->setCurrentItem(adapter);
    EXPECT_EQ(tree->getSelectedItemType(), BandwidthTreeWidget::ItemTypeAdapter);
    tree->setCurrentItem(item("U1"));
    EXPECT_EQ(tree->getSelectedItemType(), BandwidthTreeWidget::ItemTypeCamera);
    EXPECT_EQ(tree->getSelectedItemDisplayName(), item("U1")->text(0));
    qint64 limit = 0;
    EXPECT_TRUE(tree->getSelectedItemFeatureValue(limit));
    EXPECT_EQ(limit, -1);
}

TEST_F(BandwidthTreeWidgetTest, CheckBoxReportsOnceAndTheHostSwitches)
{
    QSignalSpy checked(tree.get(), &BandwidthTreeWidget::cameraChecked);
    item("G2")->setCheckState(0, Qt::Checked);
    ASSERT_EQ(checked.count(), 1);
    EXPECT_EQ(checked.at(0).at(0).value<size_t>(), rowOf("G2"));
    EXPECT_EQ(checked.at(0).at(2).value<Qt::CheckState>(), Qt::Checked);
    EXPECT_EQ(camera("G2"), nullptr) << "the widget leaves switching to the host";
    item("G2")->setCheckState(0, Qt::Checked);
    EXPECT_EQ(checked.count(), 1) << "the same state again is no change";

    // The host answers; the row shows the camera and the adapter's button comes alive.
    ASSERT_TRUE(tree->EnableCamera(rowOf("G2")));
    EXPECT_EQ(checked.count(), 1);
    EXPECT_TRUE(item("G2")->font(0).bold());
    EXPECT_TRUE(testsupport::waitFor([&] { return optimizeButton()->isEnabled(); }));
    EXPECT_EQ(tree->enabledCameras(), QVector<size_t>{rowOf("G2")});
    EXPECT_EQ(tree->countEnabledGigECameras(), 1);

    item("G2")->setCheckState(0, Qt::Unchecked);
    ASSERT_EQ(checked.count(), 2);
    EXPECT_NE(checked.at(1).at(1).value<CInstantCamera*>(), nullptr);
    EXPECT_FALSE(tree->DisableCamera(rowOf("G2")));
    EXPECT_EQ(checked.count(), 2);
    EXPECT_FALSE(item("G2")->font(0).bold());
    EXPECT_TRUE(testsupport::waitFor([&] { return !optimizeButton()->isEnabled(); }));
    EXPECT_THROW(tree->DisableCamera(size_t(9999)), std::out_of_range);
    EXPECT_FALSE(tree->EnableCamera(QStringLiteral("no such camera")));
}

TEST_F(BandwidthTreeWidgetTest, SwitchedOnCameraShowsItsRateAndCountsAfreshWhenSwitchedOnAgain)
{
    tree->StartMeasuring();
    ASSERT_TRUE(tree->EnableCamera(QString::fromLatin1(row("U1").id.toLatin1())));
    EXPECT_EQ(item("U1")->checkState(0), Qt::Checked);
    EXPECT_EQ(item("U1")->text(5), QStringLiteral("--")) << "no rate before two frames";
    ASSERT_TRUE(sampleUntil([&] { return item("U1")->text(5) != QStringLiteral("--"); }));
    EXPECT_GT(item("U1")->text(4).toDouble(), 0.0) << "fps sent";
    EXPECT_FALSE(item("U1")->text(3).isEmpty()) << "payload received";
    ASSERT_TRUE(sampleUntil([&] { return row("U1").sample.images >= 5; }));
    const uint64_t before = row("U1").sample.images;
    EXPECT_EQ(item("U1")->text(6), QString::number(before));
    EXPECT_TRUE(item("U1")->icon(7).isNull()) << "no errors";

    tree->DisableCamera(rowOf("U1"));
    EXPECT_TRUE(item("U1")->text(6).isEmpty());
    EXPECT_EQ(row("U1").sample.images, 0u);
    ASSERT_TRUE(tree->EnableCamera(rowOf("U1")));
    EXPECT_LT(row("U1").sample.images, before);
    ASSERT_TRUE(sampleUntil([&] { return item("U1")->text(5) != QStringLiteral("--"); }));

    // Failed frames count and mark the errors column.
    ASSERT_TRUE(Emulation::InjectFailedFrames("U1", 2));
    ASSERT_TRUE(sampleUntil([&] { return row("U1").sample.errors >= 2; }));
    EXPECT_FALSE(item("U1")->icon(7).isNull());
    tree->StopMeasuring();
}

TEST_F(BandwidthTreeWidgetTest, ResetSamplesCountsAfreshWhileMeasuring)
{
    ASSERT_TRUE(tree->EnableCamera(rowOf("U1")));
    tree->StartMeasuring();
    ASSERT_TRUE(Emulation::InjectFailedFrames("U1", 2));
    ASSERT_TRUE(sampleUntil([&] { return row("U1").sample.errors >= 2 && row("U1").sample.images >= 10; }));
    EXPECT_FALSE(item("U1")->icon(7).isNull());
    const SampleData before = row("U1").sample;

    // The counters start again and the row shows them at once, without waiting for a Sample().
    tree->ResetSamples();
    const SampleData after = row("U1").sample;
    EXPECT_LT(after.images, before.images);
    EXPECT_LT(after.errors, before.errors);
    EXPECT_EQ(item("U1")->text(6), QString::number(after.images));
    EXPECT_EQ(item("U1")->text(7), QString::number(after.errors));
    EXPECT_EQ(item("U1")->icon(7).isNull(), after.errors == 0);
    EXPECT_TRUE(after.grabStartTime.isValid()) << "still measuring";
    EXPECT_GE(after.grabStartTime, before.grabStartTime);
    ASSERT_TRUE(sampleUntil([&] { return row("U1").sample.images > after.images; }));
    tree->StopMeasuring();
}

TEST_F(BandwidthTreeWidgetTest, CameraStalledFromItsStartShowsTheWarning)
{
    ASSERT_TRUE(tree->EnableCamera(rowOf("U2")));
    // Waiting for a software trigger that never comes: the camera reports a rate but sends nothing.
    GenApi::INodeMap& map = camera("U2")->GetNodeMap();
    GenApi::CEnumerationPtr(map.GetNode("TriggerSelector"))->FromString("FrameStart");
    GenApi::CEnumerationPtr(map.GetNode("TriggerMode"))->FromString("On");
    GenApi::CEnumerationPtr(map.GetNode("TriggerSource"))->FromString("Software");
    QList<QString> software, other;
    EXPECT_TRUE(tree->CheckTriggerState(&software, &other));
    EXPECT_EQ(software, QList<QString>{item("U2")->text(0)});
    EXPECT_TRUE(other.isEmpty());

    tree->StartMeasuring();
    tree->Sample();
    EXPECT_TRUE(item("U2")->icon(5).isNull()) << "the allowed silence has not passed yet";
    ASSERT_TRUE(sampleUntil([&] { return !item("U2")->icon(5).isNull(); }));
    EXPECT_EQ(item("U2")->text(5), QStringLiteral("--"));
    EXPECT_EQ(row("U2").sample.images, 0u);
    tree->StopMeasuring();
}

TEST_F(BandwidthTreeWidgetTest, UnpluggedCamerasLeaveTheTreeAtTheNextRefresh)
{
    for (const char* serial : {"U1", "G1", "G2", "G3"})
        ASSERT_TRUE(tree->EnableCamera(rowOf(serial)));
    tree->StartMeasuring();
    ASSERT_TRUE(sampleUntil([&] { return row("G3").sample.images > 0 && row("U1").sample.images > 0; }));

    // Two cameras next to each other in the camera list vanish while measuring.
    ASSERT_TRUE(Emulation::Unplug("G1"));
    ASSERT_TRUE(Emulation::Unplug("G2"));
    Emulation::WaitForEvents();
    ASSERT_TRUE(sampleUntil([&] { return row("G1").sample.deviceRemoved && row("G2").sample.deviceRemoved; }));
    tree->refreshTree();
    EXPECT_EQ(rowOf("G1"), 0u);
    EXPECT_EQ(rowOf("G2"), 0u);
    EXPECT_EQ(tree->countEnabledCameras(), 2);
    EXPECT_EQ(item("G3")->checkState(0), Qt::Checked);
    EXPECT_NE(tree->itemWidget(item("G3"), 1), nullptr) << "the running camera keeps its limit editor";
    const uint64_t images = row("G3").sample.images;
    ASSERT_TRUE(sampleUntil([&] { return row("G3").sample.images > images; })) << "still measuring";
    tree->StopMeasuring();
}

TEST_F(BandwidthTreeWidgetTest, OptimizingTheAdapterStaggersItsThreeCameras)
{
    QSignalSpy allStarted(tree.get(), &BandwidthTreeWidget::optimizeAllGigEStarted);
    QSignalSpy optimized(tree.get(), &BandwidthTreeWidget::optimizedGigECamera);
    // Hosts take the capacity by reference too (as EXPECT_EQ does): it has to be defined.
    EXPECT_EQ(BandwidthTreeWidget::MaxBandwidthBps, 112500000u);
    tree->OptimizeAllGigE();
    EXPECT_EQ(allStarted.count(), 1);
    ASSERT_EQ(optimized.count(), 1) << "one adapter";
    const auto result = optimized.at(0).at(0).value<BandwidthTreeWidget::SOptimizationResult>();
    EXPECT_TRUE(result.packetSizeAtMost1500);

    // Every camera was switched on, in the adapter's order of rows, and given a delay slot.
    std::vector<int64_t> delays;
    for (const char* serial : {"G1", "G2", "G3"}) {
        SCOPED_TRACE(serial);
        ASSERT_NE(camera(serial), nullptr);
        EXPECT_EQ(item(serial)->checkState(0), Qt::Checked);
        EXPECT_EQ(integer(serial, "GevSCPSPacketSize")->GetValue(), 1500);
        delays.push_back(integer(serial, "GevSCFTD")->GetValue());
        auto* limit = qobject_cast<BandwidthLimiterInterPacketDelay*>(row(serial).limitEditor);
        ASSERT_NE(limit, nullptr);
        EXPECT_EQ(limit, tree->itemWidget(item(serial), 1));
        EXPECT_EQ(limit->value(), 37) << "floor(112.5 / 3) MB/s";
    }
    std::vector<size_t> order;
    for (const char* serial : {"G1", "G2", "G3"})
        order.push_back(rowOf(serial));
    std::sort(delays.begin(), delays.end());
    EXPECT_EQ(delays, (std::vector<int64_t>{0, 1518, 3036}));
    EXPECT_TRUE(optimizeButton()->isEnabled());

    // The adapter's button touches only the checked cameras, which then share the adapter alone.
    tree->DisableCamera(rowOf("G2"));
    integer("G1", "GevSCFTD")->SetValue(7);
    QSignalSpy started(tree.get(), &BandwidthTreeWidget::optimizeGigEStarted);
    optimizeButton()->click();
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(optimized.count(), 2);
    EXPECT_EQ(camera("G2"), nullptr);
    EXPECT_EQ(qobject_cast<BandwidthLimiterInterPacketDelay*>(row("G1").limitEditor)->value(), 56);
    EXPECT_EQ(qobject_cast<BandwidthLimiterInterPacketDelay*>(row("G3").limitEditor)->value(), 56);
    const int64_t g1 = integer("G1", "GevSCFTD")->GetValue();
    const int64_t g3 = integer("G3", "GevSCFTD")->GetValue();
    EXPECT_EQ(std::min(g1, g3), 0);
    EXPECT_EQ(std::max(g1, g3), 1518);
}

TEST_F(BandwidthTreeWidgetTest, LimitEditorInTheRowChangesTheCameraLimit)
{
    ASSERT_TRUE(tree->EnableCamera(rowOf("U1")));
    auto* editor = qobject_cast<DeviceLinkThroughputLimitEditor*>(tree->itemWidget(item("U1"), 1));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(row("U1").limitEditor, editor);
    editor->slider()->setValue(123);
    EXPECT_EQ(integer("U1", "DeviceLinkThroughputLimit")->GetValue(), 123000000);
    GenApi::CEnumerationPtr mode(camera("U1")->GetNodeMap().GetNode("DeviceLinkThroughputLimitMode"));
    EXPECT_EQ(mode->ToString(), "On");
    EXPECT_FALSE(GenApi::IsWritable(mode)) << "locked while the editor lives";

    // A GigE row gets the inter-packet-delay editor; both get the configuration button.
    ASSERT_TRUE(tree->EnableCamera(rowOf("G1")));
    EXPECT_NE(qobject_cast<BandwidthLimiterInterPacketDelay*>(tree->itemWidget(item("G1"), 1)), nullptr);
    auto* button = qobject_cast<CameraConfigurationEditor*>(tree->itemWidget(item("G1"), 2));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("..."));

    // Closing the editor frees the mode at once, before the view deletes the editor.
    QPointer<DeviceLinkThroughputLimitEditor> closed(editor);
    tree->closePersistentEditor(item("U1"), 1);
    EXPECT_TRUE(GenApi::IsWritable(mode));
    EXPECT_EQ(row("U1").limitEditor, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull()) << "the view deletes it later";
}

// Qt's delegate filter sends closeEditor for Escape and Return in an editor; a persistent editor stays in
// its cell then and must stay in charge of the camera: writing its limits and keeping the mode locked.
TEST_F(BandwidthTreeWidgetTest, EscapeOrReturnOnTheUsbLimitSliderKeepsItInCharge)
{
    int megabytes = 120;
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        SCOPED_TRACE(key);
        ASSERT_TRUE(tree->EnableCamera(rowOf("U1")));
        GenApi::CEnumerationPtr mode(camera("U1")->GetNodeMap().GetNode("DeviceLinkThroughputLimitMode"));
        auto* editor = qobject_cast<DeviceLinkThroughputLimitEditor*>(tree->itemWidget(item("U1"), 1));
        ASSERT_NE(editor, nullptr);
        QTest::keyClick(editor->slider(), key);
        // Return closes through a queued call.
        QCoreApplication::processEvents();
        EXPECT_EQ(tree->itemWidget(item("U1"), 1), editor);
        EXPECT_EQ(row("U1").limitEditor, editor);
        EXPECT_FALSE(GenApi::IsWritable(mode)) << "still locked";
        editor->slider()->setValue(++megabytes);
        EXPECT_EQ(integer("U1", "DeviceLinkThroughputLimit")->GetValue(), megabytes * 1000000LL);
        tree->closePersistentEditor(item("U1"), 1);
        EXPECT_TRUE(GenApi::IsWritable(mode)) << "the tree's close lets go";
        tree->DisableCamera(rowOf("U1"));
    }
}

TEST_F(BandwidthTreeWidgetTest, RowsWithoutCameraGetTheDefaultEditors)
{
    BandwidthItemDelegate limits;
    BandwidthCameraConfigItemDelegate configs;
    QWidget parent;
    const QModelIndex index = indexOf(item("U1"), 1);
    std::unique_ptr<QWidget> limitEditor(limits.createEditor(&parent, QStyleOptionViewItem(), index));
    std::unique_ptr<QWidget> configEditor(
        configs.createEditor(&parent, QStyleOptionViewItem(), index.sibling(index.row(), 2)));
    EXPECT_EQ(qobject_cast<ComboSlider*>(limitEditor.get()), nullptr);
    EXPECT_EQ(qobject_cast<CameraConfigurationEditor*>(configEditor.get()), nullptr);
    EXPECT_EQ(row("U1").limitEditor, nullptr) << "a default editor is no limit editor";

    CameraConfigurationEditor invalid(nullptr, nullptr, 0, false, false);
    EXPECT_EQ(invalid.text(), QStringLiteral("Invalid!"));
    invalid.click();
    EXPECT_EQ(invalid.dialog(), nullptr);
}

TEST_F(BandwidthTreeWidgetTest, EditingTheEmptyBandwidthCellOfASwitchedOffCameraLeavesNoStaleLimitEditor)
{
    // The view opens Qt's default editor there and frees it when the edit ends; the optimisation, which
    // hands the row's limit editor its share, must not find it afterwards.
    const QModelIndex index = indexOf(item("G1"), 1);
    tree->edit(index);
    QPointer<QWidget> editor = tree->indexWidget(index);
    ASSERT_FALSE(editor.isNull());
    EXPECT_EQ(row("G1").limitEditor, nullptr);
    auto* delegate = qobject_cast<BandwidthItemDelegate*>(tree->itemDelegateForColumn(1));
    ASSERT_NE(delegate, nullptr);
    delegate->emitCloseEditor(editor, QAbstractItemDelegate::RevertModelCache);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(editor.isNull());

    tree->OptimizeAllGigE();
    ASSERT_NE(camera("G1"), nullptr);
    auto* limit = qobject_cast<BandwidthLimiterInterPacketDelay*>(row("G1").limitEditor);
    ASSERT_NE(limit, nullptr);
    EXPECT_EQ(limit->value(), 37);
}

// Runs `step` once the configuration dialog of the button is open (the modal run blocks the test).
void whenDialogOpens(CameraConfigurationEditor* button, std::function<void(BandwidthCameraConfigureDialog*)> step)
{
    auto* timer = new QTimer(button);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, button, step] {
        if (!button->dialog() || !button->dialog()->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        step(button->dialog());
    });
    timer->start();
}

TEST_F(BandwidthTreeWidgetTest, ConfigurationDialogChangesAFeatureAndTheRowKeepsItsState)
{
    // The tree sits in a dialog, as in the program; the fixture keeps owning it.
    QDialog host;
    tree->setParent(&host);
    const std::shared_ptr<void> unparent(nullptr, [this](void*) { tree->setParent(nullptr); });
    ASSERT_TRUE(tree->EnableCamera(rowOf("U1")));
    auto* button = qobject_cast<CameraConfigurationEditor*>(tree->itemWidget(item("U1"), 2));
    ASSERT_NE(button, nullptr);
    GenApi::CIntegerPtr width = integer("U1", "Width");
    const int64_t newWidth = width->GetValue() - width->GetInc() * 4;

    bool seen = false;
    QPoint closedAt;
    whenDialogOpens(button, [&](BandwidthCameraConfigureDialog* dialog) {
        seen = true;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Features ") + item("U1")->text(0));
        EXPECT_EQ(dialog->objectName(), QStringLiteral("BandwidthConfigurationDialog"));
        // Change a feature through the dialog's tree.
        QAbstractItemModel* model = dialog->featureTree()->treeView()->model();
        const QModelIndex value = featuretreetest::findNode(*model, QStringLiteral("Width"), 1);
        EXPECT_TRUE(value.isValid());
        EXPECT_TRUE(model->setData(value, QVariant::fromValue<qint64>(newWidth)));
        dialog->featureTree()->setPolling(true);
        dialog->featureTree()->setVisibility(GenApi::Guru);
        dialog->featureTree()->setViewAllFavorites(true);
        dialog->move(dialog->pos() + QPoint(13, 7));
        closedAt = dialog->pos() - host.pos();
        // The focus change's close is ignored once; the next close request closes the dialog.
        button->onEditorClosed();
        EXPECT_TRUE(dialog->isVisible());
        button->onEditorClosed();
    });
    button->click();
    ASSERT_TRUE(seen);
    EXPECT_EQ(button->dialog(), nullptr);
    EXPECT_EQ(width->GetValue(), newWidth);
    // The row and every other camera row keep the dialog's last state for the next editor.
    for (const char* serial : {"U1", "G1"}) {
        SCOPED_TRACE(serial);
        EXPECT_TRUE(item(serial)->data(2, BandwidthTreeWidget::PollingRole).toBool());
        EXPECT_EQ(item(serial)->data(2, BandwidthTreeWidget::VisibilityRole).toInt(), int(GenApi::Guru));
        EXPECT_TRUE(item(serial)->data(2, BandwidthTreeWidget::ViewAllFavoritesRole).toBool());
    }
    EXPECT_TRUE(tree->getPollingActive());

    // Reopened, the dialog shows the kept state, where it was closed relative to the enclosing dialog,
    // which has moved meanwhile.
    host.move(host.pos() + QPoint(40, 30));
    bool reopened = false;
    whenDialogOpens(button, [&](BandwidthCameraConfigureDialog* dialog) {
        reopened = true;
        EXPECT_TRUE(dialog->polling());
        EXPECT_EQ(dialog->visibility(), int(GenApi::Guru));
        EXPECT_TRUE(dialog->viewAllFavorites());
        EXPECT_EQ(dialog->pos() - host.pos(), closedAt);
        dialog->close();
    });
    button->click();
    EXPECT_TRUE(reopened);
    QSettings settings;
    EXPECT_TRUE(settings.childGroups().contains(QStringLiteral("BandwidthCameraConfigureDialog")));
}

TEST_F(BandwidthTreeWidgetTest, SwitchingTheCameraOffWhileItsDialogIsOpen)
{
    ASSERT_TRUE(tree->EnableCamera(rowOf("G1")));
    QPointer<CameraConfigurationEditor> button =
        qobject_cast<CameraConfigurationEditor*>(tree->itemWidget(item("G1"), 2));
    ASSERT_NE(button, nullptr);
    whenDialogOpens(button, [&](BandwidthCameraConfigureDialog*) { tree->DisableCamera(rowOf("G1")); });
    button->click(); // returns once the dialog is gone, before the camera goes
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(button.isNull());
    EXPECT_EQ(camera("G1"), nullptr);
}

TEST_F(BandwidthTreeWidgetTest, SwitchingOffClosesTheLimitEditorOfARowThatIsNotEditable)
{
    // A running camera of another device class has a row that is not editable, and a refresh gives it
    // a limit editor all the same: switching it off must close that editor, not leave it over the
    // camera that goes.
    ASSERT_TRUE(tree->EnableCamera(rowOf("U1")));
    ASSERT_NE(tree->itemWidget(item("U1"), 1), nullptr);
    item("U1")->setFlags(item("U1")->flags() & ~Qt::ItemIsEditable);
    tree->DisableCamera(rowOf("U1"));
    EXPECT_EQ(tree->itemWidget(item("U1"), 1), nullptr);
    EXPECT_EQ(row("U1").limitEditor, nullptr);
}

TEST_F(BandwidthTreeWidgetTest, LayoutRestoredAgainKeepsTheDialogStateReachingTheRow)
{
    // The host may restore the layout more than once; the editors already open keep working with the
    // tree, so the dialog's last state still reaches the row.
    ASSERT_TRUE(tree->EnableCamera(rowOf("U1")));
    tree->restoreLayout(nullptr);
    auto* button = qobject_cast<CameraConfigurationEditor*>(tree->itemWidget(item("U1"), 2));
    ASSERT_NE(button, nullptr);
    whenDialogOpens(button, [](BandwidthCameraConfigureDialog* dialog) {
        dialog->featureTree()->setPolling(true);
        dialog->close();
    });
    button->click();
    EXPECT_TRUE(item("U1")->data(2, BandwidthTreeWidget::PollingRole).toBool());
    EXPECT_TRUE(tree->getPollingActive());
    // A camera switched on after the second restore gets working editors as well.
    ASSERT_TRUE(tree->EnableCamera(rowOf("G1")));
    EXPECT_NE(qobject_cast<BandwidthLimiterInterPacketDelay*>(tree->itemWidget(item("G1"), 1)), nullptr);
    EXPECT_NE(qobject_cast<CameraConfigurationEditor*>(tree->itemWidget(item("G1"), 2)), nullptr);
}

TEST_F(BandwidthTreeWidgetTest, PreopenedDeviceIsMeasuredAndStaysWithTheHost)
{
    // The host gives its open device back either by telling the tree, or by the device being
    // unplugged, which the next refresh notices; the device stays open and the host's in both.
    for (const bool unplugged : {false, true}) {
        SCOPED_TRACE(unplugged ? "unplugged" : "given back");
        ASSERT_TRUE(Emulation::Configure("gige:gxGige1280c:G1;usb:vxUsb1920m:U1;usb:qvUsb1920c:U2"));
        INimboDevice* device = CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("U2"));
        device->Open(AccessModeSet(Control) | Stream | Event);
        const QVector<INimboDevice*> devices{device};
        EXPECT_TRUE(tree->setPreopenedDevices(&devices));
        tree->refreshTree();
        EXPECT_EQ(row("U2").preopenedDevice, device);
        EXPECT_EQ(row("U1").preopenedDevice, nullptr);

        ASSERT_TRUE(tree->EnableCamera(rowOf("U2")));
        EXPECT_EQ(camera("U2")->GetDevice(), device);
        tree->DisableCamera(rowOf("U2"));
        EXPECT_TRUE(device->IsOpen()) << "switching off leaves the host's device open";
        ASSERT_TRUE(tree->EnableCamera(rowOf("U2")));
        const QString id = row("U2").id;

        if (unplugged) {
            ASSERT_TRUE(Emulation::Unplug("U2"));
            Emulation::WaitForEvents();
            ASSERT_TRUE(sampleUntil([&] { return row("U2").sample.deviceRemoved; }));
            tree->refreshTree();
            EXPECT_EQ(rowOf("U2"), 0u);
        } else {
            tree->RemoveExternallyManagedNimboDevice(QStringLiteral("no such row"));
            EXPECT_NE(camera("U2"), nullptr);
            tree->RemoveExternallyManagedNimboDevice(id);
            EXPECT_EQ(camera("U2"), nullptr);
            EXPECT_EQ(row("U2").preopenedDevice, nullptr);
            EXPECT_EQ(item("U2")->checkState(0), Qt::Unchecked);
            EXPECT_TRUE(device->IsOpen());
            tree->refreshTree();
            EXPECT_EQ(row("U2").preopenedDevice, nullptr) << "no longer the tree's to use";
        }
        EXPECT_EQ(tree->countEnabledCameras(), 0);
        CTlFactory::GetInstance().DestroyDevice(device);
    }
    EXPECT_TRUE(tree->setPreopenedDevices(nullptr));
}

TEST_F(BandwidthTreeWidgetTest, CameraWithBothLimitFeaturesGetsTheUsbEditor)
{
    // The host's device for U1 carries an inter-packet delay as well, writable like its throughput limit.
    const std::string delay = testsupport::describeNodes(
        "<Integer Name=\"GevSCPD\"><Value>0</Value><Min>0</Min><Max>50000</Max></Integer>", "Delay");
    INimboDevice* device = CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("U1"), {delay.c_str()});
    device->Open(AccessModeSet(Control) | Stream | Event);
    const QVector<INimboDevice*> devices{device};
    tree->setPreopenedDevices(&devices);
    tree->refreshTree();
    ASSERT_TRUE(tree->EnableCamera(rowOf("U1")));
    ASSERT_TRUE(GenApi::IsWritable(integer("U1", "GevSCPD")));
    ASSERT_TRUE(GenApi::IsWritable(integer("U1", "DeviceLinkThroughputLimit")));
    EXPECT_NE(qobject_cast<DeviceLinkThroughputLimitEditor*>(tree->itemWidget(item("U1"), 1)), nullptr);
    tree->DisableCamera(rowOf("U1"));
    CTlFactory::GetInstance().DestroyDevice(device);
}

TEST_F(BandwidthTreeWidgetTest, CameraInUseElsewhereShowsAndReportsTheError)
{
    ASSERT_TRUE(Emulation::SetInUseElsewhere("U2", true));
    QSignalSpy errors(tree.get(), &BandwidthTreeWidget::errorOccurred);
    EXPECT_FALSE(tree->EnableCamera(rowOf("U2")));
    EXPECT_EQ(item("U2")->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(item("U2")->icon(0).isNull());
    EXPECT_TRUE(item("U2")->toolTip(0).startsWith(QStringLiteral("Error accessing camera! (")));
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).toString(), item("U2")->text(0));
    // A slot never lets an exception out: an adapter that does not exist is reported.
    ASSERT_TRUE(
        QMetaObject::invokeMethod(tree.get(), "optimizeGigEAdapter", Q_ARG(FlatTreeItemID, 9999), Q_ARG(bool, false)));
    EXPECT_EQ(errors.count(), 2);
    // Once it can be switched on, the host's tool tip replaces the error.
    tree->setEnabledToolTip(QStringLiteral("Measured since the last refresh"));
    ASSERT_TRUE(Emulation::SetInUseElsewhere("U2", false));
    EXPECT_TRUE(tree->EnableCamera(rowOf("U2")));
    EXPECT_TRUE(item("U2")->icon(0).isNull());
    EXPECT_EQ(item("U2")->toolTip(0), QStringLiteral("Measured since the last refresh"));
}

// A measurement that cannot start shows as the failure it is, and the host grabbing from its own device
// keeps its frames.
TEST_F(BandwidthTreeWidgetTest, CameraWhoseGrabCannotStartShowsAndReportsTheFailure)
{
    INimboDevice* device = CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("U2"));
    device->Open(AccessModeSet(Control) | Stream | Event);
    testsupport::smallFrames(*device->GetNodeMap());
    {
        testsupport::HostGrab host(device);
        const QVector<INimboDevice*> devices{device};
        tree->setPreopenedDevices(&devices);
        tree->refreshTree();
        tree->StartMeasuring();
        QSignalSpy errors(tree.get(), &BandwidthTreeWidget::errorOccurred);
        item("U2")->setCheckState(0, Qt::Checked); // the user's click; the host answers
        EXPECT_FALSE(tree->EnableCamera(rowOf("U2")));
        EXPECT_EQ(item("U2")->checkState(0), Qt::Unchecked);
        EXPECT_FALSE(item("U2")->icon(0).isNull());
        EXPECT_TRUE(item("U2")->toolTip(0).startsWith(QStringLiteral("Error accessing camera! (Could not start grab.")))
            << item("U2")->toolTip(0).toStdString();
        ASSERT_EQ(errors.count(), 1);
        EXPECT_EQ(errors.at(0).at(1).toString(), item("U2")->toolTip(0));
        EXPECT_EQ(camera("U2"), nullptr);
        EXPECT_EQ(tree->countEnabledCameras(), 0);
        EXPECT_TRUE(host.nextFrame()) << "the host still gets frames";
        tree->StopMeasuring();
        tree->setPreopenedDevices(nullptr);
        tree->refreshTree();
    }
    CTlFactory::GetInstance().DestroyDevice(device);
}

// A camera switched on before the measurement whose grab then cannot start: asked to switch it on again,
// the tree shows the failure on a row that is off as a whole (no camera, no editors holding the host's
// device), so that the next click on the box asks the host again.
TEST_F(BandwidthTreeWidgetTest, CameraSwitchedOnEarlierWhoseGrabCannotStartIsSwitchedOffWhole)
{
    INimboDevice* device = CTlFactory::GetInstance().CreateDevice(testsupport::emulatedCamera("U2"));
    device->Open(AccessModeSet(Control) | Stream | Event);
    testsupport::smallFrames(*device->GetNodeMap());
    const QVector<INimboDevice*> devices{device};
    tree->setPreopenedDevices(&devices);
    tree->refreshTree();
    ASSERT_TRUE(tree->EnableCamera(rowOf("U2")));
    GenApi::CEnumerationPtr mode(device->GetNodeMap()->GetNode("DeviceLinkThroughputLimitMode"));
    ASSERT_FALSE(GenApi::IsWritable(mode)) << "the limit editor holds it";
    {
        testsupport::HostGrab host(device);
        tree->StartMeasuring();
        ASSERT_FALSE(row("U2").camera->isMeasuringGrab());
        QSignalSpy errors(tree.get(), &BandwidthTreeWidget::errorOccurred);
        EXPECT_FALSE(tree->EnableCamera(rowOf("U2")));
        EXPECT_EQ(errors.count(), 1);
        EXPECT_EQ(item("U2")->checkState(0), Qt::Unchecked);
        EXPECT_TRUE(item("U2")->toolTip(0).contains(QStringLiteral("in use elsewhere")));
        EXPECT_EQ(camera("U2"), nullptr);
        EXPECT_EQ(tree->countEnabledCameras(), 0);
        EXPECT_EQ(tree->itemWidget(item("U2"), 1), nullptr);
        EXPECT_EQ(tree->itemWidget(item("U2"), 2), nullptr);
        EXPECT_EQ(row("U2").limitEditor, nullptr);
        EXPECT_TRUE(GenApi::IsWritable(mode)) << "the host's device is free again";
        EXPECT_FALSE(item("U2")->font(0).bold());
        QSignalSpy checked(tree.get(), &BandwidthTreeWidget::cameraChecked);
        item("U2")->setCheckState(0, Qt::Checked);
        EXPECT_EQ(checked.count(), 1) << "the click asks the host";
        EXPECT_TRUE(host.nextFrame()) << "the host still gets frames";
        tree->StopMeasuring();
    }
    tree->setPreopenedDevices(nullptr);
    tree->refreshTree();
    CTlFactory::GetInstance().DestroyDevice(device);
}

// The optimisation reports a camera that cannot be switched on while it runs; the host's answer may take
// other cameras of the adapter away (switched off, or unplugged and refreshed out of the tree) before
// their turn comes. The run goes on with the cameras as they are then.
TEST_F(BandwidthTreeWidgetTest, ReceiverOfAnOptimisationErrorTakesTheNextCamerasAway)
{
    enum Answer { SwitchOff, UnplugAndRefresh };
    for (const Answer answer : {SwitchOff, UnplugAndRefresh}) {
        SCOPED_TRACE(answer == SwitchOff ? "switched off" : "unplugged and refreshed");
        ASSERT_TRUE(tree->EnableCamera(rowOf("G2")));
        ASSERT_TRUE(tree->EnableCamera(rowOf("G3")));
        ASSERT_TRUE(Emulation::SetInUseElsewhere("G1", true));
        const QString g3 = row("G3").id;
        int errors = 0;
        const QMetaObject::Connection answering =
            QObject::connect(tree.get(), &BandwidthTreeWidget::errorOccurred, [&] {
                if (errors++ > 0)
                    return;
                if (answer == SwitchOff) {
                    tree->DisableCamera(g3);
                } else {
                    ASSERT_TRUE(Emulation::Unplug("G3"));
                    Emulation::WaitForEvents();
                    tree->refreshTree();
                }
            });
        tree->OptimizeAllGigE();
        QObject::disconnect(answering);
        EXPECT_GE(errors, 1);
        ASSERT_NE(camera("G2"), nullptr);
        EXPECT_EQ(integer("G2", "GevSCFTD")->GetValue(), 1518) << "the second slot";
        ASSERT_TRUE(Emulation::SetInUseElsewhere("G1", false));
        if (answer == UnplugAndRefresh) {
            EXPECT_EQ(rowOf("G3"), 0u);
            ASSERT_TRUE(Emulation::Replug("G3"));
            Emulation::WaitForEvents();
        }
        for (size_t id : tree->enabledCameras())
            tree->DisableCamera(id);
        tree->refreshTree();
        ASSERT_NE(rowOf("G3"), 0u);
    }
}

TEST_F(BandwidthTreeWidgetTest, LayoutAndConfigurationRolesPersist)
{
    tree->header()->resizeSection(0, 333);
    QSettings settings;
    settings.beginGroup(QStringLiteral("BandwidthTreeLayout"));
    ASSERT_TRUE(tree->saveLayout(&settings));
    BandwidthTreeWidget other;
    EXPECT_TRUE(other.restoreLayout(&settings));
    EXPECT_EQ(other.header()->sectionSize(0), 333);
    settings.endGroup();

    tree->setGenicamVisibility(2);
    tree->setViewAllFavoritesActive(true);
    EXPECT_EQ(item("G3")->data(2, BandwidthTreeWidget::VisibilityRole).toInt(), 2);
    EXPECT_TRUE(item("U2")->data(2, BandwidthTreeWidget::ViewAllFavoritesRole).toBool());
    // A delegate writing a row's roles sets them for all rows.
    item("U1")->setData(2, BandwidthTreeWidget::VisibilityRole, 1);
    EXPECT_EQ(tree->getGenicamVisibility(), 1);
    EXPECT_EQ(item("G3")->data(2, BandwidthTreeWidget::VisibilityRole).toInt(), 1);
}

} // namespace
