// Number text: formatting, lenient parsing with its warning, dialog reading and bounded appending.
#include <cmath>
#include <limits>
#include <string>

#include "core/ids.h"
#include "core/number_text.h"
#include "platform/headless/headless.h"
#include "tests/support/test_support.h"

namespace {
std::string Format(double value, int decimals, int maxLength = 25, bool trim = true) {
    char text[64];
    int n = FormatNumber(value, decimals, maxLength, text, trim);
    EXPECT_EQ(n, static_cast<int>(std::string(text).size()));
    return text;
}

double Parse(const std::string& text) { return ParseNumber(text.c_str(), static_cast<int>(text.size()) + 1); }

int Warnings() { return static_cast<int>(Headless().messages.size()); }
}  // namespace

using FormatNumberTest = TikTest;
using ParseNumberTest = TikTest;
using DialogNumberTest = TikTest;

TEST_F(FormatNumberTest, RoundsAndTrims) {
    EXPECT_EQ(Format(12.3456, 2), "12.35");
    EXPECT_EQ(Format(2.5, 0), "3");
    EXPECT_EQ(Format(1.000, 3), "1");
    EXPECT_EQ(Format(100, 3), "100");
    EXPECT_EQ(Format(0.05, 4), "0.05");
    EXPECT_EQ(Format(-0.001, 2), "-0");
    EXPECT_EQ(Format(0, 0), "0");
    EXPECT_EQ(Format(0, 5), "0");
    EXPECT_EQ(Format(-0.0, 3), "0");
    EXPECT_EQ(Format(1, 3, 25, false), "1.000");
    EXPECT_EQ(Format(-2.25, 1, 25, false), "-2.3");
}

TEST_F(FormatNumberTest, CutsLeadingDigitsAtMaximumLength) {
    EXPECT_EQ(Format(123456.789, 2, 5), "56.79");
    EXPECT_EQ(Format(123456, 0, 3), "456");
}

TEST_F(FormatNumberTest, ClampsHugeAndNonFiniteValues) {
    EXPECT_EQ(Format(1e19, 0), "9223372036854775808");
    EXPECT_EQ(Format(std::numeric_limits<double>::infinity(), 0), "9223372036854775808");
    EXPECT_EQ(Format(-std::numeric_limits<double>::infinity(), 0), "-9223372036854775808");
    std::string nan = Format(std::numeric_limits<double>::quiet_NaN(), 2);
    ASSERT_FALSE(nan.empty());
    EXPECT_EQ(nan[0], '-');
    // A huge value with many decimals overflows the 64-bit range after scaling: still defined.
    EXPECT_EQ(Format(1e300, 6, 31, true), "9223372036854.775808");
}

TEST_F(ParseNumberTest, ReadsPlainNumbersWithoutWarning) {
    EXPECT_DOUBLE_EQ(Parse("12.5"), 12.5);
    EXPECT_DOUBLE_EQ(Parse("-3e2"), -300.0);
    EXPECT_DOUBLE_EQ(Parse("1.5e-3"), 1.5 * 0.1 * 0.1 * 0.1);
    EXPECT_DOUBLE_EQ(Parse("abc"), 0.0);
    EXPECT_DOUBLE_EQ(Parse("+7"), 7.0);
    EXPECT_DOUBLE_EQ(Parse("1,000"), 1000.0);
    EXPECT_DOUBLE_EQ(Parse("1 000"), 1000.0);
    EXPECT_DOUBLE_EQ(Parse("5e-"), 5.0);
    EXPECT_DOUBLE_EQ(Parse("123456789012345"), 12345678901234.0);
    EXPECT_TRUE(std::isinf(Parse("1e400")));
    EXPECT_EQ(Warnings(), 0);
}

TEST_F(ParseNumberTest, WarnsOnMalformedTextAndReturnsThePartialValue) {
    EXPECT_DOUBLE_EQ(Parse("7+"), 7.0);
    EXPECT_DOUBLE_EQ(Parse("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(Parse("-4x"), 4.0);
    EXPECT_DOUBLE_EQ(Parse("--5"), 0.0);
    ASSERT_EQ(Warnings(), 4);
    EXPECT_EQ(Headless().messages[0].text, "String not a number,\nconversion can be wrong!");
    EXPECT_EQ(Headless().messages[0].style, MB_OK | MB_ICONEXCLAMATION);
}

TEST_F(ParseNumberTest, HugeExponentsTerminateQuickly) {
    EXPECT_TRUE(std::isinf(Parse("1e999999999")));
    EXPECT_DOUBLE_EQ(Parse("1e-999999999"), 0.0);
    EXPECT_EQ(ParseNumber("12345", 2), 12.0);
    EXPECT_EQ(ParseNumber("12345", 0), 0.0);
}

TEST_F(DialogNumberTest, ReadsClampedValuesAndWritesTrimmedText) {
    OpenDialog(IDD_DAQ, NO_OWNER, nullptr);
    HeadlessTypeText(IDD_DAQ, IDC_DAQ_MIN_HEIGHT, "");
    EXPECT_DOUBLE_EQ(ReadDialogNumber(IDD_DAQ, IDC_DAQ_MIN_HEIGHT, 1.0, 5.0), 1.0);
    EXPECT_EQ(Warnings(), 0);
    HeadlessTypeText(IDD_DAQ, IDC_DAQ_MIN_HEIGHT, "250");
    EXPECT_DOUBLE_EQ(ReadDialogNumber(IDD_DAQ, IDC_DAQ_MIN_HEIGHT, -100, 100), 100.0);
    HeadlessTypeText(IDD_DAQ, IDC_DAQ_MIN_HEIGHT, "-3.5");
    EXPECT_DOUBLE_EQ(ReadDialogNumber(IDD_DAQ, IDC_DAQ_MIN_HEIGHT, -100, 100), -3.5);
    WriteDialogNumber(IDD_DAQ, IDC_DAQ_MAX_DISTORTION, 22.7272727, 1);
    EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_MAX_DISTORTION), "22.7");
    WriteDialogNumber(IDD_DAQ, IDC_DAQ_MAX_DISTORTION, 1e30, 4);
    EXPECT_LE(HeadlessItemText(IDD_DAQ, IDC_DAQ_MAX_DISTORTION).size(), 25u);
}

TEST(AppendBoundedTest, KeepsThePrefixAndRespectsTheCapacity) {
    char text[16] = "abc";
    EXPECT_EQ(AppendBounded(text, "xyz", 2, 3, 4), 4);
    EXPECT_STREQ(text, "abxy");

    char empty[8] = "zzz";
    EXPECT_EQ(AppendBounded(empty, "12", 0, 2, 7), 2);
    EXPECT_STREQ(empty, "12");

    char full[6] = "hello";
    EXPECT_EQ(AppendBounded(full, "world", 10, 5, 5), 5);
    EXPECT_STREQ(full, "hello");

    char stopped[10] = "ab";
    EXPECT_EQ(AppendBounded(stopped, "cd\0ef", 9, 5, 9), 4);
    EXPECT_STREQ(stopped, "abcd");
}
