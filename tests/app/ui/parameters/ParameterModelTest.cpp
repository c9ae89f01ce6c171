// The parameter models and the node parameter manager against small node maps, through the mapping layer.
#include "BooleanParameterModel.h"
#include "DoubleParameterModel.h"
#include "NodeParameterManager.h"
#include "ParameterTestNodeMaps.h"
#include "TestSlider.h"

#include <testsupport/FloatBoxSessions.h>
#include <testsupport/LingeringThread.h>
#include <testsupport/LogCapture.h>
#include <testsupport/NodeMaps.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <thread>

using namespace GenApi;
using namespace parametertest;

namespace {
const char* const kNodes = R"(
  <Float Name="Gain"><Value>10</Value><Min>0</Min><pMax>GainMax</pMax><DisplayPrecision>2</DisplayPrecision>
    <pIsLocked>GainLock</pIsLocked><pAlias>GainRaw</pAlias></Float>
  <Integer Name="GainMax"><Value>20</Value></Integer>
  <Integer Name="GainLock"><Value>0</Value></Integer>
  <Integer Name="GainRaw"><Value>100</Value><Min>0</Min><Max>200</Max><Inc>2</Inc></Integer>
  <Float Name="NoAlias"><Value>1</Value><Min>0</Min><Max>2</Max></Float>
  <Float Name="FloatAlias"><Value>1</Value><Min>0</Min><Max>2</Max><pAlias>Gain</pAlias></Float>
  <Float Name="Wide"><Value>1</Value><Min>0</Min><Max>2</Max><DisplayPrecision>4294967296</DisplayPrecision>
    <pAlias>GainRaw</pAlias></Float>
  <Integer Name="Flag"><Value>1</Value></Integer>
  <Boolean Name="ReverseX"><pValue>Flag</pValue><OnValue>1</OnValue><OffValue>0</OffValue></Boolean>
)";

// A manager over a fresh node map, with one slider model on "Gain" (reached by its alternate name)
// and one check box on "GainAuto" (through the boolean wrapper).
class ParameterModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        map = load(std::string(kNodes) + autoEnumeration("GainAuto", "2"));
        gain = new DoubleParameterModel(&slider, "NoSuchGain", "Gain");
        gain->setCompanionWidget(&companion);
        autoGain = new BooleanParameterModel(&checkBox, "GainAuto", "");
        manager.addModel(gain);
        manager.addModel(autoGain);
    }
    void TearDown() override
    {
        manager.clearItems();
        map.reset();
    }
    CFloatPtr node(const char* name) { return map->GetNode(name); }
    CIntegerPtr integer(const char* name) { return map->GetNode(name); }

    NodeMapPtr map;
    TestSlider slider;
    QWidget companion;
    QCheckBox checkBox;
    NodeParameterManager manager;
    DoubleParameterModel* gain = nullptr;
    BooleanParameterModel* autoGain = nullptr;
};

// Binds a slider row to the feature and gives its edit box the focus in an active window, as a click does.
void bindAndFocus(FlatDoubleComboSlider& slider, NodeParameterManager& manager, GenApi::INodeMap* map,
                  const char* feature)
{
    manager.addModel(new DoubleParameterModel(&slider, feature, ""));
    manager.setNodeMap(map);
    ASSERT_TRUE(slider.isEnabled());
    slider.show();
    slider.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&slider));
    slider.editBox()->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return slider.editBox()->hasFocus() && slider.hasFocus(); }, 5000));
}
} // namespace

TEST_F(ParameterModelTest, modelsStartDisabledAndBindByNameOrAlternateName)
{
    EXPECT_FALSE(slider.isEnabled());
    EXPECT_FALSE(companion.isEnabled());
    EXPECT_FALSE(checkBox.isEnabled());
    QCheckBox unusedBox;
    auto* unbound = new BooleanParameterModel(&unusedBox, "Nothing", "AlsoNothing");
    manager.addModel(unbound);

    manager.setNodeMap(map.get());
    ASSERT_NE(manager.nodeMap(), nullptr);
    EXPECT_NE(manager.nodeMap(), map.get());
    EXPECT_EQ(gain->node()->GetName(), "Gain");
    EXPECT_TRUE(slider.isEnabled());
    EXPECT_TRUE(companion.isEnabled());
    EXPECT_DOUBLE_EQ(slider.value(), 10.0);
    EXPECT_DOUBLE_EQ(slider.minimum(), 0.0);
    EXPECT_DOUBLE_EQ(slider.maximum(), 20.0);
    EXPECT_EQ(slider.decimals(), 2);
    EXPECT_EQ(slider.intMinimum(), 0);
    EXPECT_EQ(slider.intMaximum(), 200);
    EXPECT_EQ(slider.intIncrement(), 2);
    EXPECT_EQ(slider.intValue(), 100);
    EXPECT_FALSE(gain->value().isValid());

    EXPECT_TRUE(checkBox.isEnabled());
    EXPECT_TRUE(checkBox.isChecked());
    EXPECT_EQ(autoGain->value().toString(), "1");
    EXPECT_EQ(autoGain->node(), manager.nodeMap()->GetNode("GainAuto"));

    EXPECT_EQ(unbound->node(), nullptr);
    EXPECT_FALSE(unusedBox.isEnabled());
    EXPECT_EQ(unbound->value().toString(), "0");

    // A second node map while one is bound changes nothing.
    NodeMapPtr other = load(kNodes);
    GenApi::INodeMap* layer = manager.nodeMap();
    manager.setNodeMap(other.get());
    EXPECT_EQ(manager.nodeMap(), layer);
}

