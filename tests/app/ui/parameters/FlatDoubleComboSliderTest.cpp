// The flat slider: the logarithmic scale's conversions, exact values, steps and trimming; the linear pass-through.
#include "FlatDoubleComboSlider.h"

#include <orbelt/SpinBox.h>

#include <QSignalSpy>
#include <QSlider>

#include <gtest/gtest.h>

#include <cmath>

namespace {
constexpr int kLogarithmic = 1;
constexpr int kLinear = 0;

// A logarithmic slider over the integers 1..1000000 (edit box 1..1000000 too), increment 1, at 1.
class LogSliderTest : public ::testing::Test {
protected:
    void SetUp() override { slider.initControls(1.0, 1e6, 1, 1, 1000000, 1); }
    QSlider* bar() { return slider.slider(); }

    FlatDoubleComboSlider slider{nullptr, kLogarithmic};
};
} // namespace

TEST_F(LogSliderTest, positionsSpanTheIntegerRangeEvenlyInLog2)
{
    EXPECT_EQ(bar()->minimum(), 0);
    EXPECT_EQ(bar()->maximum(), 100000);
    EXPECT_EQ(bar()->singleStep(), 1);
    const struct {
        int position;
        int value;
        bool exact; // the value maps back to the same position
    } cases[] = {{0, 1, true},       {100000, 1000000, true}, {50000, 1000, true},
                 {25000, 31, false}, {75000, 31622, false},   {99999, 999861, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(slider.positionToValue(c.position), c.value) << c.position;
        if (c.exact)
            EXPECT_EQ(slider.valueToPosition(c.value), c.position) << c.value;
        else // both ways truncate: a value between two positions maps to the lower one
            EXPECT_LE(slider.valueToPosition(c.value), c.position) << c.value;
    }
    // Out-of-range values land on the ends instead of outside the slider.
    EXPECT_EQ(slider.valueToPosition(0), 0);
    EXPECT_EQ(slider.valueToPosition(2000000), 100000);

    bar()->setValue(100000);
    EXPECT_EQ(slider.intValue(), 1000000);
    // The slider's own range does not follow the integer range.
    slider.setIntRange(10, 100);
    EXPECT_EQ(bar()->maximum(), 100000);
    EXPECT_EQ(slider.positionToValue(100000), 100);
}

TEST_F(LogSliderTest, oneSidedLimitChangesRespanTheScaleAndReportTheWholeRange)
{
    QSignalSpy ranges(&slider, &DoubleComboSlider::rangeChanged);
    const struct {
        bool minimumSide;
        int limit;
        int expectedMin, expectedMax;
    } steps[] = {{true, 10, 10, 1000000}, {false, 1000, 10, 1000}, {true, 100, 100, 1000}};
    for (const auto& step : steps) {
        if (step.minimumSide)
            slider.setIntMinimum(step.limit);
        else
            slider.setIntMaximum(step.limit);
        ASSERT_FALSE(ranges.isEmpty()) << step.limit;
        const QList<QVariant> range = ranges.takeLast();
        EXPECT_EQ(range.at(0).toInt(), step.expectedMin) << step.limit;
        EXPECT_EQ(range.at(1).toInt(), step.expectedMax) << step.limit;
        EXPECT_EQ(slider.positionToValue(0), step.expectedMin) << step.limit;
        EXPECT_EQ(slider.positionToValue(100000), step.expectedMax) << step.limit;
        // Evenly in log2: the middle position stands for the geometric mean (within the truncation).
        EXPECT_NEAR(slider.positionToValue(50000), std::sqrt(double(step.expectedMin) * step.expectedMax), 1.0)
            << step.limit;
        // The slider keeps its fixed positions; only their meaning changes.
        EXPECT_EQ(bar()->maximum(), 100000);
    }
}

TEST_F(LogSliderTest, anExactValueIsHandedOutOnceThenThePositionsValue)
{
    QSignalSpy changed(&slider, &FlatDoubleComboSlider::valueChanged);
    slider.setIntValue(12345);
    // The move reports the exact value, not the rounded value of the position it reached.
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 12345);
    const int positionValue = slider.positionToValue(bar()->value());
    EXPECT_NE(positionValue, 12345);
    EXPECT_EQ(slider.intValue(), positionValue);

    // The value already shown: the slider stays, nothing is emitted and the next read gets the exact value.
    changed.clear();
    slider.setIntValue(12345);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(slider.intValue(), 12345);
    EXPECT_EQ(slider.intValue(), positionValue);

    // A user move after that reports the position's value.
    bar()->setValue(50000);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 1000);

    // An exact value that left the slider where it was is not handed out for a move elsewhere.
    changed.clear();
    slider.setIntValue(1000);
    EXPECT_EQ(changed.count(), 0);
    bar()->setValue(75000);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 31622);
    EXPECT_EQ(slider.intValue(), 31622);
}

