// The value editors of integer, enumeration, boolean and command nodes against real node maps.
#include "NodeMapFixture.h"
#include "QtPrinters.h"

#include "orbelt/CheckBoxEditor.h"
#include "orbelt/EnumEditor.h"
#include "orbelt/IntEditor.h"
#include "orbelt/IntSliderEditor.h"
#include "orbelt/SpinBox.h"
#include "orbelt/ToolButtonEditor.h"

#include <testsupport/LogCapture.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

using namespace GenApi;
using orbelttest::makeNodeMap;

namespace {
const char* kNodes = R"(
  <Integer Name="Width"><Value>640</Value><Min>16</Min><Max>1280</Max><Inc>16</Inc></Integer>
  <Integer Name="Mask"><Value>16</Value><Min>0</Min><Max>255</Max><Representation>HexNumber</Representation></Integer>
  <Integer Name="Address"><Value>3232235777</Value><Min>0</Min><Max>4294967295</Max>
    <Representation>IPV4Address</Representation></Integer>
  <Integer Name="Huge"><Value>5000000000</Value><Min>-9000000000</Min><Max>9000000000</Max><Inc>1</Inc></Integer>
  <Integer Name="Odd"><Value>500</Value><Min>0</Min><Max>100</Max><Inc>1</Inc></Integer>
  <Boolean Name="Reverse"><Value>1</Value></Boolean>
  <Enumeration Name="Mode">
    <EnumEntry Name="Off"><Value>0</Value></EnumEntry>
    <EnumEntry Name="Expert"><Visibility>Expert</Visibility><Value>1</Value></EnumEntry>
    <EnumEntry Name="Guru"><Visibility>Guru</Visibility><Value>2</Value></EnumEntry>
    <EnumEntry Name="Gone"><pIsAvailable>Never</pIsAvailable><Value>3</Value></EnumEntry>
    <EnumEntry Name="On"><Value>4</Value></EnumEntry>
    <Value>0</Value>
  </Enumeration>
  <Integer Name="Never"><Value>0</Value></Integer>
  <Integer Name="StartValue"><Value>0</Value></Integer>
  <Command Name="Start"><pValue>StartValue</pValue><CommandValue>1</CommandValue></Command>
)";

QStringList itemTexts(const QComboBox& box)
{
    QStringList texts;
    for (int i = 0; i < box.count(); ++i)
        texts << box.itemData(i).toString();
    return texts;
}
} // namespace

class EditorsTest : public ::testing::Test {
protected:
    INode* node(const char* name) { return map->GetNode(name); }
    orbelttest::NodeMapPtr map = makeNodeMap(kNodes);
};

TEST_F(EditorsTest, IntEditorTextAndToolTipFollowTheRepresentation)
{
    IntEditor editor(nullptr);
    editor.setEditorData(node("Width"));
    EXPECT_EQ(editor.text(), QStringLiteral("640"));
    EXPECT_EQ(editor.toolTip(), QStringLiteral("Range: 16..1280"));
    EXPECT_EQ(editor.editorData().toString(), QStringLiteral("640"));

    editor.setEditorData(node("Mask"));
    EXPECT_EQ(editor.toolTip(), QStringLiteral("Range: 0x0..0xff"));

    editor.setEditorData(node("Address"));
    EXPECT_TRUE(editor.toolTip().isEmpty());
    EXPECT_EQ(editor.validator(), nullptr);
}

TEST_F(EditorsTest, IntEditorClampsHugeBoundsAndMarksUnreadableNodes)
{
    IntEditor editor(nullptr);
    editor.setEditorData(node("Huge"));
    EXPECT_EQ(editor.toolTip(), QStringLiteral("Range: -2147483648..2147483647"));

    node("Width")->ImposeAccessMode(WO);
    editor.setEditorData(node("Width"));
    EXPECT_EQ(editor.text(), QStringLiteral("<not readable>"));
    EXPECT_TRUE(editor.toolTip().isEmpty());
}

