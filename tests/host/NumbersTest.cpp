#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cstdio>
#include <string>
#include <utility>

#include "core/host/Numbers.h"

namespace qx {
namespace {

// Runs under a locale whose decimal separator is a comma and restores the previous one.
class DecimalCommaLocale : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = std::setlocale(LC_ALL, nullptr);
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE.utf8")) {
            GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
        }
        char buffer[32];  // the locale really formats a comma, else the test proves nothing
        std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
        ASSERT_STREQ(buffer, "1,5");
    }
    void TearDown() override { std::setlocale(LC_ALL, previous_.c_str()); }

    std::string previous_;
};

TEST_F(DecimalCommaLocale, FormattingWritesAndParsingReadsAPoint) {
    EXPECT_EQ(FormatDouble("%.1f", 13.8), "13.8");
    EXPECT_EQ(FormatDouble("%7.2f", -2.5), "  -2.50");
    EXPECT_EQ(FormatDouble("%g", 0.25), "0.25");
    EXPECT_EQ(FormatC("%s=%.3f;%c%05d", "Volts", 13.75, 'V', 42), "Volts=13.750;V00042");
    const std::string longText(500, 'x');  // longer than any fixed buffer
    EXPECT_EQ(FormatC("%s%.1f", longText.c_str(), 0.5), longText + "0.5");

    EXPECT_DOUBLE_EQ(AtoF("13.8"), 13.8);
    EXPECT_DOUBLE_EQ(AtoF("13,8"), 13.0);
    EXPECT_DOUBLE_EQ(ParseDouble("-0.125").value_or(0), -0.125);
    EXPECT_FALSE(ParseDouble("0,125").has_value());
}

TEST(AtoF, HasAtofSemanticsButNeverGivesAnInfiniteOrNotANumber) {
    const std::pair<const char*, double> cases[] = {
        {"1e1", 10.0},  {"7abc", 7.0},      {"  \t-3.5xyz", -3.5}, {"+.5", 0.5},
        {"5.", 5.0},    {"2e", 2.0},        {"2e+", 2.0},          {"2.5E-1", 0.25},
        {"1.2.3", 1.2}, {"", 0.0},          {"abc", 0.0},          {"-", 0.0},
        {".", 0.0},     {" x1", 0.0},       {"nan", 0.0},          {"inf", 0.0},
        {"0x10", 0.0},  {"-infinity", 0.0}, {"1e999", DBL_MAX},    {"-1e999", -DBL_MAX},
        {"1e-999", 0.0}};
    for (const auto& [text, value] : cases) EXPECT_DOUBLE_EQ(AtoF(text), value) << text;
    EXPECT_DOUBLE_EQ(AtoF(std::string_view("12345", 2)), 12.0);  // never reads past the view
}

TEST(ParseNumbers, AcceptOnlyAWholeFiniteNumber) {
    EXPECT_DOUBLE_EQ(ParseDouble(" 42 ").value(), 42.0);
    EXPECT_DOUBLE_EQ(ParseDouble("+1.5e2").value(), 150.0);
    EXPECT_DOUBLE_EQ(ParseDouble(".5").value(), 0.5);
    for (const char* bad :
         {"", " ", "7abc", "1e", "nan", "inf", "-inf", "1e999", "0x1p3", "1 2", "--1", "."}) {
        EXPECT_FALSE(ParseDouble(bad).has_value()) << bad;
    }
    EXPECT_EQ(ParseInt(" -17 ").value(), -17);
    EXPECT_EQ(ParseInt("+9").value(), 9);
    EXPECT_EQ(ParseInt("9223372036854775807").value(), 9223372036854775807LL);
    EXPECT_EQ(ParseInt("-9223372036854775808").value(), -9223372036854775807LL - 1);
    for (const char* bad : {"", "-", "+", "12x", "1.0", "0x10", "9223372036854775808",
                            "-9223372036854775809", "+-1", "1 2"}) {
        EXPECT_FALSE(ParseInt(bad).has_value()) << bad;
    }
}

}  // namespace
}  // namespace qx