TEST_F(LogSliderTest, editBoxStepsMoveByIncrementsAndExpectTheUpdate)
{
    slider.setRangeStepAndIncrement(1, 1000000, 100);
    slider.setIntValue(1000);
    ASSERT_EQ(slider.intValue(), 1000);
    slider.enableUpdate(false);
    QSignalSpy changed(&slider, &FlatDoubleComboSlider::valueChanged);

    slider.editBox()->stepBy(1);
    EXPECT_TRUE(slider.isUpdateExspected());
    ASSERT_EQ(changed.count(), 1);
    const int up = changed.at(0).at(0).toInt();
    EXPECT_GT(up, 1050);
    EXPECT_LE(up, 1125);

    // Ten steps (the page code) are ten increments here, not the base's page step.
    const int before = slider.intValue();
    slider.editBox()->stepBy(-10);
    ASSERT_EQ(changed.count(), 2);
    const int down = changed.at(1).at(0).toInt();
    EXPECT_GT(down, before - 1000 - 30);
    EXPECT_LE(down, before - 1000 + 25);

    // Stepping below the minimum stays at the first position.
    slider.editBox()->stepBy(-1000);
    EXPECT_EQ(bar()->value(), 0);
    EXPECT_EQ(slider.intValue(), 1);
}

// The exposure row's range: 20 us to 10 s. Near 3500 one increment of 1 spans about two positions, near
// the top one position spans more than a thousand increments, so no step may be measured in positions.
TEST(FlatDoubleComboSliderTest, editBoxStepsMoveTheExactValueByWholeIncrements)
{
    const struct {
        int increment;
        int start;
        int steps;
        int expected; // 0: nothing is emitted
    } cases[] = {
        {1, 3500, 1, 3501},         {1, 3500, -1, 3499},  {1, 3500, 10, 3510},   {1, 9999000, 1, 9999001},
        {1, 9999000, -1, 9998999},  {1, 21, -1, 20},      {1, 20, -1, 0},        {1, 10000000, 1, 0},
        {1, 9999999, 10, 10000000}, {100, 3520, 1, 3620}, {100, 3520, -1, 3420}, {100, 3520, 10, 4520},
        {100, 9999820, 1, 9999920}, {250, 20, 1, 270},    {7, 1000, -3, 979},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "increment " << c.increment << " from " << c.start << " by " << c.steps);
        FlatDoubleComboSlider slider(nullptr, kLogarithmic);
        slider.initControls(20.0, 1e7, c.start, 20, 10000000, c.increment);
        // As the model shows the camera's value (the first setIntValue's move handed it out already).
        slider.setIntValue(c.start);
        const int before = slider.slider()->value();
        QSignalSpy changed(&slider, &FlatDoubleComboSlider::valueChanged);
        slider.editBox()->stepBy(c.steps);
        // Only a step that moves expects the update its write brings.
        EXPECT_EQ(slider.isUpdateExspected(), c.expected != 0);
        if (c.expected == 0) {
            EXPECT_EQ(changed.count(), 0);
            EXPECT_EQ(slider.slider()->value(), before);
            continue;
        }
        ASSERT_EQ(changed.count(), 1);
        EXPECT_EQ(changed.at(0).at(0).toInt(), c.expected);
        // The handle goes where the new value stands, never against the step.
        EXPECT_EQ(slider.slider()->value(), slider.valueToPosition(c.expected));
        if (c.steps > 0)
            EXPECT_GE(slider.slider()->value(), before);
        else
            EXPECT_LE(slider.slider()->value(), before);
    }
}

TEST_F(LogSliderTest, stepsFollowEachOtherFromTheValueTheyReached)
{
    // No model writes the value back in between: each step starts from the value the one before reached.
    slider.initControls(20.0, 1e7, 3500, 20, 10000000, 1);
    slider.setIntValue(3500);
    QSignalSpy changed(&slider, &FlatDoubleComboSlider::valueChanged);
    for (int steps : {1, 1, 1, -1, 10})
        slider.editBox()->stepBy(steps);
    ASSERT_EQ(changed.count(), 5);
    const int expected[] = {3501, 3502, 3503, 3502, 3512};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(changed.at(i).at(0).toInt(), expected[i]) << i;

    // After the user dragged the handle, a step starts from what that position stands for.
    bar()->setValue(60000);
    const int dragged = slider.positionToValue(60000);
    changed.clear();
    slider.editBox()->stepBy(1);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), dragged + 1);
    EXPECT_GE(bar()->value(), 60000);
}

