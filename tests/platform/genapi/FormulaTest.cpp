// The formula language through SwissKnife and IntSwissKnife nodes: precedence, integer and double arithmetic.
#include "GenApiFixtures.h"

#include <gtest/gtest.h>
#include <testsupport/LogCapture.h>

#include <cmath>

using namespace GenApi;
using namespace genapitest;

namespace {
std::string knives(const std::string& formula)
{
    return "<Integer Name=\"A\"><Value>7</Value></Integer>"
           "<Float Name=\"F\"><Value>2.5</Value></Float>"
           "<IntSwissKnife Name=\"I\"><pVariable Name=\"A\">A</pVariable><pVariable Name=\"F\">F</pVariable>"
           "<Constant Name=\"C\">3</Constant><Expression Name=\"X\">A*2</Expression><Formula>" +
           formula +
           "</Formula></IntSwissKnife>"
           "<SwissKnife Name=\"D\"><pVariable Name=\"A\">A</pVariable><pVariable Name=\"F\">F</pVariable>"
           "<Constant Name=\"C\">3</Constant><Expression Name=\"X\">A*2</Expression><Formula>" +
           formula + "</Formula></SwissKnife>";
}

struct FormulaCase {
    const char* formula;
    int64_t integer;
    double number;
};

// Names the case in test lists instead of dumping its bytes.
void PrintTo(const FormulaCase& c, std::ostream* os)
{
    *os << c.formula;
}

class FormulaTest : public ::testing::TestWithParam<FormulaCase> {};

// Characters that XML needs escaped are written as entities in the description.
std::string escape(const std::string& s)
{
    std::string out;
    for (char c : s)
        out += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string(1, c);
    return out;
}
} // namespace

TEST_P(FormulaTest, EvaluatesInBothArithmetics)
{
    const FormulaCase& c = GetParam();
    auto map = load(knives(escape(c.formula)));
    CIntegerPtr i = map->GetNode("I");
    CFloatPtr d = map->GetNode("D");
    EXPECT_EQ(i->GetValue(), c.integer) << c.formula;
    EXPECT_NEAR(d->GetValue(), c.number, 1e-9) << c.formula;
}

INSTANTIATE_TEST_SUITE_P(
    Language, FormulaTest,
    ::testing::Values(FormulaCase{"1+2*3", 7, 7.0}, FormulaCase{"(1+2)*3", 9, 9.0},
                      FormulaCase{"7/2", 3, 3.5},                                     // integer division cuts
                      FormulaCase{"-7/2", -3, -3.5},                                  // toward zero
                      FormulaCase{"7%3", 1, 1.0}, FormulaCase{"2**3**2", 512, 512.0}, // ** groups to the right
                      FormulaCase{"-2**2", -4, -4.0}, FormulaCase{"0x1F+1", 32, 32.0},
                      FormulaCase{"0xff&0x0f", 15, 15.0}, FormulaCase{"1<<4|1", 17, 17.0},
                      FormulaCase{"256>>4", 16, 16.0}, FormulaCase{"5^1", 4, 4.0}, FormulaCase{"~0", -1, -1.0},
                      FormulaCase{"1+2=3", 1, 1.0}, FormulaCase{"1<>1", 0, 0.0}, FormulaCase{"2<3&&3<=3", 1, 1.0},
                      FormulaCase{"0||0", 0, 0.0}, FormulaCase{"3>2>1", 0, 0.0}, FormulaCase{"A>5?A:0", 7, 7.0},
                      FormulaCase{"A<5?1:A=7?2:3", 2, 2.0},
                      FormulaCase{"F*2", 4, 5.0},   // a float variable is cut in integer arithmetic
                      FormulaCase{"C+X", 17, 17.0}, // constants and sub-expressions
                      FormulaCase{"ABS(-3)+SGN(-9)+NEG(1)", 1, 1.0}, FormulaCase{"TRUNC(2.7)+FLOOR(-1.5)", 1, 0.0},
                      // In integer arithmetic fractional literals, PI and E are cut before the function runs.
                      FormulaCase{"CEIL(1.2)+ROUND(2.5)", 3, 5.0}, FormulaCase{"SQRT(16)+LG(100)+LN(E)", 6, 7.0},
                      FormulaCase{"ROUND(SIN(PI/2)+COS(0)+TAN(0)+ATAN(0)+ASIN(0)+ACOS(1)+EXP(0))", 2, 3.0},
                      FormulaCase{"  A  *  2  ", 14, 14.0}, FormulaCase{"1.5e1", 15, 15.0},
                      // ROUND's second argument keeps digits after the point (negative: before it).
                      FormulaCase{"ROUND(10.11, 1)", 10, 10.1},
                      FormulaCase{"ROUND(1250, -2)+ROUND(2.375,2)", 1302, 1302.38},
                      FormulaCase{"ROUND(A/3.0, 1+1)", 2, 2.33}),
    [](const ::testing::TestParamInfo<FormulaCase>& info) { return "Case" + std::to_string(info.index); });