TEST_F(ParameterModelTest, floatWithoutIntegerAliasNeverBinds)
{
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {{"NoAlias", "Could not retrieve an alias node on pNode"},
                 {"FloatAlias", "Dynamic cast on the alias node has gone wrong!"}};
    for (const auto& c : cases) {
        TestSlider other;
        DoubleParameterModel model(&other, c.name, "");
        testsupport::LogCapture log;
        model.setNodeData(map->GetNode(c.name));
        EXPECT_TRUE(log.contains(std::string(c.name) + ": Failed to update the float value editor comboBox!"))
            << c.name;
        EXPECT_TRUE(log.contains("DoubleParameterModel::setNodeData: ")) << c.name;
        EXPECT_TRUE(log.contains(c.reason)) << c.name;
        EXPECT_FALSE(other.isEnabled()) << c.name;
        EXPECT_EQ(model.node(), nullptr) << c.name;
        // A later try fails the same way instead of using a half binding.
        log.clear();
        model.setNodeData(map->GetNode(c.name));
        EXPECT_TRUE(log.contains(c.reason)) << c.name;
    }
    TestSlider other;
    DoubleParameterModel model(&other, "ReverseX", "");
    testsupport::LogCapture log;
    model.setNodeData(map->GetNode("ReverseX"));
    EXPECT_TRUE(log.contains("DoubleParameterModel::setNodeData is called with non-float node?"));
}

TEST_F(ParameterModelTest, rangeChangeThatLeavesTheValueOutsideWritesTheLimitOnceAndReportsNothing)
{
    manager.setNodeMap(map.get());
    QSignalSpy updates(gain, &BaseParameterModel::modelUpdated);
    int writes = 0;
    struct Spy {
        int* writes;
        void onChange(INode*) { ++*writes; }
    } spy{&writes};
    Register(map->GetNode("Gain"), spy, &Spy::onChange);

    integer("GainMax")->SetValue(5);
    EXPECT_DOUBLE_EQ(node("Gain")->GetValue(), 5.0);
    EXPECT_EQ(updates.count(), 0);
    // One callback for the range change, one for the correcting write, none for a second correction.
    EXPECT_EQ(writes, 2);

    // An ordinary change is reported and reaches the control through the manager.
    node("Gain")->SetValue(3.5);
    EXPECT_EQ(updates.count(), 1);
    EXPECT_DOUBLE_EQ(slider.value(), 3.5);
    EXPECT_DOUBLE_EQ(slider.maximum(), 5.0);
}

TEST_F(ParameterModelTest, readOnlyNodeShowsItsValueDisabledAndEnablesWhenWritable)
{
    integer("GainLock")->SetValue(1);
    manager.setNodeMap(map.get());
    EXPECT_FALSE(slider.isEnabled());
    EXPECT_FALSE(companion.isEnabled());
    EXPECT_DOUBLE_EQ(slider.value(), 10.0);

    integer("GainLock")->SetValue(0);
    EXPECT_TRUE(slider.isEnabled());
    EXPECT_TRUE(companion.isEnabled());
    integer("GainLock")->SetValue(1);
    EXPECT_FALSE(slider.isEnabled());
    EXPECT_FALSE(companion.isEnabled());
}

TEST_F(ParameterModelTest, typedValueIsNotOverwrittenWhileTheEditBoxHasTheFocus)
{
    manager.setNodeMap(map.get());
    slider.onSpinBoxFocusEventTriggered(true);
    node("Gain")->SetValue(12.0);
    EXPECT_DOUBLE_EQ(slider.value(), 10.0);
    // The model's own write (update expected) comes through once.
    slider.enableUpdate(true);
    node("Gain")->SetValue(13.0);
    EXPECT_DOUBLE_EQ(slider.value(), 13.0);
    node("Gain")->SetValue(14.0);
    EXPECT_DOUBLE_EQ(slider.value(), 13.0);
    slider.onSpinBoxFocusEventTriggered(false);
    node("Gain")->SetValue(15.0);
    EXPECT_DOUBLE_EQ(slider.value(), 15.0);
}

TEST_F(ParameterModelTest, userEditsWriteTheNodes)
{
    manager.setNodeMap(map.get());
    // Slider moves are aligned on the alias increment before they are written.
    slider.slider()->setValue(51);
    EXPECT_EQ(integer("GainRaw")->GetValue(), 50);
    EXPECT_EQ(slider.intValue(), 50);

    typeAndEnter(slider.editBox(), "15.5");
    EXPECT_DOUBLE_EQ(node("Gain")->GetValue(), 15.5);

    // The check box writes "Off" and "Continuous" through the boolean wrapper.
    CEnumerationPtr gainAuto = map->GetNode("GainAuto");
    checkBox.setChecked(false);
    EXPECT_EQ(gainAuto->ToString(), "Off");
    checkBox.setChecked(true);
    EXPECT_EQ(gainAuto->ToString(), "Continuous");
}

