// The slider and spin-box controls: trimming, quiet setters, key handling, page steps and tool tips.
#include "orbelt/ComboSlider.h"
#include "orbelt/DoubleComboSlider.h"
#include "orbelt/DoubleSpinBox.h"
#include "orbelt/SpinBox.h"

#include "QtPrinters.h"

#include <QApplication>
#include <QDialog>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

TEST(ComboSliderTest, QuietSetValueTrimsToTheIncrementInBothParts)
{
    ComboSlider control;
    control.setRangeAndStep(0, 100, 3);
    QSignalSpy changed(&control, &ComboSlider::valueChanged);
    control.setValue(10);
    EXPECT_EQ(control.value(), 9);
    EXPECT_EQ(control.editBox()->value(), 9);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(control.isUpdateEnabled()); // the quiet setter restores the flag
}

TEST(ComboSliderTest, SliderMoveSnapsAndEmitsOnce)
{
    ComboSlider control;
    control.setRangeAndStep(0, 100, 3);
    QSignalSpy changed(&control, &ComboSlider::valueChanged);
    control.slider()->setValue(10);
    EXPECT_EQ(control.value(), 9);
    EXPECT_EQ(control.editBox()->value(), 9);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 9);
}

TEST(ComboSliderTest, TrimmingTable)
{
    struct Case {
        int min, max, step, in, out;
    } cases[] = {
        {0, 100, 0, 10, 10},                         // no increment: no trimming
        {0, 100, 1, 57, 57},                         // increment 1
        {5, 100, 10, 38, 35},                        // relative to the minimum
        {0, 100, 3, 500, 99},                        // clamped to the maximum, then trimmed
        {-50, 50, 7, -100, -50},                     // clamped to the minimum
        {INT_MIN, INT_MAX, 2, INT_MAX, INT_MAX - 1}, // full range: no overflow in the remainder
    };
    for (const Case& c : cases) {
        ComboSlider control;
        control.setRangeAndStep(c.min, c.max, c.step);
        control.setValue(c.in);
        EXPECT_EQ(control.value(), c.out) << c.min << ".." << c.max << " step " << c.step << " in " << c.in;
    }
}

TEST(ComboSliderTest, ToolTipShowsTheIncrementOnlyWhenNotOne)
{
    ComboSlider control;
    control.setRangeAndStep(0, 100, 1);
    EXPECT_EQ(control.toolTip(), QStringLiteral("Range: 0..100"));
    control.setSingleStep(5);
    EXPECT_EQ(control.toolTip(), QStringLiteral("Range: 0..100 (Increment: 5)"));
    QSignalSpy range(&control, &ComboSlider::rangeChanged);
    control.setMaximum(200);
    ASSERT_EQ(range.count(), 1);
    EXPECT_EQ(range.at(0).at(0).toInt(), 0);
    EXPECT_EQ(range.at(0).at(1).toInt(), 200);
}

TEST(ComboSliderTest, EnterCommitsTheTypedValueWithoutPressingTheDefaultButton)
{
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* control = new ComboSlider(&dialog);
    auto* button = new QPushButton(QStringLiteral("OK"), &dialog);
    button->setDefault(true);
    layout->addWidget(control);
    layout->addWidget(button);
    control->setRangeAndStep(0, 100, 5);
    QSignalSpy clicked(button, &QPushButton::clicked);
    QSignalSpy changed(control, &ComboSlider::valueChanged);
    dialog.show();
    control->editBox()->setFocus();
    control->editBox()->selectAll();
    QTest::keyClicks(control->editBox(), QStringLiteral("42"));
    QTest::keyClick(control->editBox(), Qt::Key_Return);
    EXPECT_EQ(control->value(), 40);
    EXPECT_EQ(control->editBox()->value(), 40);
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_TRUE(dialog.isVisible());
}

TEST(DoubleSpinBoxTest, EnterDoesNotPressTheDefaultButton)
{
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* box = new DoubleSpinBox(&dialog, GenApi::Linear);
    auto* button = new QPushButton(QStringLiteral("OK"), &dialog);
    button->setDefault(true);
    layout->addWidget(box);
    layout->addWidget(button);
    box->initControls(0.0, 10.0, 1.0, 0.5);
    QSignalSpy clicked(button, &QPushButton::clicked);
    QSignalSpy finished(box->editBox(), &QDoubleSpinBox::editingFinished);
    dialog.show();
    box->editBox()->setFocus();
    QTest::keyClick(box->editBox(), Qt::Key_Enter);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(finished.count(), 1); // the commit a float editor listens to
}