TEST(FormulaErrorTest, BrokenFormulasLeaveTheirNodeOutNamingIt)
{
    // A hexadecimal literal is its digits right after the prefix: no sign, space or second prefix.
    const char* broken[] = {"1+", "(1", "1)", "FOO(1)", "Q+1", "1 ? 2", "0x", "#", "0x-1", "0x+5", "0x 5", "0x0x5"};
    for (const char* f : broken) {
        testsupport::LogCapture log;
        auto map = load("<IntSwissKnife Name=\"K\"><Formula>" + escape(f) + "</Formula></IntSwissKnife>"
                        "<Integer Name=\"Good\"><Value>3</Value></Integer>");
        EXPECT_EQ(map->GetNode("K"), nullptr) << f;
        EXPECT_EQ(CIntegerPtr(map->GetNode("Good"))->GetValue(), 3) << f;
        EXPECT_TRUE(log.contains("Node 'K' (IntSwissKnife) is left out")) << f << ": " << dump(log);
    }
}

TEST(FormulaErrorTest, HugeFormulasAreRefusedRatherThanExhaustingTheStack)
{
    std::string longSum = "1";
    for (int i = 0; i < 20000; ++i)
        longSum += "+1";
    const std::string deep = std::string(300, '(') + "1" + std::string(300, ')');
    for (const std::string& formula : {longSum, deep}) {
        testsupport::LogCapture log;
        auto map = load("<IntSwissKnife Name=\"K\"><Formula>" + formula + "</Formula></IntSwissKnife>");
        EXPECT_EQ(map->GetNode("K"), nullptr);
        EXPECT_TRUE(log.contains("Node 'K'")) << dump(log);
    }
}

// Chains that the parser and the evaluators would follow one call deeper per link: a hostile
// description's node is left out like any other broken one, and the program goes on. Shorter chains
// still work.
TEST(FormulaErrorTest, HostileChainsAreRefusedAndShortOnesStillWork)
{
    const auto repeat = [](const std::string& piece, int times) {
        std::string text;
        text.reserve(piece.size() * static_cast<size_t>(times));
        for (int i = 0; i < times; ++i)
            text += piece;
        return text;
    };
    // 150 KB of powers; conditionals each in the last branch of the one before; each in the first.
    const std::string powers = "1" + repeat("**1", 50000);
    const std::string conditionals = repeat("A?0:", 100000) + "1";
    const std::string nested = repeat("A?", 100000) + "1" + repeat(":0", 100000);
    for (const std::string* formula : {&powers, &conditionals, &nested}) {
        testsupport::LogCapture log;
        auto map = load("<Integer Name=\"A\"><Value>7</Value></Integer><IntSwissKnife Name=\"K\">"
                        "<pVariable Name=\"A\">A</pVariable><Formula>" +
                        *formula + "</Formula></IntSwissKnife>");
        EXPECT_EQ(map->GetNode("K"), nullptr) << formula->substr(0, 20);
        EXPECT_TRUE(log.contains("Node 'K' (IntSwissKnife) is left out")) << dump(log).substr(0, 500);
        EXPECT_EQ(CIntegerPtr(map->GetNode("A"))->GetValue(), 7);
    }
    auto map = load("<Integer Name=\"A\"><Value>7</Value></Integer>"
                    "<IntSwissKnife Name=\"P\"><Formula>1" +
                    repeat("**1", 100) +
                    "</Formula></IntSwissKnife>"
                    "<IntSwissKnife Name=\"C\"><pVariable Name=\"A\">A</pVariable><Formula>" +
                    repeat("A=0?0:", 100) + "A</Formula></IntSwissKnife>");
    EXPECT_EQ(CIntegerPtr(map->GetNode("P"))->GetValue(), 1);
    EXPECT_EQ(CIntegerPtr(map->GetNode("C"))->GetValue(), 7);
}