TEST_F(ParameterModelTest, checkBoxRefreshNeverWritesBack)
{
    CEnumerationPtr(map->GetNode("GainAuto"))->FromString("Once");
    manager.setNodeMap(map.get());
    EXPECT_TRUE(checkBox.isChecked());
    EXPECT_EQ(CEnumerationPtr(map->GetNode("GainAuto"))->ToString(), "Once");

    QCheckBox box;
    BooleanParameterModel reverse(&box, "ReverseX", "");
    reverse.setNodeData(map->GetNode("ReverseX"));
    EXPECT_TRUE(box.isChecked());
    EXPECT_TRUE(box.isEnabled());
    box.setChecked(false);
    EXPECT_EQ(integer("Flag")->GetValue(), 0);
}

TEST_F(ParameterModelTest, aliasChangedInAnotherThreadReachesTheSliderOnTheGuiThread)
{
    manager.setNodeMap(map.get());
    std::thread writer([this] { integer("GainRaw")->SetValue(40); });
    writer.join();
    EXPECT_EQ(slider.intValue(), 100);
    QTRY_COMPARE_WITH_TIMEOUT(slider.intValue(), 40, 5000);
    EXPECT_EQ(integer("GainRaw")->GetValue(), 40);
    // Also from a thread that lives on, as the camera's do: only the queued notice hands the change over.
    testsupport::LingeringThread camera([this] { integer("GainRaw")->SetValue(60); });
    QTRY_COMPARE_WITH_TIMEOUT(slider.intValue(), 60, 60000);
}

// The edit box shows the camera's value rounded to its decimals; leaving it writes only what the user typed,
// never the rounded value back (nor the value shown before the camera changed it while the box had the focus).
TEST(DoubleParameterModelTest, theEditBoxCommitsOnlyWhatTheUserTyped)
{
    NodeMapPtr map = load(R"(
      <Float Name="Gain"><Value>1.257</Value><Min>0</Min><Max>20</Max><DisplayPrecision>2</DisplayPrecision>
        <pAlias>GainRaw</pAlias></Float>
      <Integer Name="GainRaw"><Value>126</Value><Min>0</Min><Max>2000</Max><Inc>1</Inc></Integer>)");
    // The row and a neighbour to move the focus to, in a window of their own.
    QWidget window;
    auto* slider = new TestSlider;
    auto* neighbour = new QLineEdit;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(slider);
    layout->addWidget(neighbour);
    NodeParameterManager manager;
    manager.addModel(new DoubleParameterModel(slider, "Gain", ""));
    manager.setNodeMap(map.get());
    ASSERT_TRUE(slider->isEnabled());
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    NimboQtDoubleSpinBox* box = slider->editBox();
    CFloatPtr gain = map->GetNode("Gain");
    const auto focus = [&](QEvent::Type type) {
        // The tab reason selects the box's whole text, as tabbing into it does.
        (type == QEvent::FocusIn ? static_cast<QWidget*>(box) : neighbour)->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(box->hasFocus(), type == QEvent::FocusIn);
    };
    for (const auto& session : testsupport::floatBoxSessions(box, [&](double v) { gain->SetValue(v); })) {
        gain->SetValue(1.257); // shown through the node's callback while the box has no focus
        ASSERT_EQ(box->text().toStdString(), "1.26") << session.what;
        focus(QEvent::FocusIn);
        session.inside();
        focus(QEvent::FocusOut);
        EXPECT_DOUBLE_EQ(gain->GetValue(), session.value) << session.what;
        // Once left, the box shows what the camera holds.
        EXPECT_EQ(box->text().toStdString(), box->textFromValue(session.value).toStdString()) << session.what;
    }
    manager.clearItems();
}

TEST(DoubleParameterModelTest, aValueOutsideItsRangeIsRefusedWithTheReason)
{
    const NodeMapPtr map = load(R"(
      <Float Name="Outside"><Value>5</Value><Min>0</Min><Max>2</Max><pAlias>OutsideRaw</pAlias></Float>
      <Integer Name="OutsideRaw"><Value>1</Value><Min>0</Min><Max>2</Max><Inc>1</Inc></Integer>)");
    TestSlider slider;
    DoubleParameterModel model(&slider, "Outside", "");
    testsupport::LogCapture log;
    model.setNodeData(map->GetNode("Outside"));
    EXPECT_TRUE(log.contains("Outside: Failed to update the float value editor comboBox!"));
    EXPECT_TRUE(log.contains("The minimum allowed value is larger than the to be set node value"));
    EXPECT_FALSE(slider.isEnabled());
}