TEST(ComboSliderTest, EscapeRevertsTheTypedText)
{
    ComboSlider control;
    control.setRangeAndStep(0, 1000, 1);
    control.setValue(12);
    control.show();
    control.editBox()->setFocus();
    auto* line = control.editBox()->findChild<QLineEdit*>();
    ASSERT_NE(line, nullptr);
    line->end(false);
    QTest::keyClicks(control.editBox(), QStringLiteral("3"));
    EXPECT_EQ(line->text(), QStringLiteral("123"));
    QTest::keyClick(control.editBox(), Qt::Key_Escape);
    EXPECT_EQ(line->text(), QStringLiteral("12"));
}

TEST(ComboSliderTest, PageKeysMoveByThePageStepOfTheEditBox)
{
    ComboSlider control;
    control.setRangeAndStep(0, 1000, 2);
    control.setPageStep(7);
    control.setValue(100);
    control.show();
    control.editBox()->setFocus();
    QTest::keyClick(control.editBox(), Qt::Key_PageUp);
    EXPECT_EQ(control.value(), 114); // 7 single steps of 2
    QTest::keyClick(control.editBox(), Qt::Key_Up);
    EXPECT_EQ(control.value(), 116);
    QTest::keyClick(control.editBox(), Qt::Key_PageDown);
    EXPECT_EQ(control.value(), 102);
}

TEST(ComboSliderTest, PageKeyAtTheBoundDoesNotTurnTheNextArrowIntoAPage)
{
    ComboSlider control;
    control.setRangeAndStep(0, 100, 1);
    control.setPageStep(10);
    control.setValue(100);
    control.show();
    control.editBox()->setFocus();
    QTest::keyClick(control.editBox(), Qt::Key_PageUp); // nothing to step at the maximum
    QTest::keyClick(control.editBox(), Qt::Key_Down);
    EXPECT_EQ(control.value(), 99);
}

// Both slider controls lay out the same: edit box, slider and four pixels of space in one row, the box
// as wide as twelve digits and fixed at that, the slider taking the room that is left.
template <class Control>
void expectEditBoxSliderAndSpace(Control& control)
{
    auto* layout = qobject_cast<QHBoxLayout*>(control.layout());
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->contentsMargins(), QMargins(0, 1, 0, 1));
    ASSERT_EQ(layout->count(), 3);
    EXPECT_EQ(layout->itemAt(0)->widget(), control.editBox());
    EXPECT_EQ(layout->itemAt(1)->widget(), control.slider());
    QSpacerItem* space = layout->itemAt(2)->spacerItem();
    ASSERT_NE(space, nullptr);
    EXPECT_EQ(space->sizeHint().width(), 4);
    EXPECT_EQ(control.editBox()->parentWidget(), &control);
    EXPECT_EQ(control.slider()->parentWidget(), &control);
    EXPECT_EQ(control.slider()->orientation(), Qt::Horizontal);
    const QSizePolicy sliderPolicy = control.slider()->sizePolicy();
    EXPECT_EQ(sliderPolicy.horizontalPolicy(), QSizePolicy::Preferred);
    EXPECT_EQ(sliderPolicy.verticalPolicy(), QSizePolicy::Fixed);
    EXPECT_EQ(sliderPolicy.horizontalStretch(), 10);
    EXPECT_EQ(control.editBox()->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    const QFontMetrics metrics(control.editBox()->font());
    EXPECT_GT(control.editBoxWidth(), metrics.horizontalAdvance(QStringLiteral("999999999999")));
    EXPECT_EQ(control.editBox()->minimumWidth(), control.editBoxWidth());
    // The property writes the stored width and the box's minimum width together.
    EXPECT_TRUE(control.setProperty("editBoxWidth", 150));
    EXPECT_EQ(control.editBoxWidth(), 150);
    EXPECT_EQ(control.editBox()->minimumWidth(), 150);
    EXPECT_EQ(control.property("editBoxWidth").toInt(), 150);
}

