// Calibration: the set-up (sorting, consistency checks, fits, width model, kernel table, overflows),
// the three height-to-quantity mappings, and the "Calibration" dialog with its paste parser.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "analysis/calibration.h"
#include "analysis/calibration_dialog.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
const std::string WRONG_DATA = "Wrong calibration data,\nenergy calibration and Gaussian correlation will be disabled!";
const std::string OVERFLOW_TEXT =
    "Gaussian table overflow,\nGaussian correlation will be disabled!\n"
    "Try to increase Bin size of the pulse height histogram\nin Data Acquisition and Analysis settings.";

class Calibration : public TikTest {
protected:
    // Places points in the last rows of channel c, in the given order; the other rows empty.
    static void SetPoints(int c, std::initializer_list<CalibrationRow> points) {
        for (CalibrationRow& row : settings.calibration[c]) row = {0, 0, 0};
        int r = CALIBRATION_ROWS - static_cast<int>(points.size());
        for (const CalibrationRow& p : points) settings.calibration[c][r++] = p;
    }
    static std::string OnlyMessage() {
        EXPECT_EQ(Headless().messages.size(), 1u);
        return Headless().messages.empty() ? "" : Headless().messages.back().text;
    }
};

TEST_F(Calibration, DefaultTableGivesItsFitsAndAKernelTableOfZeroSumUnitEnergyKernels) {
    ASSERT_TRUE(SetUpCalibration(0));
    EXPECT_EQ(calibrationValid[0] + gaussianValid[0], 2);
    EXPECT_DOUBLE_EQ(originSlope[0], 662.0 / 23.0);
    EXPECT_EQ(lineOffset[0], 0.0);
    const ChannelKernels kernels = KernelsOf(0);
    ASSERT_EQ(kernels.bins, 1999);
    EXPECT_EQ(kernels.index[1998].halfWidth, 60);
    // Each distinct half-width (2 to 60) has one kernel, stored right after the previous one.
    int next = 0;
    for (int k = 0; k < 1999; ++k) {
        const KernelIndexEntry& e = kernels.index[k];
        if (e.offset != next) {
            ASSERT_EQ(e.offset, kernels.index[k - 1].offset) << k;
            continue;
        }
        next += e.halfWidth;
        double sum = 0, energy = 0;
        for (int j = 0; j < e.halfWidth; ++j) {
            sum += kernels.table[e.offset + j];
            energy += kernels.table[e.offset + j] * kernels.table[e.offset + j];
        }
        EXPECT_NEAR(sum, 0.0, 1e-12);
        EXPECT_NEAR(energy, 1.0, 1e-12);
    }
    EXPECT_EQ(next, 59 * 62 / 2);
}

TEST_F(Calibration, InconsistentPointsSwitchCalibrationAndCorrelationOff) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        std::initializer_list<CalibrationRow> points;
    } cases[] = {
        {"row without sd", {{10, 0, 5}, {23, 1, 662}}},
        {"quantity falls", {{10, 1, 700}, {23, 1, 662}}},
        {"infinite mean, no sd", {{inf, 0, 0}}},
        {"no positive mean", {{-5, 1, 3}}},
        {"empty table", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetPoints(0, {{23, 1, 662}});
        ASSERT_TRUE(SetUpCalibration(0));
        Headless().messages.clear();
        SetPoints(0, c.points);
        EXPECT_FALSE(SetUpCalibration(0));
        EXPECT_EQ(calibrationValid[0] + gaussianValid[0], 0);
        EXPECT_EQ(OnlyMessage(), "Left channel problem.\r\n" + WRONG_DATA);
    }
    // The right channel has its own line, and the left one is not touched.
    SetPoints(0, {{23, 1, 662}});
    ASSERT_TRUE(SetUpCalibration(0));
    Headless().messages.clear();
    SetPoints(1, {});
    EXPECT_FALSE(SetUpCalibration(1));
    EXPECT_EQ(OnlyMessage(), "Right channel problem.\r\n" + WRONG_DATA);
    EXPECT_EQ(calibrationValid[0], 1);
}