// A feature that becomes unavailable (another mode of the camera takes it away) can be neither shown nor
// set: its row is disabled, as the row of a feature the camera lacks, until it is available again.
TEST(ParameterModelsTest, aRowWhoseFeatureBecomesUnavailableIsDisabledUntilItComesBack)
{
    const NodeMapPtr map = load(R"(
      <Float Name="ExposureTime"><Value>100</Value><Min>20</Min><Max>1000</Max><pIsAvailable>Available</pIsAvailable>
        <pAlias>ExposureTimeRaw</pAlias></Float>
      <Integer Name="ExposureTimeRaw"><Value>100</Value><Min>20</Min><Max>1000</Max><Inc>1</Inc>
        <pIsAvailable>Available</pIsAvailable></Integer>
      <Integer Name="Flag"><Value>1</Value></Integer>
      <Boolean Name="ReverseX"><pValue>Flag</pValue><OnValue>1</OnValue><OffValue>0</OffValue>
        <pIsAvailable>Available</pIsAvailable></Boolean>
      <Integer Name="Available"><Value>1</Value></Integer>)");
    TestSlider linear;
    FlatDoubleComboSlider logarithmic(nullptr, 1);
    QCheckBox box;
    QWidget linearLabel;
    QWidget logarithmicLabel;
    QWidget boxLabel;
    NodeParameterManager manager;
    auto* linearModel = new DoubleParameterModel(&linear, "ExposureTime", "");
    auto* logarithmicModel = new DoubleParameterModel(&logarithmic, "ExposureTime", "");
    auto* boxModel = new BooleanParameterModel(&box, "ReverseX", "");
    linearModel->setCompanionWidget(&linearLabel);
    logarithmicModel->setCompanionWidget(&logarithmicLabel);
    boxModel->setCompanionWidget(&boxLabel);
    for (BaseParameterModel* model :
         std::initializer_list<BaseParameterModel*>{linearModel, logarithmicModel, boxModel})
        manager.addModel(model);
    manager.setNodeMap(map.get());
    const struct {
        const char* what;
        QWidget* control;
        QWidget* companion;
    } rows[] = {{"linear slider", &linear, &linearLabel},
                {"logarithmic slider", &logarithmic, &logarithmicLabel},
                {"check box", &box, &boxLabel}};
    for (const auto& row : rows)
        ASSERT_TRUE(row.control->isEnabled() && row.companion->isEnabled()) << row.what;

    CIntegerPtr available = map->GetNode("Available");
    available->SetValue(0);
    for (const auto& row : rows) {
        EXPECT_FALSE(row.control->isEnabled()) << row.what;
        EXPECT_FALSE(row.companion->isEnabled()) << row.what;
    }
    available->SetValue(1);
    for (const auto& row : rows) {
        EXPECT_TRUE(row.control->isEnabled()) << row.what;
        EXPECT_TRUE(row.companion->isEnabled()) << row.what;
    }
    manager.clearItems();
}

// A camera that refuses every write without changing an access mode: each control's write is warned about
// with the node's name, and the camera keeps its values.
TEST(ParameterModelsTest, refusedWritesAreWarnedAboutWithTheNodesName)
{
    testsupport::MemoryPort port;
    port.bytes[0] = 10;
    const NodeMapPtr map = load(R"(<Port Name="Device"/>
      <IntReg Name="LevelReg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
        <Cachable>NoCache</Cachable><Endianess>LittleEndian</Endianess></IntReg>
      <Integer Name="LevelRaw"><pValue>LevelReg</pValue><Min>0</Min><Max>20</Max><Inc>1</Inc></Integer>
      <Converter Name="Level"><pValue>LevelRaw</pValue><FormulaTo>FROM*10</FormulaTo><FormulaFrom>TO/10</FormulaFrom>
        <pAlias>LevelRaw</pAlias></Converter>
      <IntReg Name="Flag"><Address>4</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
        <Cachable>NoCache</Cachable><Endianess>LittleEndian</Endianess></IntReg>
      <Boolean Name="ReverseY"><pValue>Flag</pValue><OnValue>1</OnValue><OffValue>0</OffValue></Boolean>)");
    map->Connect(&port);
    TestSlider slider;
    DoubleParameterModel sliderModel(&slider, "Level", "");
    sliderModel.setNodeData(map->GetNode("Level"));
    QCheckBox box;
    BooleanParameterModel boxModel(&box, "ReverseY", "");
    boxModel.setNodeData(map->GetNode("ReverseY"));
    ASSERT_TRUE(slider.isEnabled());
    ASSERT_TRUE(box.isEnabled());
    port.refuseWrites = true;

    testsupport::LogCapture log;
    typeAndEnter(slider.editBox(), "1.5");
    slider.slider()->setValue(15);
    box.setChecked(true);
    for (const char* warning :
         {"LevelRaw: Failed to set the alias nodes value on slider value changed signal!",
          "DoubleParameterModel::onSliderValueChanged: ",
          "Level: Failed to set the node value on spin box editing finished signal!",
          "DoubleParameterModel::onSpinBoxEditingFinished: ",
          "ReverseY: Failed to set the node value on state changed signal!", "BooleanParameterModel::onStateChanged: "})
        EXPECT_TRUE(log.contains(warning)) << warning;
    EXPECT_EQ(CIntegerPtr(map->GetNode("LevelRaw"))->GetValue(), 10);
    EXPECT_EQ(CIntegerPtr(map->GetNode("Flag"))->GetValue(), 0);
}

TEST_F(ParameterModelTest, precisionBeyondIntIsClampedWithAWarning)
{
    TestSlider other;
    DoubleParameterModel model(&other, "Wide", "");
    testsupport::LogCapture log;
    model.setNodeData(map->GetNode("Wide"));
    EXPECT_TRUE(log.contains("64 bit value doesn't fit into int variable"));
    EXPECT_TRUE(other.isEnabled());

    const struct {
        int64_t in;
        int out;
    } cases[] = {{5, 5},
                 {INT_MAX, INT_MAX},
                 {INT_MIN, INT_MIN},
                 {int64_t(INT_MAX) + 1, INT_MAX},
                 {int64_t(INT_MIN) - 1, INT_MIN},
                 {INT64_MAX, INT_MAX}};
    for (const auto& c : cases)
        EXPECT_EQ(DoubleParameterModel::toInt(c.in), c.out) << c.in;
}