TEST(SliderControlsLayoutTest, EditBoxSliderAndSpaceInOneRow)
{
    {
        SCOPED_TRACE("ComboSlider");
        ComboSlider control;
        expectEditBoxSliderAndSpace(control);
        control.setEditBoxWidth(90); // public here, protected in the double control
        EXPECT_EQ(control.editBox()->minimumWidth(), 90);
        EXPECT_EQ(control.toolTip(), QStringLiteral("Range: 0..99")); // the range of a fresh slider
    }
    {
        SCOPED_TRACE("DoubleComboSlider");
        DoubleComboSlider control;
        expectEditBoxSliderAndSpace(control);
        EXPECT_EQ(control.intMinimum(), INT_MIN);
        EXPECT_EQ(control.intMaximum(), INT_MAX);
        EXPECT_TRUE(control.editBox()->isAccelerated());
    }
}

class DoubleComboSliderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        control.setRange(0.0, 10.0);
        control.setRangeStepAndIncrement(0, 1000, 30);
        control.setIntValue(300);
        control.show();
        control.editBox()->setFocus();
        // The offscreen window is not active, so focus arrives as an event sent to the edit box.
        QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(control.editBox(), &focusIn);
    }
    DoubleComboSlider control;
};

TEST_F(DoubleComboSliderTest, KeysMoveTheSliderOnlyAndLeaveTheBoxToADerivedClass)
{
    control.setValue(3.0);
    EXPECT_EQ(control.slider()->pageStep(), 60);
    QTest::keyClick(control.editBox(), Qt::Key_PageUp);
    EXPECT_EQ(control.intValue(), 360);
    QTest::keyClick(control.editBox(), Qt::Key_Up);
    EXPECT_EQ(control.intValue(), 390);
    QTest::keyClick(control.editBox(), Qt::Key_PageDown);
    EXPECT_EQ(control.intValue(), 330);
    EXPECT_DOUBLE_EQ(control.value(), 3.0);
    EXPECT_TRUE(control.isUpdateExspected());
}

TEST_F(DoubleComboSliderTest, AStepAtTheEndOfTheRangeExpectsNoUpdate)
{
    // The box has room on both sides; the slider stands at its end.
    control.setValue(3.0);
    control.setIntValue(1000);
    QTest::keyClick(control.editBox(), Qt::Key_Up);
    EXPECT_EQ(control.intValue(), 1000);
    EXPECT_FALSE(control.isUpdateExspected()) << "no move, no write: nothing will update the box";
    QTest::keyClick(control.editBox(), Qt::Key_Down);
    EXPECT_EQ(control.intValue(), 970);
    EXPECT_TRUE(control.isUpdateExspected());
}

TEST_F(DoubleComboSliderTest, FocusClearsAndLosingItSetsTheUpdateExpectedFlag)
{
    EXPECT_TRUE(control.hasFocus());
    EXPECT_FALSE(control.isUpdateExspected());
    QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(control.editBox(), &focusOut);
    EXPECT_FALSE(control.hasFocus());
    EXPECT_TRUE(control.isUpdateExspected());
}

TEST(DoubleComboSliderPageTest, PageStepTable)
{
    struct Case {
        int min, max, inc, page;
    } cases[] = {
        {0, 1000, 30, 60}, {0, 1000, 1, 50}, {0, 100, 0, 5}, {10, 1010, 30, 40}, {INT_MIN, INT_MAX, 1, 214748364},
    };
    for (const Case& c : cases) {
        DoubleComboSlider control;
        control.setRangeStepAndIncrement(c.min, c.max, c.inc);
        control.slider()->setSingleStep(1);
        control.setPageStep();
        EXPECT_EQ(control.slider()->pageStep(), c.page) << c.min << ".." << c.max << " inc " << c.inc;
    }
}

// The derived float controls snap the slider onto the alias grid through this; it lines up with the
// slider's minimum and, unlike ComboSlider's trimming, leaves the range to the slider.
TEST(DoubleComboSliderPageTest, TrimmingTable)
{
    struct TrimmingSlider : DoubleComboSlider {
        using DoubleComboSlider::trimSliderValue;
    };
    struct Case {
        int min, max, inc, singleStep, in, out;
    } cases[] = {
        {0, 400, 4, 4, 203, 200},                       // onto the grid
        {5, 100, 10, 10, 38, 35},                       // relative to the minimum
        {5, 100, 10, 10, 500, 495},                     // above the range: not clamped
        {-50, 50, 7, 7, -53, -50},                      // below the minimum: toward it
        {0, 100, 0, 1, 37, 37},                         // no increment: no trimming
        {0, 100, 10, 0, 37, 37},                        // slider without single step: no trimming
        {INT_MIN, INT_MAX, 2, 2, INT_MAX, INT_MAX - 1}, // full range: no overflow in the remainder
    };
    for (const Case& c : cases) {
        TrimmingSlider control;
        control.setRangeStepAndIncrement(c.min, c.max, c.inc);
        control.slider()->setSingleStep(c.singleStep);
        EXPECT_EQ(control.trimSliderValue(c.in), c.out) << c.min << ".." << c.max << " inc " << c.inc << " in " << c.in;
    }
}

