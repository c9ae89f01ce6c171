// Tests of the linear and S-shaped lookup-table curves.
#include "ToneCurve.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {
using Fill = std::function<void(std::vector<uint32_t>&, double, double, uint32_t, uint32_t)>;

struct Curve {
    const char* name;
    Fill fill;
};
const Curve Linear{"linear", Huvane::ToneCurve::fillLinear};
const Curve SCurve{"s-curve", Huvane::ToneCurve::fillSCurve};

std::vector<uint32_t> table(const Curve& curve, size_t entries, double brightness, double contrast)
{
    std::vector<uint32_t> t(entries, 0xDEADBEEF);
    const uint32_t largest = entries > 0 ? uint32_t(entries - 1) : 0;
    curve.fill(t, brightness, contrast, largest, 1);
    return t;
}
} // namespace

TEST(ToneCurveTest, NeutralSettingsGiveTheIdentityForBothCurves)
{
    for (const Curve& curve : {Linear, SCurve})
        for (size_t entries : {256u, 1024u, 4096u, 65536u}) {
            const std::vector<uint32_t> t = table(curve, entries, 0.0, 0.0);
            size_t mismatches = 0;
            for (size_t i = 0; i < t.size(); ++i)
                mismatches += t[i] != i;
            EXPECT_EQ(mismatches, 0u) << curve.name << " with " << entries << " entries";
        }
}

struct ConstantCase {
    const char* name;
    const char* curve;
    double brightness;
    double contrast;
    uint32_t expected; // for every entry of a 4096-entry table
};

// Names the case in test lists instead of dumping its bytes.
void PrintTo(const ConstantCase& c, std::ostream* os)
{
    *os << c.name;
}

class ToneCurveConstantTest : public ::testing::TestWithParam<ConstantCase> {};

TEST_P(ToneCurveConstantTest, FillsEveryEntryWithOneValue)
{
    const ConstantCase& c = GetParam();
    const Curve& curve = std::string(c.curve) == "linear" ? Linear : SCurve;
    const std::vector<uint32_t> t = table(curve, 4096, c.brightness, c.contrast);
    for (size_t i = 0; i < t.size(); ++i)
        ASSERT_EQ(t[i], c.expected) << "entry " << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, ToneCurveConstantTest,
                         ::testing::Values(ConstantCase{"LinearBrightest", "linear", 1.0, 0.0, 4095},
                                           ConstantCase{"LinearDarkest", "linear", -1.0, 0.0, 0},
                                           ConstantCase{"LinearNoContrast", "linear", 0.0, -1.0, 2047},
                                           // Brightness at either end collapses an S-curve segment; the
                                           // table must still be all white or all black, not garbage.
                                           ConstantCase{"SCurveBrightest", "s-curve", 1.0, 0.0, 4095},
                                           ConstantCase{"SCurveDarkest", "s-curve", -1.0, 0.0, 0},
                                           ConstantCase{"SCurveBrightestWithContrast", "s-curve", 1.0, 0.7, 4095},
                                           ConstantCase{"SCurveDarkestWithoutContrast", "s-curve", -1.0, -0.7, 0}),
                         [](const ::testing::TestParamInfo<ConstantCase>& info) { return info.param.name; });

TEST(ToneCurveTest, LinearContrastClipsDarkAndBrightValues)
{
    const std::vector<uint32_t> t = table(Linear, 4096, 0.0, 0.5);
    const double v = 4095.0;
    // k = tan(3 pi / 8) = 2.414: the line leaves 0 at about 0.293 V and reaches V at about 0.707 V.
    for (size_t i = 0; i < t.size(); ++i) {
        if (i < 0.292 * v) {
            ASSERT_EQ(t[i], 0u) << i;
        }
        if (i > 0.708 * v) {
            ASSERT_EQ(t[i], 4095u) << i;
        }
    }
    EXPECT_GT(t[size_t(0.3 * v)], 0u);
    EXPECT_LT(t[size_t(0.7 * v)], 4095u);
    EXPECT_NEAR(double(t[2048]) - double(t[2047]), 2.414, 1.0);
}