TEST(NodeParameterManagerTest, pollsTheBoundNodeMapAndBindsTheNextCameraAfterTheFirstIsGone)
{
    const std::string nodes = R"(<Port Name="Device"/>
      <IntReg Name="FlagReg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
        <PollingTime>100</PollingTime></IntReg>
      <Boolean Name="ReverseX"><pValue>FlagReg</pValue><OnValue>1</OnValue><OffValue>0</OffValue></Boolean>)";
    NodeParameterManager manager;
    EXPECT_EQ(manager.pollInterval(), 300);
    manager.setPolling(true);
    for (int camera = 0; camera < 2; ++camera) {
        SCOPED_TRACE(camera);
        testsupport::MemoryPort port;
        NodeMapPtr map = load(nodes);
        map->Connect(&port);
        QCheckBox box;
        manager.addModel(new BooleanParameterModel(&box, "ReverseX", ""));
        manager.setNodeMap(map.get());
        ASSERT_NE(manager.nodeMap(), nullptr);
        EXPECT_FALSE(box.isChecked());
        port.bytes[0] = 1;
        QTRY_VERIFY_WITH_TIMEOUT(box.isChecked(), 5000);
        // The camera shuts down: the panel drops its models, then the node map goes.
        manager.clearItems();
        map.reset();
        EXPECT_EQ(manager.nodeMap(), nullptr);
        manager.onTimerPoll();
    }
}

TEST(NodeParameterManagerTest, disabledManagerNeitherRefreshesNorPolls)
{
    testsupport::MemoryPort port;
    NodeMapPtr map = load(R"(<Port Name="Device"/>
      <IntReg Name="FlagReg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>
        <PollingTime>100</PollingTime></IntReg>
      <Boolean Name="ReverseX"><pValue>FlagReg</pValue><OnValue>1</OnValue><OffValue>0</OffValue></Boolean>)");
    map->Connect(&port);
    NodeParameterManager manager;
    QCheckBox box;
    manager.addModel(new BooleanParameterModel(&box, "ReverseX", ""));
    manager.setNodeMap(map.get());
    manager.setEnabled(false);
    CBooleanPtr(map->GetNode("ReverseX"))->SetValue(true);
    EXPECT_FALSE(box.isChecked());
    port.bytes[0] = 0;
    manager.onTimerPoll();
    manager.setEnabled(true);
    CBooleanPtr(map->GetNode("ReverseX"))->SetValue(true);
    EXPECT_TRUE(box.isChecked());
    manager.clearItems();
}

TEST(HueParameterModelTest, integerHueDrivesTheSliderThroughTheFloatWrapper)
{
    NodeMapPtr map =
        load(R"(<Integer Name="VlrHue"><Value>12</Value><Min>-180</Min><Max>180</Max><Inc>1</Inc></Integer>)");
    TestSlider slider;
    NodeParameterManager manager;
    auto* hue = new DoubleParameterModel(&slider, "VlrHue", "");
    manager.addModel(hue);
    manager.setNodeMap(map.get());
    EXPECT_TRUE(slider.isEnabled());
    EXPECT_EQ(slider.decimals(), 0);
    EXPECT_DOUBLE_EQ(slider.minimum(), -180.0);
    EXPECT_DOUBLE_EQ(slider.maximum(), 180.0);
    EXPECT_EQ(slider.intMinimum(), -180);
    EXPECT_EQ(slider.intMaximum(), 180);
    EXPECT_EQ(slider.intValue(), 12);
    EXPECT_DOUBLE_EQ(slider.value(), 12.0);

    CIntegerPtr real = map->GetNode("VlrHue");
    slider.slider()->setValue(-33);
    EXPECT_EQ(real->GetValue(), -33);
    EXPECT_DOUBLE_EQ(slider.value(), -33.0);
    real->SetValue(90);
    EXPECT_EQ(slider.intValue(), 90);
    EXPECT_DOUBLE_EQ(slider.value(), 90.0);
    manager.clearItems();
}

TEST(ExposureParameterModelTest, logarithmicSliderPositionsWriteTheIntegerTheyStandFor)
{
    NodeMapPtr map = load(R"(
      <Float Name="ExposureTime"><Value>12345</Value><Min>1</Min><Max>1000000</Max><pAlias>ExposureTimeRaw</pAlias></Float>
      <Integer Name="ExposureTimeRaw"><Value>12345</Value><Min>1</Min><Max>1000000</Max><Inc>1</Inc></Integer>)");
    FlatDoubleComboSlider slider(nullptr, 1);
    NodeParameterManager manager;
    manager.addModel(new DoubleParameterModel(&slider, "ExposureTime", ""));
    manager.setNodeMap(map.get());
    ASSERT_TRUE(slider.isEnabled());
    // The exact value went out with the slider's own move; the position stands for a neighbour of it.
    EXPECT_NEAR(slider.intValue(), 12345, 5);

    CIntegerPtr raw = map->GetNode("ExposureTimeRaw");
    slider.slider()->setValue(100000);
    EXPECT_EQ(raw->GetValue(), 1000000);
    slider.slider()->setValue(0);
    EXPECT_EQ(raw->GetValue(), 1);
    manager.clearItems();
}