TEST_F(Calibration, KernelTableOverflowsKeepTheCalibrationButSwitchTheCorrelationOff) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double binSize;  // 0: the smallest bin, as from a damaged file
        std::initializer_list<CalibrationRow> points;
        double originSlope;  // a point with a huge width carries no weight
    } cases[] = {
        {0.00001, {{23, 5, 662}}, 662.0 / 23.0},
        {0.0, {{23, 1, 662}}, 662.0 / 23.0},
        {0.1, {{10, 1, 300}, {23, inf, 662}}, 30.0},
        {0.1, {{10, 1, 300}, {23, 1e17, 662}}, 30.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.binSize);
        Headless().messages.clear();
        settings.channel[0].heightBinSize = c.binSize;
        SetPoints(0, c.points);
        EXPECT_FALSE(SetUpCalibration(0));
        EXPECT_EQ(OnlyMessage(), "Left channel problem.\r\n" + OVERFLOW_TEXT);
        EXPECT_EQ(calibrationValid[0], 1);
        EXPECT_EQ(gaussianValid[0], 0);
        EXPECT_DOUBLE_EQ(originSlope[0], c.originSlope);
    }
    // A later good set-up switches the correlation on again; a huge bin is clamped to 100 arb.u.
    settings.channel[0].heightBinSize = 1e9;
    SetPoints(0, {{23, 1, 662}});
    EXPECT_TRUE(SetUpCalibration(0));
    EXPECT_EQ(gaussianValid[0], 1);
    EXPECT_EQ(kernelBins[0], 2);
}

TEST_F(Calibration, WeightedFitsMapBothWays) {
    SetPoints(0, {{30, 2, 310}, {10, 1, 110}, {20, 1, 210}});
    ASSERT_TRUE(SetUpCalibration(0));
    // The points lie on quantity = 10 x + 10, whatever their weights (1 / sd^2).
    EXPECT_NEAR(lineSlope[0], 10.0, 1e-9);
    EXPECT_NEAR(lineOffset[0], 10.0, 1e-9);
    EXPECT_NEAR(originSlope[0], (10 * 110 + 20 * 210 + 0.25 * 30 * 310) / (100 + 400 + 0.25 * 900), 1e-12);
    SetPoints(0, {{10, 1, 30}, {20, 1, 50}});
    ASSERT_TRUE(SetUpCalibration(0));
    settings.calibrationMode[0] = CALIBRATION_FIT_SLOPE;
    EXPECT_DOUBLE_EQ(Calibrate(0, 10.0, false), 10.0 * originSlope[0]);
    EXPECT_DOUBLE_EQ(Calibrate(0, Calibrate(0, 7.0, false), true), 7.0);
    settings.calibrationMode[0] = CALIBRATION_FIT_LINEAR;
    EXPECT_NEAR(Calibrate(0, 50.0, false), 110.0, 1e-9);
    EXPECT_NEAR(Calibrate(0, 110.0, true), 50.0, 1e-9);
    // A zero slope cannot be inverted: the value comes back unchanged rather than infinite.
    settings.calibrationMode[0] = CALIBRATION_FIT_SLOPE;
    originSlope[0] = 0.0;
    EXPECT_EQ(Calibrate(0, 5.0, true), 5.0);
}

TEST_F(Calibration, InterpolationThroughSortedPoints) {
    settings.calibrationMode[0] = CALIBRATION_INTERPOLATE;
    const struct {
        std::initializer_list<CalibrationRow> points;
        std::vector<std::pair<double, double>> map;  // height, quantity
    } cases[] = {
        {{{10, 1, 100}, {20, 1, 300}}, {{5, 50}, {15, 200}, {25, 400}}},
        // Equal means: both stay, and the empty interval between them is skipped.
        {{{10, 1, 100}, {10, 2, 150}, {20, 1, 300}}, {{10, 150}, {15, 225}}},
        // Beyond two equal largest means: extended from the point below the two.
        {{{10, 1, 100}, {20, 1, 300}, {20, 2, 350}}, {{20, 350}, {24, 450}}},
    };
    for (const auto& c : cases) {
        SetPoints(0, c.points);
        ASSERT_TRUE(SetUpCalibration(0));
        for (auto [height, quantity] : c.map) {
            EXPECT_DOUBLE_EQ(Calibrate(0, height, false), quantity) << height;
            if (c.points.size() == 2) {
                EXPECT_DOUBLE_EQ(Calibrate(0, quantity, true), height) << quantity;
            }
        }
    }
    // Every row at the same mean: the line from the origin through the last point.
    for (CalibrationRow& row : settings.calibration[0]) row = {20, 1, 400};
    ASSERT_TRUE(SetUpCalibration(0));
    EXPECT_DOUBLE_EQ(Calibrate(0, 30, false), 600);
}