TEST(ToneCurveTest, SCurveCompressesInsteadOfClipping)
{
    const std::vector<uint32_t> s = table(SCurve, 4096, 0.0, 0.5);
    const std::vector<uint32_t> lin = table(Linear, 4096, 0.0, 0.5);
    // Through the middle (V / 2 = 2047.5), steeper than the identity there.
    EXPECT_LE(s[2047], 2047u);
    EXPECT_GE(s[2048], 2048u);
    EXPECT_GT(double(s[2147]) - double(s[1947]), 200.0);
    // Where the linear curve is clipped, the S-curve still tells values apart.
    EXPECT_EQ(lin[400], 0u);
    EXPECT_GT(s[400], 0u);
    EXPECT_LT(s[400], s[800]);
    EXPECT_EQ(lin[3700], 4095u);
    EXPECT_LT(s[3700], 4095u);
    EXPECT_LT(s[3300], s[3700]);
    // The ends are black and white.
    EXPECT_EQ(s.front(), 0u);
    EXPECT_EQ(s.back(), 4095u);
}

TEST(ToneCurveTest, EveryCurveIsMonotoneAndInRange)
{
    const double settings[] = {-1.0, -0.75, -0.5, -0.01, 0.0, 0.3, 0.5, 0.99, 1.0};
    for (const Curve& curve : {Linear, SCurve})
        for (double b : settings)
            for (double c : settings) {
                const std::vector<uint32_t> t = table(curve, 1024, b, c);
                for (size_t i = 0; i < t.size(); ++i) {
                    ASSERT_LE(t[i], 1023u) << curve.name << " b=" << b << " c=" << c << " entry " << i;
                    if (i > 0) {
                        ASSERT_GE(t[i], t[i - 1]) << curve.name << " b=" << b << " c=" << c << " entry " << i;
                    }
                }
            }
}

TEST(ToneCurveTest, BrightnessShiftsTheLinearCurve)
{
    const std::vector<uint32_t> t = table(Linear, 256, 0.5, 0.0);
    // Slope one, moved up by half the range.
    EXPECT_EQ(t[0], 127u);
    EXPECT_EQ(t[100], 227u);
    EXPECT_EQ(t[200], 255u);
}

TEST(ToneCurveTest, TinyTablesAreFilledWithoutDividingByZero)
{
    for (const Curve& curve : {Linear, SCurve}) {
        std::vector<uint32_t> empty;
        curve.fill(empty, 0.3, 0.3, 0, 1);
        EXPECT_TRUE(empty.empty());
        const std::vector<uint32_t> one = table(curve, 1, 0.3, 0.3);
        ASSERT_EQ(one.size(), 1u);
        EXPECT_EQ(one[0], 0u) << curve.name;
        const std::vector<uint32_t> two = table(curve, 2, 0.0, 0.0);
        EXPECT_EQ(two, (std::vector<uint32_t>{0, 1})) << curve.name;
    }
}

TEST(ToneCurveTest, ShapeFunctionIsTheIdentityForParameterZeroAndKeepsItsEnds)
{
    for (double x : {0.0, 0.25, 0.5, 1.0})
        EXPECT_DOUBLE_EQ(Huvane::ToneCurve::shape(0.0, x), x);
    for (double h : {0.1, 0.5, 2.0, 10.0}) {
        const double p = Huvane::ToneCurve::shapeParameter(h);
        EXPECT_NEAR(p, (1.0 - h) / (2.0 * (1.0 + h)), 1e-12) << h;
        EXPECT_NEAR(Huvane::ToneCurve::shape(p, 0.0), 0.0, 1e-12) << h;
        EXPECT_NEAR(Huvane::ToneCurve::shape(p, 1.0), 1.0, 1e-12) << h;
    }
    EXPECT_DOUBLE_EQ(Huvane::ToneCurve::shapeParameter(1.0), 0.0);
}