// The exposure row as the user steps it: arrow keys, Page Up and the wheel on the focused edit box move the
// camera's raw value by whole increments, whatever the time per increment is (a float step).
TEST(ExposureParameterModelTest, keyAndWheelStepsMoveTheCameraValueByOneIncrement)
{
    enum Action { Up, Down, PageUp, WheelUp, WheelDown };
    const struct {
        double timePerRaw; // microseconds per raw step
        int64_t increment;
        int64_t start;
        Action action;
        int64_t expected;
    } cases[] = {
        {1.0, 1, 3500, Up, 3501},           {1.0, 1, 3500, Down, 3499},     {1.0, 1, 3500, WheelUp, 3501},
        {1.0, 1, 3500, WheelDown, 3499},    {1.0, 1, 9999000, Up, 9999001}, {1.0, 100, 3520, Up, 3620},
        {1.0, 100, 3520, Down, 3420},       {1.0, 100, 3520, PageUp, 4520}, {0.25, 1, 14000, Up, 14001},
        {0.25, 1, 14000, WheelDown, 13999}, {35.0, 1, 100, Up, 101},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.timePerRaw << " us x " << c.increment << " from " << c.start << ", action "
                                        << c.action);
        const std::string factor = QString::number(c.timePerRaw).toStdString();
        NodeMapPtr map = load("<Integer Name=\"ExposureTimeRaw\"><Value>" + std::to_string(c.start) +
                              "</Value><Min>20</Min><Max>10000000</Max><Inc>" + std::to_string(c.increment) +
                              "</Inc></Integer>"
                              "<Converter Name=\"ExposureTime\"><pValue>ExposureTimeRaw</pValue><FormulaTo>FROM/" +
                              factor + "</FormulaTo><FormulaFrom>TO*" + factor +
                              "</FormulaFrom><DisplayPrecision>2</DisplayPrecision>"
                              "<pAlias>ExposureTimeRaw</pAlias></Converter>");
        FlatDoubleComboSlider slider(nullptr, 1);
        NodeParameterManager manager;
        ASSERT_NO_FATAL_FAILURE(bindAndFocus(slider, manager, map.get(), "ExposureTime"));

        QWidget* box = slider.editBox();
        switch (c.action) {
        case Up: QTest::keyClick(box, Qt::Key_Up); break;
        case Down: QTest::keyClick(box, Qt::Key_Down); break;
        case PageUp: QTest::keyClick(box, Qt::Key_PageUp); break;
        case WheelUp:
        case WheelDown: {
            const QPoint centre = box->rect().center();
            QWheelEvent wheel(centre, box->mapToGlobal(centre), QPoint(), QPoint(0, c.action == WheelUp ? 120 : -120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(box, &wheel);
            break;
        }
        }
        QCoreApplication::processEvents();
        CIntegerPtr raw = map->GetNode("ExposureTimeRaw");
        EXPECT_EQ(raw->GetValue(), c.expected);
        // The edit box shows the camera's new time, although it has the focus.
        EXPECT_NEAR(slider.value(), c.expected * c.timePerRaw, 1e-9);
        manager.clearItems();
    }
}

// A camera that refuses a write (a value it rejects, a busy device) keeps its value: the row must go on
// showing that value, and the next step must start from it, in both scales.
TEST(ExposureParameterModelTest, aRefusedWriteLeavesTheRowShowingTheCameraValue)
{
    enum Action { Step, Type };
    const struct {
        int scale;
        Action action;
        uint32_t start; // near the top one logarithmic position spans many increments
    } cases[] = {{0, Step, 3500}, {1, Step, 3500}, {1, Step, 9999000}, {0, Type, 3500}, {1, Type, 3500}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "scale " << c.scale << (c.action == Step ? ", a step" : ", a typed value")
                                        << " from " << c.start);
        testsupport::MemoryPort port;
        std::memcpy(port.bytes.data(), &c.start, sizeof c.start);
        NodeMapPtr map = load(R"(<Port Name="Device"/>
          <IntReg Name="ExposureReg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode>
            <pPort>Device</pPort><Cachable>NoCache</Cachable><Endianess>LittleEndian</Endianess></IntReg>
          <Integer Name="ExposureTimeRaw"><pValue>ExposureReg</pValue><Min>20</Min><Max>10000000</Max><Inc>1</Inc>
            </Integer>
          <Converter Name="ExposureTime"><pValue>ExposureTimeRaw</pValue><FormulaTo>FROM</FormulaTo>
            <FormulaFrom>TO</FormulaFrom><pAlias>ExposureTimeRaw</pAlias></Converter>)");
        map->Connect(&port);
        FlatDoubleComboSlider slider(nullptr, c.scale);
        NodeParameterManager manager;
        manager.addModel(new DoubleParameterModel(&slider, "ExposureTime", ""));
        manager.setNodeMap(map.get());
        ASSERT_TRUE(slider.isEnabled());
        CIntegerPtr raw = map->GetNode("ExposureTimeRaw");
        const int position = slider.slider()->value();
        const QString text = slider.editBox()->text();

        port.refuseWrites = true;
        testsupport::LogCapture log;
        if (c.action == Step)
            slider.editBox()->stepBy(1);
        else
            typeAndEnter(slider.editBox(), QString::number(c.start + 500));
        EXPECT_TRUE(log.contains("Failed to set the")) << "the write was not even tried";
        EXPECT_EQ(raw->GetValue(), c.start);
        EXPECT_EQ(slider.slider()->value(), position) << "the slider stands for a value the camera refused";
        EXPECT_EQ(slider.editBox()->text().toStdString(), text.toStdString())
            << "the box shows a value the camera refused";

        port.refuseWrites = false;
        slider.editBox()->stepBy(1);
        EXPECT_EQ(raw->GetValue(), c.start + 1) << "the next step did not start from the camera's value";
        manager.clearItems();
    }
}

