// The float editors: steps that write the node, the focus hand-shake, the integer alias and its callback.
#include "NodeMapFixture.h"
#include "QtPrinters.h"

#include "orbelt/FloatEditor.h"
#include "orbelt/FloatSliderEditor.h"
#include "orbelt/SpinBox.h"

#include <testsupport/LingeringThread.h>
#include <testsupport/LogCapture.h>

#include <QApplication>
#include <QFocusEvent>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

using namespace GenApi;
using orbelttest::makeNodeMap;

namespace {
const char* kNodes = R"(
  <Float Name="Exposure"><Value>10</Value><Min>0</Min><Max>20</Max><Inc>0.5</Inc>
    <DisplayPrecision>2</DisplayPrecision></Float>
  <Float Name="Plain"><Value>1.5</Value><Min>0</Min><Max>4</Max><Representation>PureNumber</Representation></Float>
  <Float Name="Wide"><Value>5</Value><Min>0</Min><Max>2000000000</Max><Inc>1</Inc>
    <DisplayPrecision>2</DisplayPrecision></Float>
  <Float Name="WideGain"><pAlias>WideGainRaw</pAlias><Value>5</Value><Min>0</Min><Max>2000000000</Max><Inc>1</Inc>
    <DisplayPrecision>2</DisplayPrecision></Float>
  <Integer Name="WideGainRaw"><Value>5</Value><Min>0</Min><Max>100</Max></Integer>
  <Float Name="Broken"><Value>50</Value><Min>0</Min><Max>20</Max></Float>
  <Float Name="Gain"><pAlias>GainRaw</pAlias><Value>6</Value><Min>0</Min><Max>24</Max>
    <DisplayPrecision>1</DisplayPrecision></Float>
  <Integer Name="GainRaw"><Value>100</Value><Min>0</Min><Max>400</Max><Inc>4</Inc></Integer>
  <Float Name="Inverted"><pAlias>InvertedRaw</pAlias><Value>5</Value><Min>10</Min><Max>0</Max></Float>
  <Integer Name="InvertedRaw"><Value>1</Value><Min>0</Min><Max>10</Max></Integer>
  <Float Name="Unbounded"><pAlias>UnboundedRaw</pAlias><Value>5</Value><pMin>Gone</pMin><Max>10</Max></Float>
  <Integer Name="UnboundedRaw"><Value>1</Value><Min>0</Min><Max>10</Max></Integer>
  <IntReg Name="Gone"><Address>0</Address><Length>4</Length><AccessMode>RO</AccessMode><pPort>Unconnected</pPort>
    <Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>
  <Port Name="Unconnected"/>
  <Float Name="Moving"><pAlias>MovingRaw</pAlias><pValue>MovingValue</pValue><pMin>MovingMin</pMin><Max>20</Max>
    <Inc>0.5</Inc><DisplayPrecision>1</DisplayPrecision><pIsLocked>MovingLock</pIsLocked></Float>
  <Float Name="MovingValue"><Value>5</Value><Min>-100</Min><Max>100</Max></Float>
  <Float Name="MovingMin"><Value>0</Value><Min>-100</Min><Max>100</Max></Float>
  <Integer Name="MovingLock"><Value>0</Value><Min>0</Min><Max>1</Max></Integer>
  <Integer Name="MovingRaw"><Value>50</Value><Min>0</Min><Max>200</Max><Inc>5</Inc></Integer>
  <Float Name="Hidden"><pAlias>HiddenRaw</pAlias><ImposedAccessMode>WO</ImposedAccessMode><Value>1</Value>
    <Min>0</Min><Max>2</Max></Float>
  <Integer Name="HiddenRaw"><Value>1</Value><Min>0</Min><Max>2</Max></Integer>
)";

void sendFocus(QWidget* widget, QEvent::Type type)
{
    QFocusEvent event(type, Qt::TabFocusReason);
    QApplication::sendEvent(widget, &event);
}
} // namespace

class FloatEditorsTest : public ::testing::Test {
protected:
    INode* node(const char* name) { return map->GetNode(name); }
    double floatValue(const char* name) { return CFloatPtr(node(name))->GetValue(); }
    orbelttest::NodeMapPtr map = makeNodeMap(kNodes);
};