TEST(FlatDoubleComboSliderTest, trimAlignsOnTheIncrementGridOfTheScale)
{
    FlatDoubleComboSlider log(nullptr, kLogarithmic);
    log.initControls(3.0, 1000.0, 3, 3, 1000, 10);
    FlatDoubleComboSlider linear(nullptr, kLinear);
    linear.initControls(0.0, 100.0, 5, 5, 100, 10);
    const struct {
        FlatDoubleComboSlider* slider;
        int in;
        int out;
    } cases[] = {{&log, 27, 23}, {&log, 23, 23}, {&log, 3, 3}, {&linear, 27, 25}, {&linear, 5, 5}};
    for (const auto& c : cases)
        EXPECT_EQ(c.slider->trimSliderValue(c.in), c.out) << c.slider->isLogarithmic() << " " << c.in;

    log.setIntIncrement(0);
    EXPECT_EQ(log.trimSliderValue(27), 27);
    log.setIntIncrement(10);
    log.slider()->setSingleStep(0);
    EXPECT_EQ(log.trimSliderValue(27), 27);
}

TEST(FlatDoubleComboSliderTest, degenerateLogarithmicRangesStayUsable)
{
    // A minimum of 0 or below counts as 1, and an empty range keeps every value at the first position.
    FlatDoubleComboSlider slider(nullptr, kLogarithmic);
    slider.initControls(0.0, 1000.0, 0, 0, 1000, 1);
    EXPECT_EQ(slider.positionToValue(0), 1);
    EXPECT_EQ(slider.positionToValue(100000), 1000);
    EXPECT_EQ(slider.valueToPosition(-5), 0);

    QSignalSpy ranges(&slider, &DoubleComboSlider::rangeChanged);
    slider.setIntRange(50, 50);
    ASSERT_EQ(ranges.count(), 1);
    EXPECT_EQ(ranges.at(0).at(0).toInt(), 50);
    EXPECT_EQ(slider.valueToPosition(50), 0);
    EXPECT_EQ(slider.positionToValue(0), 50);
    EXPECT_EQ(slider.positionToValue(100000), 50);
    slider.editBox()->stepBy(1);
    EXPECT_EQ(slider.slider()->value(), 0);
}

TEST(FlatDoubleComboSliderTest, linearScaleIsTheBaseWithItsOwnSignals)
{
    FlatDoubleComboSlider slider(nullptr, kLinear);
    slider.initControls(0.0, 10.0, 40, 0, 100, 5);
    EXPECT_EQ(slider.slider()->minimum(), 0);
    EXPECT_EQ(slider.slider()->maximum(), 100);
    EXPECT_EQ(slider.intValue(), 40);
    EXPECT_EQ(slider.intIncrement(), 5);

    QSignalSpy changed(&slider, &FlatDoubleComboSlider::valueChanged);
    QSignalSpy finished(&slider, &FlatDoubleComboSlider::editingFinished);
    slider.setIntValue(60);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 60);
    // Setting the shown value again emits nothing.
    slider.setIntValue(60);
    EXPECT_EQ(changed.count(), 1);
    // The base's step handler still serves the edit box: one step is one increment.
    slider.editBox()->stepBy(1);
    EXPECT_EQ(slider.intValue(), 65);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(1).at(0).toInt(), 65);
    EXPECT_TRUE(slider.isUpdateExspected());
    // At the end of the range a step moves nothing and expects nothing.
    slider.enableUpdate(false);
    slider.setIntValue(100);
    changed.clear();
    slider.editBox()->stepBy(1);
    EXPECT_EQ(slider.intValue(), 100);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_FALSE(slider.isUpdateExspected());
    emit slider.editBox()->editingFinished();
    EXPECT_EQ(finished.count(), 1);
    // The integer range is the slider's own range in this scale.
    slider.setIntRange(10, 20);
    EXPECT_EQ(slider.slider()->maximum(), 20);
    EXPECT_EQ(slider.intValue(), 20);
}

TEST(FlatDoubleComboSliderTest, logarithmicEditBoxFinishIsReEmitted)
{
    FlatDoubleComboSlider slider(nullptr, kLogarithmic);
    QSignalSpy finished(&slider, &FlatDoubleComboSlider::editingFinished);
    emit slider.editBox()->editingFinished();
    EXPECT_EQ(finished.count(), 1);
}