// The raw alias can stand at the end of its range while the float value does not (cameras range GainRaw
// and GainAbs apart): a step of the edit box then moves no slider and writes nothing, so no update is on its
// way, and a refresh that comes while the user types into the box leaves the typed text alone.
TEST(ParameterModelsTest, aStepAtTheEndOfTheSliderLetsNoRefreshOverwriteWhatTheUserTypes)
{
    const struct {
        int scale;
        Qt::Key key;
        int64_t raw;
    } cases[] = {{0, Qt::Key_Up, 200}, {1, Qt::Key_Up, 200}, {0, Qt::Key_Down, 1}, {1, Qt::Key_Down, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "scale " << c.scale << (c.key == Qt::Key_Up ? ", up" : ", down"));
        NodeMapPtr map = load(R"(
          <Float Name="Gain"><Value>10</Value><Min>1</Min><Max>20</Max><DisplayPrecision>2</DisplayPrecision>
            <pAlias>GainRaw</pAlias></Float>
          <Integer Name="GainRaw"><Value>)" +
                              std::to_string(c.raw) + R"(</Value><Min>1</Min><Max>200</Max><Inc>1</Inc></Integer>)");
        FlatDoubleComboSlider slider(nullptr, c.scale);
        NodeParameterManager manager;
        ASSERT_NO_FATAL_FAILURE(bindAndFocus(slider, manager, map.get(), "Gain"));
        NimboQtDoubleSpinBox* box = slider.editBox();

        QTest::keyClick(box, c.key);
        CIntegerPtr raw = map->GetNode("GainRaw");
        EXPECT_EQ(raw->GetValue(), c.raw);
        EXPECT_FALSE(slider.isUpdateExspected()) << "an update is expected that nothing will send";
        box->selectAll();
        QTest::keyClicks(box, "7");
        // The camera's value changes meanwhile (a poll reports it).
        CFloatPtr(map->GetNode("Gain"))->SetValue(12.0);
        EXPECT_EQ(box->text().toStdString(), "7") << "the refresh overwrote what the user types";
        manager.clearItems();
    }
}

// A raw value in the camera's memory that the camera changes by itself (not cached, polled), and the float
// feature over it; `linked` makes the float a converter of the raw value, else the two hold their own values.
NodeMapPtr loadCameraChangedGain(testsupport::MemoryPort& port, bool linked)
{
    const std::string gain = linked ? R"(
          <Converter Name="Gain"><FormulaTo>FROM*10</FormulaTo><FormulaFrom>TO/10</FormulaFrom>
            <pValue>GainRaw</pValue><Slope>Increasing</Slope><DisplayPrecision>1</DisplayPrecision>
            <pAlias>GainRaw</pAlias></Converter>)"
                                    : R"(
          <Float Name="Gain"><Value>10</Value><Min>1</Min><Max>20</Max><DisplayPrecision>1</DisplayPrecision>
            <pAlias>GainRaw</pAlias></Float>)";
    NodeMapPtr map = load(R"(
          <IntReg Name="GainRawReg"><Address>0</Address><Length>4</Length><AccessMode>RW</AccessMode>
            <pPort>Device</pPort><Cachable>NoCache</Cachable><PollingTime>100</PollingTime>
            <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
          <Integer Name="GainRaw"><pValue>GainRawReg</pValue><Min>1</Min><Max>200</Max><Inc>1</Inc></Integer>
          <Port Name="Device"/>)" +
                          gain);
    map->Connect(&port, "Device");
    CIntegerPtr(map->GetNode("GainRaw"))->SetValue(100);
    return map;
}

void cameraSetsRawValue(testsupport::MemoryPort& port, uint32_t value)
{
    std::memcpy(port.bytes.data(), &value, sizeof value);
}

// A gain row of one scale over the gain above, bound, its edit box focused.
struct FocusedGainRow {
    int scale;
    testsupport::MemoryPort& port;
    GenApi::INodeMap& map;
    FlatDoubleComboSlider& slider;
    NodeParameterManager& manager;
};

// Runs `body` with a focused gain row of each scale.
void forEachFocusedGainRow(bool linked, const std::function<void(FocusedGainRow&)>& body)
{
    for (int scale : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "scale " << scale);
        testsupport::MemoryPort port;
        NodeMapPtr map = loadCameraChangedGain(port, linked);
        FlatDoubleComboSlider slider(nullptr, scale);
        NodeParameterManager manager;
        ASSERT_NO_FATAL_FAILURE(bindAndFocus(slider, manager, map.get(), "Gain"));
        FocusedGainRow row{scale, port, *map, slider, manager};
        body(row);
        manager.clearItems();
    }
}