TEST(DoubleComboSliderPageTest, StepNearTheTopDoesNotWrapAround)
{
    DoubleComboSlider control;
    control.setRangeStepAndIncrement(INT_MIN, INT_MAX, 1000);
    control.setIntValue(INT_MAX - 10);
    control.onSpinBoxStepTriggered(1);
    EXPECT_EQ(control.intValue(), INT_MAX);
}

TEST(DoubleComboSliderPageTest, ToolTipUsesTheEditBoxRangeAndDecimals)
{
    DoubleComboSlider control;
    control.setDecimals(2);
    control.setRange(0.5, 12.25);
    EXPECT_EQ(control.toolTip(), QStringLiteral("Range: 0.5..12.25"));
    EXPECT_EQ(control.slider()->toolTip(), control.toolTip());
}

TEST(DoubleSpinBoxTest, IncrementTooFineForTheDecimalsIsNotShown)
{
    DoubleSpinBox box(nullptr, GenApi::Linear);
    box.initControls(0.0, 10.0, 1.0, 0.001);
    box.setDecimals(2); // the tool tip follows the decimals
    EXPECT_EQ(box.toolTip(), QStringLiteral("Range: 0.0..10.0"));
    box.setIncrement(0.25);
    box.setDecimals(2);
    EXPECT_EQ(box.toolTip(), QStringLiteral("Range: 0.0..10.0 (Increment: 0.25)"));
}

TEST(DoubleSpinBoxTest, ButtonsGoForPureNumbersAndForAZeroIncrement)
{
    DoubleSpinBox pure(nullptr, GenApi::PureNumber);
    EXPECT_EQ(pure.editBox()->buttonSymbols(), QAbstractSpinBox::NoButtons);
    DoubleSpinBox linear(nullptr, GenApi::Linear);
    EXPECT_NE(linear.editBox()->buttonSymbols(), QAbstractSpinBox::NoButtons);
    linear.setRangeStepAndIncrement(0.0, 1.0, 0.0);
    EXPECT_EQ(linear.editBox()->buttonSymbols(), QAbstractSpinBox::NoButtons);
}

TEST(DoubleSpinBoxTest, PageStepIsATwentiethOfTheRangeOrTwoIncrements)
{
    DoubleSpinBox box(nullptr, GenApi::Linear);
    box.setRangeStepAndIncrement(0.0, 100.0, 1.0);
    EXPECT_DOUBLE_EQ(box.editBox()->pageStep(), 5.0);
    box.setRangeStepAndIncrement(0.0, 100.0, 4.0);
    EXPECT_DOUBLE_EQ(box.editBox()->pageStep(), 8.0);
    // The initial full double range gives a finite page step.
    DoubleSpinBox wide(nullptr, GenApi::Linear);
    wide.setPageStep();
    EXPECT_TRUE(std::isfinite(wide.editBox()->pageStep()));
}

TEST(DoubleSpinBoxTest, ABareBoxIgnoresArrowsAndEscapeRevertsTyping)
{
    DoubleSpinBox box(nullptr, GenApi::Linear);
    box.initControls(0.0, 100.0, 5.0, 1.0);
    box.show();
    box.editBox()->setFocus();
    QTest::keyClick(box.editBox(), Qt::Key_Up);
    EXPECT_DOUBLE_EQ(box.editBox()->value(), 5.0);
    auto* line = box.editBox()->findChild<QLineEdit*>();
    ASSERT_NE(line, nullptr);
    const QString before = line->text();
    line->end(false);
    QTest::keyClicks(box.editBox(), QStringLiteral("7"));
    EXPECT_NE(line->text(), before);
    QTest::keyClick(box.editBox(), Qt::Key_Escape);
    EXPECT_EQ(line->text(), before);
}
