// Tests of the colour matrix arithmetic and the hue/saturation matrix.
#include "ColorMatrix.h"

#include <gtest/gtest.h>

#include <cmath>

using Huvane::ColorMatrix;

namespace {
constexpr double Tolerance = 1e-12;

void expectMatrix(const ColorMatrix& m, const double (&expected)[3][3], double tolerance = Tolerance)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(m.at(i, j), expected[i][j], tolerance) << "element " << i << j;
}

// Matrix times column vector, as the camera applies it.
void transform(const ColorMatrix& m, const double (&in)[3], double (&out)[3])
{
    for (int i = 0; i < 3; ++i)
        out[i] = m.at(i, 0) * in[0] + m.at(i, 1) * in[1] + m.at(i, 2) * in[2];
}
} // namespace

TEST(ColorMatrixTest, StartsAsIdentityWithThreeRowsAndColumns)
{
    const ColorMatrix m;
    EXPECT_EQ(m.rowCount(), 3);
    EXPECT_EQ(m.columnCount(), 3);
    expectMatrix(m, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
}

TEST(ColorMatrixTest, ProductAndTransposeFollowTheRowColumnRule)
{
    ColorMatrix a;
    ColorMatrix b;
    int n = 1;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            a.set(i, j, n);
            b.set(i, j, 10 - n);
            ++n;
        }
    // a = 1..9 by rows, b = 9..1 by rows.
    expectMatrix(a * b, {{30, 24, 18}, {84, 69, 54}, {138, 114, 90}});
    expectMatrix(a.transposed(), {{1, 4, 7}, {2, 5, 8}, {3, 6, 9}});
    EXPECT_DOUBLE_EQ(a.trace(), 15.0);
}

struct HueSaturationCase {
    const char* name;
    double hue;
    double saturation;
    double expected[3][3];
};

// Names the case in test lists instead of dumping its bytes.
void PrintTo(const HueSaturationCase& c, std::ostream* os)
{
    *os << c.name;
}

class HueSaturationTest : public ::testing::TestWithParam<HueSaturationCase> {};

TEST_P(HueSaturationTest, GivesTheExpectedMatrix)
{
    const HueSaturationCase& c = GetParam();
    expectMatrix(ColorMatrix::hueSaturation(c.hue, c.saturation), c.expected, 1e-9);
}

const double Third = 1.0 / 3.0;
INSTANTIATE_TEST_SUITE_P(
    Cases, HueSaturationTest,
    ::testing::Values(
        HueSaturationCase{"Neutral", 0.0, 1.0, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
        // No saturation: every colour becomes its grey value.
        HueSaturationCase{"Grey", 0.0, 0.0, {{Third, Third, Third}, {Third, Third, Third}, {Third, Third, Third}}},
        // Double saturation pushes each channel away from grey: twice the identity less the grey projection.
        HueSaturationCase{
            "DoubleSaturation",
            0.0,
            2.0,
            {{1 + 2 * Third, -Third, -Third}, {-Third, 1 + 2 * Third, -Third}, {-Third, -Third, 1 + 2 * Third}}},
        // A full turn is the identity again.
        HueSaturationCase{"FullTurn", 360.0, 1.0, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}),
    [](const ::testing::TestParamInfo<HueSaturationCase>& info) { return info.param.name; });

TEST(ColorMatrixTest, HalfTurnOfHueKeepsGreyAndHasTraceMinusOne)
{
    const ColorMatrix m = ColorMatrix::hueSaturation(180.0, 1.0);
    EXPECT_NEAR(m.trace(), -1.0, 1e-12);
    double out[3];
    transform(m, {1.0, 1.0, 1.0}, out);
    for (double v : out)
        EXPECT_NEAR(v, 1.0, 1e-12);
}

TEST(ColorMatrixTest, HueRotationKeepsGreyLevelAndLength)
{
    for (double hue : {-180.0, -90.0, -17.0, 45.0, 120.0}) {
        const ColorMatrix m = ColorMatrix::hueSaturation(hue, 1.0);
        double grey[3];
        transform(m, {0.4, 0.4, 0.4}, grey);
        for (double v : grey)
            EXPECT_NEAR(v, 0.4, 1e-12) << hue;
        // A rotation preserves the length of any colour, and the grey level (channel sum).
        const double in[3] = {0.9, 0.2, 0.1};
        double out[3];
        transform(m, in, out);
        EXPECT_NEAR(out[0] * out[0] + out[1] * out[1] + out[2] * out[2], 0.86, 1e-12) << hue;
        EXPECT_NEAR(out[0] + out[1] + out[2], 1.2, 1e-12) << hue;
    }
}

// Positive hue turns red toward yellow and green, negative toward magenta and blue, as the hue of a colour
// wheel runs; 120 degrees moves each primary onto the next.
TEST(ColorMatrixTest, PositiveHueTurnsRedTowardGreen)
{
    struct Turn {
        double hue;
        double expected[3];
    };
    const double c = std::cos(0.5235987755982988) * 2.0 / 3.0; // a primary turned by 30 degrees
    const Turn turns[] = {{120.0, {0, 1, 0}},
                          {-120.0, {0, 0, 1}},
                          {240.0, {0, 0, 1}},
                          {30.0, {1.0 / 3.0 + c, 1.0 / 3.0, 1.0 / 3.0 - c}},
                          {-30.0, {1.0 / 3.0 + c, 1.0 / 3.0 - c, 1.0 / 3.0}}};
    for (const Turn& t : turns) {
        double out[3];
        transform(ColorMatrix::hueSaturation(t.hue, 1.0), {1.0, 0.0, 0.0}, out);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(out[k], t.expected[k], 1e-9) << "hue " << t.hue << " channel " << k;
    }
}

TEST(ColorMatrixTest, SoftwareApplicationClampsAndCutsEachChannel)
{
    ColorMatrix m;
    m.set(0, 0, 2.0);   // red doubled
    m.set(1, 1, -1.0);  // green negated
    m.set(2, 2, 0.999); // blue just below one
    uint8_t rgb[6] = {200, 10, 101, 100, 0, 255};
    m.apply3(rgb, 2);
    const uint8_t expected3[6] = {255, 0, 100, 200, 0, 254};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(rgb[k], expected3[k]) << k;

    uint8_t rgba[4] = {100, 10, 101, 77};
    m.apply4(rgba, 1);
    EXPECT_EQ(rgba[0], 200);
    EXPECT_EQ(rgba[1], 0);
    EXPECT_EQ(rgba[2], 100);
    EXPECT_EQ(rgba[3], 77) << "the fourth byte stays";

    uint16_t rgb16[3] = {40000, 5, 1001};
    m.apply(rgb16, 1);
    EXPECT_EQ(rgb16[0], 65535);
    EXPECT_EQ(rgb16[1], 0);
    EXPECT_EQ(rgb16[2], 999);
}

TEST(ColorMatrixTest, SoftwareApplicationMixesChannelsByRows)
{
    // Element (i, j) weighs input channel j into output channel i, as the camera applies it.
    ColorMatrix m;
    m.set(0, 1, 0.5); // half of the green input joins the red output
    m.set(2, 0, 1.0); // the red input joins the blue output
    uint8_t rgb[3] = {10, 20, 30};
    m.apply3(rgb, 1);
    EXPECT_EQ(rgb[0], 20);
    EXPECT_EQ(rgb[1], 20);
    EXPECT_EQ(rgb[2], 40);
}