TEST_F(FloatEditorsTest, FloatEditorTakesRangeIncrementAndValueFromTheNode)
{
    FloatEditor editor(nullptr, Linear);
    editor.setEditorData(node("Exposure"));
    EXPECT_DOUBLE_EQ(editor.minimum(), 0.0);
    EXPECT_DOUBLE_EQ(editor.maximum(), 20.0);
    EXPECT_DOUBLE_EQ(editor.increment(), 0.5);
    EXPECT_EQ(editor.decimals(), 2);
    EXPECT_DOUBLE_EQ(editor.value(), 10.0);
    EXPECT_EQ(editor.toolTip(), QStringLiteral("Range: 0.0..20.0 (Increment: 0.5)"));
    EXPECT_NE(editor.editBox()->buttonSymbols(), QAbstractSpinBox::NoButtons);
}

// Both float editors clamp what the box holds to the node's range; before a node is bound there is no range
// to read, so the box value stands and the warning names the step.
TEST_F(FloatEditorsTest, EditorValueIsClampedToTheNodeOnceBound)
{
    FloatEditor box(nullptr, Linear);
    FloatSliderEditor slider(nullptr);
    struct Case {
        const char* function;
        std::function<void(double)> type; // what the user leaves in the edit box
        std::function<double()> value;
        std::function<void()> bind;
    };
    const Case cases[] = {
        {"FloatEditor::adjustRangeLimits", [&](double v) { box.editBox()->setValue(v); }, [&] { return box.value(); },
         [&] { box.setEditorData(node("Exposure")); }},
        {"FloatSliderEditor::adjustRangeLimits", [&](double v) { slider.editBox()->setValue(v); },
         [&] { return slider.value(); }, [&] { slider.setEditorData(node("Gain")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        {
            testsupport::LogCapture log;
            c.type(3.0);
            EXPECT_DOUBLE_EQ(c.value(), 3.0);
            EXPECT_TRUE(log.contains(std::string(c.function) + ": Failed to assert the range limits!"));
        }
        c.bind();
        testsupport::LogCapture log;
        c.type(-5.0);
        EXPECT_DOUBLE_EQ(c.value(), 0.0); // the minimum of both nodes
        EXPECT_FALSE(log.contains("Failed to assert the range limits!"));
    }
}

TEST_F(FloatEditorsTest, ArrowsAndPagesWriteTheNodeClampedToItsRange)
{
    FloatEditor editor(nullptr, Linear);
    editor.setEditorData(node("Exposure"));
    editor.show();
    editor.editBox()->setFocus();
    QTest::keyClick(editor.editBox(), Qt::Key_Up);
    EXPECT_DOUBLE_EQ(floatValue("Exposure"), 10.5);
    QTest::keyClick(editor.editBox(), Qt::Key_PageDown); // page step 20 / 20 = 1
    EXPECT_DOUBLE_EQ(floatValue("Exposure"), 9.5);
    CFloatPtr(node("Exposure"))->SetValue(20.0);
    QTest::keyClick(editor.editBox(), Qt::Key_Up); // at the maximum: the maximum again
    EXPECT_DOUBLE_EQ(floatValue("Exposure"), 20.0);
    // The edit box learns the value on the next refresh.
    editor.setEditorData(node("Exposure"));
    EXPECT_DOUBLE_EQ(editor.editBox()->value(), 20.0);
}

TEST_F(FloatEditorsTest, PureNumberHasNoButtonsAndNoIncrementSteps)
{
    FloatEditor editor(nullptr, PureNumber);
    editor.setEditorData(node("Plain"));
    EXPECT_EQ(editor.editBox()->buttonSymbols(), QAbstractSpinBox::NoButtons);
    editor.onSpinBoxStepTriggered(1); // increment 0: nothing happens
    EXPECT_DOUBLE_EQ(floatValue("Plain"), 1.5);
    EXPECT_EQ(editor.toolTip(), QStringLiteral("Range: 0.0..4.0"));
}

TEST_F(FloatEditorsTest, TypingIsNotOverwrittenUntilAnUpdateIsExpected)
{
    FloatEditor editor(nullptr, Linear);
    editor.setEditorData(node("Exposure"));
    sendFocus(editor.editBox(), QEvent::FocusIn);
    CFloatPtr(node("Exposure"))->SetValue(12.0);
    editor.setEditorData(node("Exposure"));
    EXPECT_DOUBLE_EQ(editor.editBox()->value(), 10.0);
    editor.enableUpdate(true);
    editor.setEditorData(node("Exposure"));
    EXPECT_DOUBLE_EQ(editor.editBox()->value(), 12.0);
    EXPECT_FALSE(editor.isUpdateExspected()); // used up
}

TEST_F(FloatEditorsTest, EnterCommitsTheTypedValueOnce)
{
    FloatEditor editor(nullptr, Linear);
    editor.setEditorData(node("Exposure"));
    QSignalSpy committed(&editor, &FloatEditor::boxValueChanged);
    sendFocus(editor.editBox(), QEvent::FocusIn); // selects the text
    QTest::keyClicks(editor.editBox(), "7.5");
    QTest::keyClick(editor.editBox(), Qt::Key_Return);
    EXPECT_EQ(committed.count(), 1);
    EXPECT_DOUBLE_EQ(editor.editorData().toDouble(), 7.5);
    sendFocus(editor.editBox(), QEvent::FocusOut);
    EXPECT_EQ(committed.count(), 1) << "leaving the box after Enter commits nothing more";
}

TEST_F(FloatEditorsTest, AValueOutsideItsOwnRangeLeavesTheEditorAndLogs)
{
    FloatEditor editor(nullptr, Linear);
    editor.setEditorData(node("Exposure"));
    testsupport::LogCapture log;
    editor.setEditorData(node("Broken"));
    EXPECT_TRUE(log.contains("Broken: Failed to update the float value editor comboBox!"));
    EXPECT_TRUE(log.contains("The minimum value is larger than the to be set node value"));
    EXPECT_TRUE(log.contains("FloatEditor::setEditorData: Exception occurred:"));
    EXPECT_DOUBLE_EQ(editor.editBox()->value(), 10.0);
}

TEST_F(FloatEditorsTest, WideRangesUseGeneralNotationInTheToolTip)
{
    FloatEditor editor(nullptr, Linear);
    editor.setEditorData(node("Wide"));
    EXPECT_TRUE(editor.toolTip().contains(QStringLiteral("e+09"))) << editor.toolTip().toStdString();
}

TEST_F(FloatEditorsTest, NonFloatNodesAreRefused)
{
    testsupport::LogCapture log;
    FloatEditor editor(nullptr, Linear);
    editor.setEditorData(node("GainRaw"));
    FloatSliderEditor slider(nullptr);
    slider.setEditorData(node("GainRaw"));
    EXPECT_TRUE(log.contains("FloatEditor::setEditorData is called with non-float node"));
    EXPECT_TRUE(log.contains("FloatSliderEditor::setEditorData is called with non-float node????"));
}

TEST_F(FloatEditorsTest, SliderEditorShowsTheFloatAndMovesOverTheAlias)
{
    FloatSliderEditor editor(nullptr);
    editor.setEditorData(node("Gain"));
    EXPECT_DOUBLE_EQ(editor.value(), 6.0);
    EXPECT_EQ(editor.intMinimum(), 0);
    EXPECT_EQ(editor.intMaximum(), 400);
    EXPECT_EQ(editor.intValue(), 100);
    EXPECT_EQ(editor.intIncrement(), 4);
    EXPECT_EQ(editor.toolTip(), QStringLiteral("Range: 0.0..24.0"));

    editor.slider()->setValue(203); // snapped to the alias increment
    EXPECT_EQ(CIntegerPtr(node("GainRaw"))->GetValue(), 200);
}

TEST_F(FloatEditorsTest, AliasChangesMoveTheSliderAlsoWhileTheBoxHasFocus)
{
    FloatSliderEditor editor(nullptr);
    editor.setEditorData(node("Gain"));
    sendFocus(editor.editBox(), QEvent::FocusIn);
    CIntegerPtr(node("GainRaw"))->SetValue(320); // GUI thread: handled at once
    EXPECT_EQ(editor.intValue(), 320);

    // From another thread the notice is queued to the GUI thread.
    std::thread writer([this] { CIntegerPtr(node("GainRaw"))->SetValue(40); });
    writer.join();
    EXPECT_EQ(editor.intValue(), 320);
    QTRY_COMPARE_WITH_TIMEOUT(editor.intValue(), 40, 10000);
    // Also from a thread that lives on, as the camera's do: only the queued notice hands the change over.
    testsupport::LingeringThread camera([this] { CIntegerPtr(node("GainRaw"))->SetValue(60); });
    QTRY_COMPARE_WITH_TIMEOUT(editor.intValue(), 60, 60000);
}

// A change of the alias after the editor is gone must not reach it: the sanitizer sees a callback left on a
// freed editor. A set-up that fails half-way, and is tried again at every refresh, must leave none either.
TEST_F(FloatEditorsTest, SliderEditorLetsGoOfItsAliasCallback)
{
    struct Case {
        const char* node;
        const char* alias;
        const char* failure; // empty for a set-up that succeeds
    } cases[] = {
        {"Gain", "GainRaw", ""},
        {"Inverted", "InvertedRaw", "The given range or increment information of the given pNode is not valid"},
        {"Unbounded", "UnboundedRaw", "Unbounded: Failed to update the float value editor comboBox!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.node);
        {
            testsupport::LogCapture log;
            FloatSliderEditor editor(nullptr);
            editor.setEditorData(node(c.node));
            editor.setEditorData(node(c.node)); // the next refresh
            if (*c.failure) {
                EXPECT_TRUE(log.contains(c.failure));
                editor.slider()->setValue(3); // not bound: the alias is left alone
                EXPECT_EQ(CIntegerPtr(node(c.alias))->GetValue(), 1);
            }
        }
        CIntegerPtr(node(c.alias))->SetValue(4);
        QCoreApplication::processEvents();
    }
}

TEST_F(FloatEditorsTest, SliderEditorWithoutAnAliasLogsAndStaysUnbound)
{
    testsupport::LogCapture log;
    FloatSliderEditor editor(nullptr);
    editor.setEditorData(node("Exposure"));
    EXPECT_TRUE(log.contains("Could not retrieve an alias node on pNode"));
    editor.slider()->setValue(5); // no alias to write: nothing happens
    EXPECT_DOUBLE_EQ(floatValue("Exposure"), 10.0);
}

// Either float editor, seen through what both have; the checks of a refresh are theirs in common.
struct AnyFloatEditor {
    explicit AnyFloatEditor(bool slider)
    {
        if (slider) {
            auto* editor = new FloatSliderEditor(nullptr);
            widget.reset(editor);
            item = editor;
            box = editor->editBox();
            enableUpdate = [editor] { editor->enableUpdate(true); };
            function = "FloatSliderEditor::setEditorData";
        } else {
            auto* editor = new FloatEditor(nullptr, Linear);
            widget.reset(editor);
            item = editor;
            box = editor->editBox();
            enableUpdate = [editor] { editor->enableUpdate(true); };
            function = "FloatEditor::setEditorData";
        }
    }
    std::unique_ptr<QWidget> widget;
    AbstractItemEditor* item = nullptr;
    NimboQtDoubleSpinBox* box = nullptr;
    std::function<void()> enableUpdate;
    std::string function;
};

void setNode(const orbelttest::NodeMapPtr& map, const char* name, double value)
{
    CValuePtr(map->GetNode(name))->FromString(QByteArray::number(value).constData());
}

TEST_F(FloatEditorsTest, EveryRefreshFollowsTheNodesRangeWritabilityAndValueUnlessTheUserTypes)
{
    for (const bool slider : {false, true}) {
        orbelttest::NodeMapPtr moving = makeNodeMap(kNodes);
        AnyFloatEditor editor(slider);
        SCOPED_TRACE(editor.function);
        auto refresh = [&] { editor.item->setEditorData(moving->GetNode("Moving")); };

        refresh();
        EXPECT_DOUBLE_EQ(editor.box->minimum(), 0.0);
        EXPECT_DOUBLE_EQ(editor.box->maximum(), 20.0);
        EXPECT_DOUBLE_EQ(editor.box->value(), 5.0);
        EXPECT_EQ(editor.box->decimals(), 1);
        EXPECT_TRUE(editor.widget->isEnabled());

        setNode(moving, "MovingMin", 2.0);
        setNode(moving, "MovingValue", 7.0);
        setNode(moving, "MovingLock", 1);
        refresh();
        EXPECT_DOUBLE_EQ(editor.box->minimum(), 2.0);
        EXPECT_DOUBLE_EQ(editor.box->value(), 7.0);
        EXPECT_FALSE(editor.widget->isEnabled()) << "a locked node cannot be written";

        setNode(moving, "MovingLock", 0);
        refresh();
        EXPECT_TRUE(editor.widget->isEnabled());
        sendFocus(editor.box, QEvent::FocusIn);
        setNode(moving, "MovingValue", 8.0);
        refresh();
        EXPECT_DOUBLE_EQ(editor.box->value(), 7.0) << "what the user types is not overwritten";
        editor.enableUpdate();
        refresh();
        EXPECT_DOUBLE_EQ(editor.box->value(), 8.0);
        setNode(moving, "MovingValue", 9.0);
        refresh();
        EXPECT_DOUBLE_EQ(editor.box->value(), 8.0) << "the expected update is used up";
    }
}

TEST_F(FloatEditorsTest, RefreshesThatCannotBeShownAreLoggedAndLeaveTheEditorAsItWas)
{
    struct Case {
        bool slider;
        const char* setting; // made to the node map before the second refresh; empty for the unreadable node
        double value;
        std::string line;
    };
    const char* const inverted = "The minimum value is larger than the maximum value!";
    const Case cases[] = {
        {false, "", 0, "Non-readable comboBox: Hidden"},
        {true, "", 0, "Non-readable comboBox: Hidden??????"},
        {false, "MovingMin", 30, inverted},
        {true, "MovingMin", 30, inverted},
        {false, "MovingValue", 50,
         "The minimum value is larger than the to be set node value or the maximum value is smaller than the to be "
         "set node value!"},
        {true, "MovingValue", 50,
         "The minimum allowed value is larger than the to be set node value or the maximum allowed value is smaller "
         "than the to be set node value!"},
    };
    for (const Case& c : cases) {
        orbelttest::NodeMapPtr moving = makeNodeMap(kNodes);
        AnyFloatEditor editor(c.slider);
        SCOPED_TRACE(editor.function + " " + c.setting);
        testsupport::LogCapture log;
        if (!*c.setting) {
            editor.item->setEditorData(moving->GetNode("Hidden"));
            EXPECT_EQ(log.count(c.line), 1u);
            EXPECT_EQ(log.messages().size(), 1u);
            continue;
        }
        editor.item->setEditorData(moving->GetNode("Moving"));
        ASSERT_TRUE(log.messages().empty());
        setNode(moving, c.setting, c.value);
        editor.item->setEditorData(moving->GetNode("Moving"));
        EXPECT_TRUE(log.contains("Moving: Failed to update the float value editor comboBox!"));
        EXPECT_TRUE(log.contains(c.line));
        EXPECT_TRUE(log.contains(editor.function + ": Exception occurred:"));
        EXPECT_DOUBLE_EQ(editor.box->minimum(), 0.0);
        EXPECT_DOUBLE_EQ(editor.box->value(), 5.0);
    }
}

// A bound editor's tool tip: the node's range and increment at its display precision, in general notation
// for ranges beyond 1e9, the same on the editor and on each of its parts.
TEST_F(FloatEditorsTest, ToolTipsShowTheNodesRangeAndIncrementOnEveryPart)
{
    const struct Case {
        bool slider;
        const char* node;
        const char* tip;
    } cases[] = {
        {false, "Exposure", "Range: 0.0..20.0 (Increment: 0.5)"},
        {true, "Moving", "Range: 0.0..20.0 (Increment: 0.5)"},
        {false, "Plain", "Range: 0.0..4.0"},
        {true, "Gain", "Range: 0.0..24.0"}, // the float has no increment; its alias's is not shown
        {false, "Wide", "Range: 0..2e+09 (Increment: 1)"},
        {true, "WideGain", "Range: 0..2e+09 (Increment: 1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.node);
        std::unique_ptr<QWidget> editor;
        QList<QWidget*> parts;
        if (c.slider) {
            auto* slider = new FloatSliderEditor(nullptr);
            editor.reset(slider);
            slider->setEditorData(node(c.node));
            parts = {slider, slider->editBox(), slider->slider()};
        } else {
            auto* box = new FloatEditor(nullptr, c.node == std::string("Plain") ? PureNumber : Linear);
            editor.reset(box);
            box->setEditorData(node(c.node));
            parts = {box, box->editBox()};
        }
        for (QWidget* part : parts)
            EXPECT_EQ(part->toolTip(), QString::fromLatin1(c.tip)) << part->metaObject()->className();
    }
}

// In a locale that writes a decimal comma the increment is read back in that locale: a fractional
// increment is shown, not taken for zero.
TEST_F(FloatEditorsTest, ToolTipsShowAFractionalIncrementInADecimalCommaLocale)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    FloatEditor box(nullptr, Linear);
    box.setLocale(german);
    box.setEditorData(node("Exposure"));
    EXPECT_EQ(box.toolTip(), QStringLiteral("Range: 0,0..20,0 (Increment: 0,5)"));
    FloatSliderEditor slider(nullptr);
    slider.setLocale(german);
    slider.setEditorData(node("Moving"));
    EXPECT_EQ(slider.toolTip(), QStringLiteral("Range: 0,0..20,0 (Increment: 0,5)"));
}