TEST_F(EditorsTest, EditorsLogAndIgnoreNodesOfTheWrongKind)
{
    testsupport::LogCapture log;
    IntEditor intEditor(nullptr);
    intEditor.setText(QStringLiteral("keep"));
    intEditor.setEditorData(node("Reverse"));
    EXPECT_EQ(intEditor.text(), QStringLiteral("keep"));
    EXPECT_TRUE(log.contains("IntEditor::setEditorData is called with non-integer node????"));

    IntSliderEditor slider(nullptr);
    slider.setEditorData(node("Mode"));
    EXPECT_TRUE(log.contains("IntSliderEditor::setEditorData is called with non-integer node????"));

    GenApi::EVisibility visibility = Guru;
    EnumEditor enumEditor(nullptr, &visibility);
    enumEditor.setEditorData(node("Width"));
    EXPECT_TRUE(log.contains("EnumEditor::setEditorData is called with non-enumeration node????"));

    CheckBoxEditor check(nullptr);
    check.setEditorData(node("Width")); // ignored without a line
    EXPECT_FALSE(check.isChecked());
    ToolButtonEditor button(nullptr);
    button.setEditorData(node("Width"));
    EXPECT_TRUE(button.editorData().isNull());
}

TEST_F(EditorsTest, IntSliderEditorSetsRangeQuietlyAndWarnsOfAValueOutOfRange)
{
    IntSliderEditor editor(nullptr);
    QSignalSpy changed(&editor, &ComboSlider::valueChanged);
    editor.setEditorData(node("Width"));
    EXPECT_EQ(editor.minimum(), 16);
    EXPECT_EQ(editor.maximum(), 1280);
    EXPECT_EQ(editor.singleStep(), 16);
    EXPECT_EQ(editor.value(), 640);
    EXPECT_EQ(editor.pageStep(), 63); // (1280 - 16) / 20 beats 2 x 16
    EXPECT_EQ(editor.editorData().toInt(), 640);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(editor.isEnabled());

    testsupport::LogCapture log;
    editor.setEditorData(node("Odd"));
    EXPECT_TRUE(
        log.contains("IntSliderEditor::setEditorData: Feature Odd: value 500 out of range??? min = 0, max = 100"));
    EXPECT_EQ(editor.value(), 100);
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(EditorsTest, IntSliderEditorOverTheFullRangeGetsASensiblePageStep)
{
    IntSliderEditor editor(nullptr);
    editor.setEditorData(node("Huge"));
    EXPECT_EQ(editor.minimum(), -2147483647 - 1);
    EXPECT_EQ(editor.maximum(), 2147483647);
    EXPECT_EQ(editor.value(), 2147483647);
    EXPECT_EQ(editor.pageStep(), 214748364);
}

TEST_F(EditorsTest, IntSliderEditorIsDisabledForAReadOnlyNode)
{
    node("Width")->ImposeAccessMode(RO);
    IntSliderEditor editor(nullptr);
    editor.setEditorData(node("Width"));
    EXPECT_FALSE(editor.isEnabled());
    EXPECT_EQ(editor.value(), 640);
}

TEST_F(EditorsTest, CheckBoxEditorShowsTheValueAndTheAccess)
{
    CheckBoxEditor editor(nullptr);
    editor.setEditorData(node("Reverse"));
    EXPECT_TRUE(editor.isChecked());
    EXPECT_TRUE(editor.isEnabled());
    EXPECT_EQ(editor.editorData().toString(), QStringLiteral("1"));
    CBooleanPtr(node("Reverse"))->SetValue(false);
    node("Reverse")->ImposeAccessMode(RO);
    editor.setEditorData(node("Reverse"));
    EXPECT_FALSE(editor.isChecked());
    EXPECT_FALSE(editor.isEnabled());
    EXPECT_EQ(editor.editorData().toString(), QStringLiteral("0"));
}

TEST_F(EditorsTest, EnumEditorOffersWhatTheVisibilityAllowsAndNeverUnavailableEntries)
{
    struct Case {
        EVisibility visibility;
        QStringList offered;
    } cases[] = {
        {Beginner, {"Off", "On"}},
        {Expert, {"Off", "Expert", "On"}},
        {Guru, {"Off", "Expert", "Guru", "On"}},
    };
    for (const Case& c : cases) {
        EVisibility visibility = c.visibility;
        EnumEditor editor(nullptr, &visibility);
        editor.setEditorData(node("Mode"));
        EXPECT_EQ(itemTexts(editor), c.offered) << int(c.visibility);
        EXPECT_EQ(editor.currentIndex(), 0);
        EXPECT_EQ(editor.editorData().toString(), QStringLiteral("Off"));
    }
}

TEST_F(EditorsTest, EnumEditorWithACurrentValueThatIsNotOfferedShowsNoItem)
{
    CEnumerationPtr(node("Mode"))->FromString("Guru");
    EVisibility visibility = Beginner;
    EnumEditor editor(nullptr, &visibility);
    testsupport::LogCapture log;
    editor.setEditorData(node("Mode"));
    EXPECT_EQ(editor.currentIndex(), -1);
    EXPECT_TRUE(
        log.contains("EnumEditor::setEditorData: Mode. No entry in the combo box matches the current value Guru"));
}

TEST_F(EditorsTest, EnumEditorRefreshWaitsWhileTheListIsOpen)
{
    EVisibility visibility = Beginner;
    EnumEditor editor(nullptr, &visibility);
    editor.setEditorData(node("Mode"));
    editor.show();
    editor.showPopup();
    ASSERT_TRUE(editor.isPopupVisible());
    visibility = Guru;
    editor.setEditorData(node("Mode"));
    EXPECT_EQ(editor.count(), 2); // unchanged while open
    editor.hidePopup();
    EXPECT_FALSE(editor.isPopupVisible());
    editor.setEditorData(node("Mode"));
    EXPECT_EQ(editor.count(), 4);
}

// The editor watches its list only while it is open, however the user closes it; then refreshes rebuild the
// entries again.
TEST_F(EditorsTest, EnumEditorLetsGoOfItsListHoweverTheUserClosesIt)
{
    struct Case {
        const char* how;
        Qt::Key key;
        int activated;
    } cases[] = {
        {"Escape", Qt::Key_Escape, 0},
        {"an entry picked with Return", Qt::Key_Return, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        EVisibility visibility = Beginner;
        EnumEditor editor(nullptr, &visibility);
        editor.setEditorData(node("Mode"));
        QSignalSpy activated(&editor, qOverload<int>(&QComboBox::activated));
        editor.show();
        editor.showPopup();
        ASSERT_TRUE(editor.isPopupVisible());
        QTest::keyClick(editor.view(), c.key);
        EXPECT_FALSE(editor.isPopupVisible());
        EXPECT_EQ(activated.count(), c.activated);
        visibility = Guru;
        editor.setEditorData(node("Mode"));
        EXPECT_EQ(editor.count(), 4);
    }
}

TEST_F(EditorsTest, CommandButtonStaysPressedUntilTheCommandIsDone)
{
    ToolButtonEditor editor(nullptr);
    editor.setEditorData(node("Start"));
    EXPECT_FALSE(editor.isChecked());
    EXPECT_EQ(editor.text(), QStringLiteral("Execute"));

    editor.click(); // checks the button
    const QVariant data = editor.editorData();
    EXPECT_EQ(data.toString(), QStringLiteral("1"));
    CCommandPtr(node("Start"))->Execute(); // what the model does with "1"
    editor.setEditorData(node("Start"));
    EXPECT_TRUE(editor.isChecked());

    CIntegerPtr(node("StartValue"))->SetValue(0); // the device reports done
    editor.setEditorData(node("Start"));
    EXPECT_FALSE(editor.isChecked());
    EXPECT_FALSE(editor.editorData().isValid());
}