class CalibrationDialog : public Calibration {
protected:
    static std::string Text(int control) { return HeadlessItemText(IDD_CALIBRATION, control); }
    static std::string Edit(int c, int row, int field) { return Text(CalibrationEditId(c, row, field)); }
    static void Type(int c, int row, std::initializer_list<const char*> fields) {
        int f = 0;
        for (const char* text : fields) HeadlessTypeText(IDD_CALIBRATION, CalibrationEditId(c, row, f++), text);
    }
    static void Press(int control) { HeadlessPressButton(IDD_CALIBRATION, control); }
    static const HeadlessDialog& Dialog() { return Headless().dialogs[IDD_CALIBRATION]; }
};

TEST_F(CalibrationDialog, OpensOnceAppliesSortedTablesAndRewritesTheEdits) {
    settings.calibrationMode[1] = CALIBRATION_INTERPOLATE;
    Headless().windows[WND_HEIGHT].created = Headless().windows[WND_HEIGHT].visible = true;
    OpenCalibrationDialog();
    ASSERT_TRUE(IsDialogOpen(IDD_CALIBRATION));
    EXPECT_EQ(GetComboBoxSelection(IDD_CALIBRATION, CalibrationChannelId(IDC_CALIBRATION_MODE_LEFT, 1)), 2);
    EXPECT_EQ(Edit(1, 15, 2), "662");
    // The menu command again only raises it.
    OpenCalibrationDialog();
    EXPECT_EQ(Dialog().raisedCount, 1);

    Type(0, 0, {"20", "1", "300"});
    Type(0, 1, {"10", "1", "100"});
    Type(0, 15, {"0", "0", "0"});
    Type(1, 15, {"23", "1", "2000000"});  // clamped to 1000000
    Type(1, 14, {"-5"});                  // clamped to 0: the row stays empty
    HeadlessSelectComboItem(IDD_CALIBRATION, IDC_CALIBRATION_MODE_LEFT, 1);
    HeadlessTypeText(IDD_CALIBRATION, IDC_CALIBRATION_UNITS_LEFT, "Charge deposited in the crystal /pC");
    int invalidations = Headless().windows[WND_HEIGHT].invalidations;
    Press(IDC_CALIBRATION_APPLY);
    EXPECT_EQ(settings.calibration[0][14].quantity, 100);
    EXPECT_EQ(Edit(0, 14, 0), "10");
    EXPECT_EQ(settings.calibrationMode[0], CALIBRATION_FIT_LINEAR);
    EXPECT_NEAR(lineOffset[0], -100.0, 1e-9);
    EXPECT_EQ(settings.calibration[1][15].quantity, 1000000.0);
    EXPECT_EQ(settings.calibration[1][14].mean, 0.0);
    EXPECT_EQ(Text(IDC_CALIBRATION_UNITS_LEFT), "Charge deposited in the cryst");
    EXPECT_GT(Headless().windows[WND_HEIGHT].invalidations, invalidations);  // the full recompute

    // Wrong data warns and leaves that channel's edits as typed (its table sorted).
    Type(1, 0, {"10", "0", "5"});
    Type(0, 0, {"5", "1", "100"});
    Press(IDC_CALIBRATION_APPLY);
    EXPECT_EQ(OnlyMessage(), "Right channel problem.\r\n" + WRONG_DATA);
    EXPECT_EQ(Edit(1, 0, 0), "10");
    EXPECT_EQ(settings.calibration[1][14].mean, 10);
    EXPECT_EQ(Edit(0, 13, 0), "5");
    HeadlessCloseDialog(IDD_CALIBRATION);
    EXPECT_FALSE(runState & RS_CALIBRATION_DIALOG_OPEN);
}

