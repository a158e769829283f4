// The two clipboard parsers on hostile text: no terminating zero, embedded zeros, over-long tokens,
// more rows than the table has, and values far outside the limits.
#include <string>

#include "acquisition/pulse_shape_dialog.h"
#include "analysis/calibration_dialog.h"
#include "core/settings.h"
#include "tests/support/test_support.h"

namespace {
using PasteParserTest = TikTest;

TEST_F(PasteParserTest, ShapeTextEndsAtItsLengthOrAtAZeroByte) {
    double values[SHAPE_POINTS];
    // The length ends the text: "12" read as one character, no terminator needed.
    const char unterminated[] = {'1', '2'};
    ASSERT_EQ(ParsePulseShapePaste(unterminated, 1, values), 1);
    EXPECT_EQ(values[0], 1.0);
    std::string withZero(
        "5\r\n6\0"
        "7\r\n8\r\n",
        11);
    ASSERT_EQ(ParsePulseShapePaste(withZero.data(), withZero.size(), values), 2);
    EXPECT_EQ(values[1], 6.0);
    EXPECT_EQ(ParsePulseShapePaste("", 0, values), 0);
    EXPECT_EQ(ParsePulseShapePaste(" \t;\r\n\r\n", 6, values), 0);
}

TEST_F(PasteParserTest, ShapeRowsStopAtSixtyAndValuesStayWithinTheLimits) {
    std::string text;
    for (int i = 0; i < 75; ++i) text += std::to_string(i) + "\r\n";
    double values[SHAPE_POINTS];
    ASSERT_EQ(ParsePulseShapePaste(text.data(), text.size(), values), SHAPE_POINTS);
    EXPECT_EQ(values[59], 59.0);

    // A token of 200 digits keeps its first 63 characters; both signs clamp at the limit.
    std::string huge = std::string(200, '9') + "\n-" + std::string(200, '9') + "\n1e400\n";
    ASSERT_EQ(ParsePulseShapePaste(huge.data(), huge.size(), values), 3);
    EXPECT_EQ(values[0], 1000000.0);
    EXPECT_EQ(values[1], -1000000.0);
    EXPECT_LE(values[2], 1000000.0);
    EXPECT_GE(values[2], -1000000.0);
}

TEST_F(PasteParserTest, CalibrationTextEndsAtItsLengthAndFillsAtMostSixteenRows) {
    CalibrationPasteCell cells[CALIBRATION_ROWS * 3];
    const char unterminated[] = {'1', '\t', '2', '\t', '3', '4'};
    ASSERT_EQ(ParseCalibrationPaste(unterminated, 5, cells), 3);
    EXPECT_EQ(cells[2].value, 3.0);

    std::string text;
    for (int r = 0; r < 20; ++r) text += "1 2 3 4 5\r\n";
    int count = ParseCalibrationPaste(text.data(), text.size(), cells);
    ASSERT_EQ(count, CALIBRATION_ROWS * 3);
    EXPECT_EQ(cells[count - 1].row, CALIBRATION_ROWS - 1);
    EXPECT_EQ(cells[count - 1].field, 2);

    std::string longToken = std::string(5000, '7') + "\t2\t3\n";
    ASSERT_EQ(ParseCalibrationPaste(longToken.data(), longToken.size(), cells), 3);
    EXPECT_EQ(cells[1].value, 2.0);
}
}  // namespace
