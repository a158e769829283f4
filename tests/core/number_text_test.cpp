// Number text: formatting, lenient parsing with its warning, dialog reading and bounded appending.
#include <cmath>
#include <cstring>
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

TEST_F(FormatNumberTest, RoundsTrimsCutsAndClamps) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        int decimals, maxLength;
        bool trim;
        const char* text;
    } cases[] = {
        {12.3456, 2, 25, true, "12.35"},   {2.5, 0, 25, true, "3"},        {1.0, 3, 25, true, "1"},
        {100, 3, 25, true, "100"},         {0.05, 4, 25, true, "0.05"},    {-0.001, 2, 25, true, "-0"},
        {0, 0, 25, true, "0"},             {0, 5, 25, true, "0"},          {-0.0, 3, 25, true, "0"},
        {1, 3, 25, false, "1.000"},        {-2.25, 1, 25, false, "-2.3"},  {123456.789, 2, 5, true, "56.79"},
        {123456, 0, 3, true, "456"},       {1e19, 0, 25, true, "9223372036854775808"},
        {inf, 0, 25, true, "9223372036854775808"}, {-inf, 0, 25, true, "-9223372036854775808"},
        {1e300, 6, 31, true, "9223372036854.775808"},  // overflows the 64-bit range after scaling
    };
    for (const auto& c : cases) EXPECT_EQ(Format(c.value, c.decimals, c.maxLength, c.trim), c.text) << c.value;
    EXPECT_EQ(Format(std::numeric_limits<double>::quiet_NaN(), 2).substr(0, 1), "-");
}

// Lenient parsing: separators inside numbers are skipped, the text ends at the given length; malformed
// text gives the value read so far and one warning each.
TEST_F(ParseNumberTest, ReadsNumbersAndWarnsOnMalformedText) {
    const struct {
        const char* text;
        double value;
        bool warns;
    } cases[] = {
        {"12.5", 12.5, false},  {"-3e2", -300.0, false}, {"1.5e-3", 1.5 * 0.1 * 0.1 * 0.1, false},
        {"abc", 0.0, false},    {"+7", 7.0, false},      {"1,000", 1000.0, false},
        {"1 000", 1000.0, false}, {"5e-", 5.0, false},   {"123456789012345", 12345678901234.0, false},
        {"1e-999999999", 0.0, false}, {"7+", 7.0, true}, {"1.2.3", 1.2, true},
        {"-4x", 4.0, true},     {"--5", 0.0, true},
    };
    for (const auto& c : cases) {
        int before = Warnings();
        EXPECT_DOUBLE_EQ(Parse(c.text), c.value) << c.text;
        EXPECT_EQ(Warnings() - before, c.warns ? 1 : 0) << c.text;
    }
    EXPECT_TRUE(std::isinf(Parse("1e400")));
    EXPECT_TRUE(std::isinf(Parse("1e999999999")));  // and quickly
    EXPECT_EQ(ParseNumber("12345", 2), 12.0);
    EXPECT_EQ(ParseNumber("12345", 0), 0.0);
    EXPECT_EQ(Headless().messages.at(0).text, "String not a number,\nconversion can be wrong!");
    EXPECT_EQ(Headless().messages.at(0).style, MB_OK | MB_ICONEXCLAMATION);
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
}

TEST(AppendBoundedTest, KeepsThePrefixAndRespectsTheCapacity) {
    const struct {
        const char *text, *source;
        int keep, count, capacity, length;
        const char* result;
    } cases[] = {
        {"abc", "xyz", 2, 3, 4, 4, "abxy"},
        {"zzz", "12", 0, 2, 7, 2, "12"},
        {"hello", "world", 10, 5, 5, 5, "hello"},
        {"ab", "cd\0ef", 9, 5, 9, 4, "abcd"},  // the source ends at its zero byte
    };
    for (const auto& c : cases) {
        char text[16] = {};
        std::strcpy(text, c.text);
        EXPECT_EQ(AppendBounded(text, c.source, c.keep, c.count, c.capacity), c.length) << c.result;
        EXPECT_STREQ(text, c.result);
    }
}