// An integer literal takes 64 bits: a decimal one up to the largest signed value, a hexadecimal one
// any bit pattern. A longer literal is refused rather than cut to the largest value.
TEST(FormulaErrorTest, IntegerLiteralsBeyond64BitsAreRefused)
{
    for (const char* literal : {"99999999999999999999", "18446744073709551616", "9223372036854775808",
                                "0x10000000000000000", "0x1FFFFFFFFFFFFFFFF"}) {
        testsupport::LogCapture log;
        auto map =
            load(std::string("<IntSwissKnife Name=\"K\"><Formula>") + literal +
                 "</Formula></IntSwissKnife><SwissKnife Name=\"D\"><Formula>" + literal + "-1</Formula></SwissKnife>");
        EXPECT_EQ(map->GetNode("K"), nullptr) << literal;
        EXPECT_EQ(map->GetNode("D"), nullptr) << literal;
        EXPECT_TRUE(log.contains("Node 'K' (IntSwissKnife) is left out")) << literal << ": " << dump(log);
    }
    auto map = load("<IntSwissKnife Name=\"Max\"><Formula>9223372036854775807</Formula></IntSwissKnife>"
                    "<IntSwissKnife Name=\"Ones\"><Formula>0xFFFFFFFFFFFFFFFF</Formula></IntSwissKnife>"
                    "<IntSwissKnife Name=\"Min\"><Formula>-9223372036854775807-1</Formula></IntSwissKnife>");
    EXPECT_EQ(CIntegerPtr(map->GetNode("Max"))->GetValue(), INT64_MAX);
    EXPECT_EQ(CIntegerPtr(map->GetNode("Ones"))->GetValue(), -1);
    EXPECT_EQ(CIntegerPtr(map->GetNode("Min"))->GetValue(), INT64_MIN);
}

TEST(FormulaErrorTest, IntegerDivisionByZeroThrowsInsteadOfCrashing)
{
    auto map =
        load("<Integer Name=\"Z\"><Value>0</Value></Integer><IntSwissKnife Name=\"K\">"
             "<pVariable Name=\"Z\">Z</pVariable><Formula>10/Z</Formula></IntSwissKnife>"
             "<IntSwissKnife Name=\"M\"><pVariable Name=\"Z\">Z</pVariable><Formula>10%Z</Formula></IntSwissKnife>");
    EXPECT_THROW(CIntegerPtr(map->GetNode("K"))->GetValue(), GenICam::RuntimeException);
    EXPECT_THROW(CIntegerPtr(map->GetNode("M"))->GetValue(), GenICam::RuntimeException);
}

TEST(FormulaErrorTest, OverflowAndHugeShiftsStayDefined)
{
    auto map = load("<IntSwissKnife Name=\"S\"><Formula>1&lt;&lt;70</Formula></IntSwissKnife>"
                    "<IntSwissKnife Name=\"W\"><Formula>0x7FFFFFFFFFFFFFFF+1</Formula></IntSwissKnife>");
    EXPECT_EQ(CIntegerPtr(map->GetNode("S"))->GetValue(), 0);
    EXPECT_EQ(CIntegerPtr(map->GetNode("W"))->GetValue(), INT64_MIN);
}