// The camera may change a value by itself between two polls, and a step of the edit box may then land on
// the value the camera already holds: nothing is written and nothing reports back, so no update is expected,
// and a refresh that comes while the user types into the box leaves the typed text alone.
TEST(ParameterModelsTest, aStepOntoTheValueTheCameraHoldsLetsNoRefreshOverwriteWhatTheUserTypes)
{
    forEachFocusedGainRow(false, [](FocusedGainRow& row) {
        NimboQtDoubleSpinBox* box = row.slider.editBox();
        // The camera goes one step up by itself; the step of the edit box follows it there.
        cameraSetsRawValue(row.port, 101);
        const int writes = row.port.writes;
        QTest::keyClick(box, Qt::Key_Up);
        EXPECT_EQ(row.port.writes, writes) << "the value the camera holds was written again";
        EXPECT_FALSE(row.slider.isUpdateExspected()) << "an update is expected that nothing will send";
        box->selectAll();
        QTest::keyClicks(box, "7");
        CFloatPtr(row.map.GetNode("Gain"))->SetValue(12.0);
        EXPECT_EQ(box->text().toStdString(), "7") << "the refresh overwrote what the user types";
    });
}

// What the camera changes by itself reaches the slider while the user types into the edit box, and the
// typed text stays until the user commits it.
TEST(ParameterModelsTest, aValueTheCameraChangesWhileTheUserTypesLeavesTheTypedText)
{
    forEachFocusedGainRow(true, [](FocusedGainRow& row) {
        NimboQtDoubleSpinBox* box = row.slider.editBox();
        box->selectAll();
        QTest::keyClicks(box, "7");
        for (uint32_t raw : {130u, 60u}) {
            cameraSetsRawValue(row.port, raw);
            row.manager.onTimerPoll();
            if (row.scale == 0)
                EXPECT_EQ(row.slider.intValue(), int(raw)) << "the slider does not follow the camera";
            EXPECT_EQ(box->text().toStdString(), "7") << "the camera's value overwrote what the user types";
        }
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(CIntegerPtr(row.map.GetNode("GainRaw"))->GetValue(), 70);
    });
}

TEST(NodeParameterManagerTest, modelsThatOutliveTheNodeMapAreDeletedSafely)
{
    NodeMapPtr map = load(std::string(kNodes) + autoEnumeration("GainAuto", "2"));
    TestSlider slider;
    QCheckBox box;
    NodeParameterManager manager;
    auto* gain = new DoubleParameterModel(&slider, "Gain", "");
    manager.addModel(gain);
    manager.addModel(new BooleanParameterModel(&box, "ReverseX", ""));
    manager.setNodeMap(map.get());
    ASSERT_TRUE(slider.isEnabled());
    map.reset();
    EXPECT_EQ(manager.nodeMap(), nullptr);
    EXPECT_EQ(gain->node(), nullptr);
    manager.onTimerPoll();
    // A refresh of a model whose node is gone only warns.
    testsupport::LogCapture log;
    manager.onModelUpdated(gain);
    EXPECT_TRUE(log.contains("is called with non-float node?"));
    manager.clearItems();
}

// The auto features and the integer hue reach their models through the mapping layer's wrappers; the
// node map's destruction must reach those models as it reaches models bound to real nodes.
TEST(NodeParameterManagerTest, modelsBoundThroughWrappersLetGoWhenTheNodeMapDies)
{
    NodeMapPtr map =
        load(autoEnumeration("GainAuto", "2") + autoEnumeration("ExposureAuto", "0") +
             R"(<Integer Name="VlrHue"><Value>12</Value><Min>-180</Min><Max>180</Max><Inc>1</Inc></Integer>)");
    QCheckBox gainAuto;
    QCheckBox exposureAuto;
    TestSlider hue;
    NodeParameterManager manager;
    auto* gainModel = new BooleanParameterModel(&gainAuto, "GainAuto", "");
    auto* exposureModel = new BooleanParameterModel(&exposureAuto, "ExposureAuto", "");
    auto* hueModel = new DoubleParameterModel(&hue, "VlrHue", "");
    manager.addModel(gainModel);
    manager.addModel(exposureModel);
    manager.addModel(hueModel);
    manager.setNodeMap(map.get());
    const std::vector<BaseParameterModel*> models = {gainModel, exposureModel, hueModel};
    for (BaseParameterModel* model : models)
        ASSERT_NE(model->node(), nullptr) << model->name().toStdString();
    ASSERT_TRUE(gainAuto.isEnabled());

    map.reset();
    for (BaseParameterModel* model : models)
        ASSERT_EQ(model->node(), nullptr) << model->name().toStdString();
    // The user works the controls before the panel has dropped its models: refused, not a freed node.
    testsupport::LogCapture log;
    gainAuto.click();
    exposureAuto.click();
    hue.slider()->setValue(30);
    for (BaseParameterModel* model : models)
        manager.onModelUpdated(model);
    EXPECT_TRUE(log.contains("Failed to set the node value on state changed signal!"));
    manager.clearItems();
}