TEST_F(CalibrationDialog, ClearCopyAndPaste) {
    OpenCalibrationDialog();
    Press(CalibrationChannelId(IDC_CALIBRATION_CLEAR_LEFT, 1));
    EXPECT_EQ(settings.calibration[1][15].quantity, 0);
    EXPECT_EQ(settings.calibration[0][15].mean, 23);  // the other channel keeps its table

    // Copy takes what the edits show, cut to nine characters, even before Apply; Paste gives it back.
    Type(0, 0, {"1234567890123"});
    Press(IDC_CALIBRATION_COPY_LEFT);
    Press(CalibrationChannelId(IDC_CALIBRATION_PASTE_LEFT, 1));
    for (int r = 0; r < CALIBRATION_ROWS; ++r) EXPECT_EQ(Edit(1, r, 2), Edit(0, r, 2)) << r;
    EXPECT_EQ(Edit(1, 0, 0), "123456789");

    // Pasted rows fill the table and the edits; rows not in the text stay.
    SetClipboardText("1\t2\t3\r\n4;5 6\r\n");
    Press(IDC_CALIBRATION_PASTE_LEFT);
    EXPECT_EQ(settings.calibration[0][1].sd, 5);
    EXPECT_EQ(Edit(0, 1, 2), "6");
    EXPECT_EQ(settings.calibration[0][15].mean, 23);
    // Without text on the clipboard nothing changes; a malformed number is read as far as it goes.
    Headless().clipboardHasText = false;
    Press(IDC_CALIBRATION_PASTE_LEFT);
    EXPECT_EQ(settings.calibration[0][0].mean, 1);
    SetClipboardText(("1x 2 3\r\n" + std::string(100000, '7') + " 2 3").c_str());
    Press(IDC_CALIBRATION_PASTE_LEFT);
    EXPECT_EQ(OnlyMessage(), "String not a number,\nconversion can be wrong!");
    EXPECT_TRUE(std::isfinite(settings.calibration[0][1].mean) && settings.calibration[0][1].mean > 7e12);
    EXPECT_EQ(settings.calibration[0][1].sd, 2);
}

// The parser: up to three tokens per line fill a row, blank lines make no row, at most sixteen rows,
// the text ends at its length or at a zero byte, and a long token is one value.
TEST(CalibrationPasteParser, RowsOfThreeTokensWithinTheTable) {
    std::string twenty;
    for (int r = 0; r < 20; ++r) twenty += "1 2 3 4 5\r\n";
    struct Cell {
        int row, field;
        double value;
        bool operator==(const Cell& o) const { return row == o.row && field == o.field && value == o.value; }
    };
    const struct {
        std::string text;
        size_t length;  // npos: the whole text
        std::vector<Cell> cells;
        int count;  // -1: the number of cells listed
    } cases[] = {
        {"", std::string::npos, {}, -1},
        {"\r\n\r\n;  \t", std::string::npos, {}, -1},
        {"7", std::string::npos, {{0, 0, 7}}, -1},
        {std::string("1 2 3\r\n\r\n\r\n4 5 6\0 7 8 9", 24), std::string::npos,
         {{0, 0, 1}, {0, 1, 2}, {0, 2, 3}, {1, 0, 4}, {1, 1, 5}, {1, 2, 6}}, -1},
        {"1 2 3 4", 3, {{0, 0, 1}, {0, 1, 2}}, -1},
        {"1\t2\t34", 5, {{0, 0, 1}, {0, 1, 2}, {0, 2, 3}}, -1},
        // A tab before CR LF does not end the row: the next line continues it.
        {"7\t8\t\r\n9\t10\r\n11 12 13", std::string::npos,
         {{0, 0, 7}, {0, 1, 8}, {0, 2, 9}, {1, 0, 11}, {1, 1, 12}, {1, 2, 13}}, -1},
        {std::string(5000, '7') + "\t2\t3\n", std::string::npos, {}, 3},
        {twenty, std::string::npos, {}, CALIBRATION_ROWS * 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        CalibrationPasteCell cells[CALIBRATION_ROWS * 3];
        size_t length = c.length == std::string::npos ? c.text.size() : c.length;
        int count = ParseCalibrationPaste(c.text.data(), length, cells);
        if (c.count >= 0) {
            ASSERT_EQ(count, c.count);
            EXPECT_EQ(cells[1].value, 2.0);  // the long token is one value
            EXPECT_EQ(cells[count - 1].row * 3 + cells[count - 1].field, count - 1);
            continue;
        }
        std::vector<Cell> got;
        for (int i = 0; i < count; ++i) got.push_back({cells[i].row, cells[i].field, cells[i].value});
        EXPECT_EQ(got, c.cells);
    }
}
}  // namespace
