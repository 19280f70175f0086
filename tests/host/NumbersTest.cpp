#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cstdio>
#include <string>

#include "host/Numbers.h"

namespace qx {
namespace {

// Runs each test under a locale whose decimal separator is a comma, as a
// German desktop has, and puts the previous locale back afterwards.
class DecimalCommaLocale : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = std::setlocale(LC_ALL, nullptr);
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE.utf8")) {
            GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
        }
        // Prove the locale really is a comma locale, else the tests prove nothing.
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
        ASSERT_STREQ(buffer, "1,5");
    }
    void TearDown() override { std::setlocale(LC_ALL, previous_.c_str()); }

    std::string previous_;
};

TEST_F(DecimalCommaLocale, FormattingWritesAPoint) {
    EXPECT_EQ(FormatDouble("%.1f", 13.8), "13.8");
    EXPECT_EQ(FormatDouble("%7.2f", -2.5), "  -2.50");
    EXPECT_EQ(FormatDouble("%g", 0.25), "0.25");
    EXPECT_EQ(FormatC("%d.%d", 1, 10), "1.10");
    EXPECT_EQ(FormatC("%05d", 42), "00042");
    EXPECT_EQ(FormatC("%s=%.3f;%c", "Volts", 13.75, 'V'), "Volts=13.750;V");
    // Longer than any fixed buffer.
    std::string longText(500, 'x');
    EXPECT_EQ(FormatC("%s%.1f", longText.c_str(), 0.5), longText + "0.5");
}

TEST_F(DecimalCommaLocale, ParsingReadsAPointAndNotAComma) {
    EXPECT_DOUBLE_EQ(AtoF("13.8"), 13.8);
    EXPECT_DOUBLE_EQ(AtoF("13,8"), 13.0);
    ASSERT_TRUE(ParseDouble("-0.125").has_value());
    EXPECT_DOUBLE_EQ(*ParseDouble("-0.125"), -0.125);
    EXPECT_FALSE(ParseDouble("0,125").has_value());
}

TEST(AtoF, HasAtofSemantics) {
    EXPECT_DOUBLE_EQ(AtoF("1e1"), 10.0);
    EXPECT_DOUBLE_EQ(AtoF("7abc"), 7.0);
    EXPECT_DOUBLE_EQ(AtoF("  \t-3.5xyz"), -3.5);
    EXPECT_DOUBLE_EQ(AtoF("+.5"), 0.5);
    EXPECT_DOUBLE_EQ(AtoF("5."), 5.0);
    EXPECT_DOUBLE_EQ(AtoF("2e"), 2.0);
    EXPECT_DOUBLE_EQ(AtoF("2e+"), 2.0);
    EXPECT_DOUBLE_EQ(AtoF("2.5E-1"), 0.25);
    EXPECT_DOUBLE_EQ(AtoF("1.2.3"), 1.2);
    EXPECT_EQ(AtoF(""), 0.0);
    EXPECT_EQ(AtoF("abc"), 0.0);
    EXPECT_EQ(AtoF("-"), 0.0);
    EXPECT_EQ(AtoF("."), 0.0);
    EXPECT_EQ(AtoF(" x1"), 0.0);
}

TEST(AtoF, NeverGivesAnInfiniteOrNotANumber) {
    EXPECT_EQ(AtoF("nan"), 0.0);
    EXPECT_EQ(AtoF("inf"), 0.0);
    EXPECT_EQ(AtoF("-infinity"), 0.0);
    EXPECT_EQ(AtoF("0x10"), 0.0);
    EXPECT_EQ(AtoF("1e999"), DBL_MAX);
    EXPECT_EQ(AtoF("-1e999"), -DBL_MAX);
    EXPECT_EQ(AtoF("1e-999"), 0.0);
}

TEST(AtoF, DoesNotReadPastTheView) {
    const char text[] = "12345";
    EXPECT_DOUBLE_EQ(AtoF(std::string_view(text, 2)), 12.0);
}

TEST(ParseDouble, AcceptsOnlyAWholeFiniteNumber) {
    EXPECT_DOUBLE_EQ(ParseDouble(" 42 ").value(), 42.0);
    EXPECT_DOUBLE_EQ(ParseDouble("+1.5e2").value(), 150.0);
    EXPECT_DOUBLE_EQ(ParseDouble(".5").value(), 0.5);
    for (const char* bad :
         {"", " ", "7abc", "1e", "nan", "inf", "-inf", "1e999", "0x1p3", "1 2", "--1", "."}) {
        EXPECT_FALSE(ParseDouble(bad).has_value()) << bad;
    }
}

TEST(ParseInt, DecimalWithOptionalSign) {
    EXPECT_EQ(ParseInt("0").value(), 0);
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
