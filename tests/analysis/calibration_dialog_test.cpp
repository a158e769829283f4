// The "Calibration" dialog through the headless seam: initialisation, Apply, Clear, Copy and Paste.
#include <cmath>
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
class CalibrationDialog : public TikTest {
protected:
    static std::string Text(int control) { return HeadlessItemText(IDD_CALIBRATION, control); }
    static std::string Edit(int c, int row, int field) { return Text(CalibrationEditId(c, row, field)); }
    static void Type(int c, int row, int field, const std::string& text) {
        HeadlessTypeText(IDD_CALIBRATION, CalibrationEditId(c, row, field), text);
    }
    static void Press(int control) { HeadlessPressButton(IDD_CALIBRATION, control); }
    static void Paste(int c, const std::string& text) {
        SetClipboardText(text.c_str());
        Press(IDC_CALIBRATION_PASTE_LEFT + c * IDC_CALIBRATION_RIGHT_SHIFT);
    }
    static const HeadlessDialog& Dialog() { return Headless().dialogs[IDD_CALIBRATION]; }
};

TEST_F(CalibrationDialog, OpensWithTheTableModesAndUnitsAndOnlyOnce) {
    settings.calibrationMode[1] = CALIBRATION_INTERPOLATE;
    OpenCalibrationDialog();
    ASSERT_TRUE(IsDialogOpen(IDD_CALIBRATION));
    EXPECT_EQ(Dialog().owner, NO_OWNER);
    EXPECT_TRUE(runState & RS_CALIBRATION_DIALOG_OPEN);
    const std::vector<std::string> modes = {"Fit slope", "Fit linear", "Interpolate"};
    EXPECT_EQ(Dialog().items.at(IDC_CALIBRATION_MODE_LEFT).comboItems, modes);
    EXPECT_EQ(Dialog().items.at(CalibrationChannelId(IDC_CALIBRATION_MODE_LEFT, 1)).comboItems, modes);
    EXPECT_EQ(GetComboBoxSelection(IDD_CALIBRATION, IDC_CALIBRATION_MODE_LEFT), 0);
    EXPECT_EQ(GetComboBoxSelection(IDD_CALIBRATION, CalibrationChannelId(IDC_CALIBRATION_MODE_LEFT, 1)), 2);
    EXPECT_EQ(Edit(0, 15, 0), "23");
    EXPECT_EQ(Edit(0, 15, 1), "1");
    EXPECT_EQ(Edit(0, 15, 2), "662");
    EXPECT_EQ(Text(CalibrationEditId(1, 15, 2)), "662");
    EXPECT_EQ(Edit(1, 0, 0), "0");
    EXPECT_EQ(Text(IDC_CALIBRATION_UNITS_LEFT), "Energy /keV");
    EXPECT_EQ(Text(CalibrationChannelId(IDC_CALIBRATION_UNITS_LEFT, 1)), "Energy /keV");

    // The menu command again only raises it; a reload refreshes the values without adding the
    // modes twice and does not ask for the focus.
    OpenCalibrationDialog();
    EXPECT_EQ(Dialog().raisedCount, 1);
    settings.calibration[0][15].quantity = 700.5;
    EXPECT_FALSE(CalibrationDialogProc(IDD_CALIBRATION, DLG_INIT, 0));
    EXPECT_EQ(Edit(0, 15, 2), "700.5");
    EXPECT_EQ(Dialog().items.at(IDC_CALIBRATION_MODE_LEFT).comboItems.size(), 3u);

    HeadlessCloseDialog(IDD_CALIBRATION);
    EXPECT_FALSE(IsDialogOpen(IDD_CALIBRATION));
    EXPECT_EQ(Dialog().result, 1);
    EXPECT_FALSE(runState & RS_CALIBRATION_DIALOG_OPEN);
    OpenCalibrationDialog();
    EXPECT_EQ(Dialog().items.at(IDC_CALIBRATION_MODE_LEFT).comboItems.size(), 3u);
}

TEST_F(CalibrationDialog, ApplyStoresSortsSetsUpAndRewritesTheEdits) {
    Headless().windows[WND_HEIGHT].created = true;
    Headless().windows[WND_HEIGHT].visible = true;
    OpenCalibrationDialog();
    Type(0, 0, 0, "20");
    Type(0, 0, 1, "1");
    Type(0, 0, 2, "300");
    Type(0, 1, 0, "10");
    Type(0, 1, 1, "1");
    Type(0, 1, 2, "100");
    for (int f = 0; f < 3; ++f) Type(0, 15, f, "0");
    Type(1, 15, 2, "2000000");  // clamped to 1000000
    Type(1, 14, 0, "-5");       // clamped to 0: the row stays empty
    HeadlessSelectComboItem(IDD_CALIBRATION, IDC_CALIBRATION_MODE_LEFT, 1);
    HeadlessTypeText(IDD_CALIBRATION, IDC_CALIBRATION_UNITS_LEFT, "Charge deposited in the crystal /pC");
    int invalidations = Headless().windows[WND_HEIGHT].invalidations;
    Press(IDC_CALIBRATION_APPLY);

    EXPECT_TRUE(Headless().messages.empty());
    const CalibrationRow* left = settings.calibration[0];
    EXPECT_EQ(left[14].mean, 10);
    EXPECT_EQ(left[14].quantity, 100);
    EXPECT_EQ(left[15].mean, 20);
    EXPECT_EQ(left[0].mean, 0);
    EXPECT_EQ(Edit(0, 0, 0), "0");
    EXPECT_EQ(Edit(0, 14, 0), "10");
    EXPECT_EQ(Edit(0, 15, 2), "300");
    EXPECT_EQ(settings.calibrationMode[0], CALIBRATION_FIT_LINEAR);
    EXPECT_NEAR(lineSlope[0], 20.0, 1e-12);
    EXPECT_NEAR(lineOffset[0], -100.0, 1e-9);
    EXPECT_EQ(settings.calibration[1][15].quantity, 1000000.0);
    EXPECT_EQ(settings.calibration[1][14].mean, 0.0);
    EXPECT_EQ(calibrationValid[0], 1);
    EXPECT_EQ(calibrationValid[1], 1);
    EXPECT_EQ(std::string(settings.quantityUnits[0]), "Charge deposited in the cryst");
    EXPECT_EQ(Text(IDC_CALIBRATION_UNITS_LEFT), "Charge deposited in the cryst");
    // The full recompute rebuilt the visible height window.
    EXPECT_GT(Headless().windows[WND_HEIGHT].invalidations, invalidations);
}

TEST_F(CalibrationDialog, ApplyWithWrongDataWarnsAndLeavesThatChannelsEditsAsTyped) {
    OpenCalibrationDialog();
    Type(1, 0, 0, "10");
    Type(1, 0, 1, "0");
    Type(1, 0, 2, "5");
    Type(0, 0, 0, "5");
    Type(0, 0, 1, "1");
    Type(0, 0, 2, "100");
    Press(IDC_CALIBRATION_APPLY);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text,
              "Right channel problem.\r\nWrong calibration data,\nenergy calibration and Gaussian correlation "
              "will be disabled!");
    EXPECT_EQ(calibrationValid[1], 0);
    EXPECT_EQ(Edit(1, 0, 0), "10");               // not rewritten
    EXPECT_EQ(settings.calibration[1][14].mean, 10);  // but the table is sorted
    EXPECT_EQ(Edit(0, 0, 0), "0");                // the left channel was rewritten sorted
    EXPECT_EQ(Edit(0, 14, 0), "5");
}

TEST_F(CalibrationDialog, ClearEmptiesOneChannel) {
    OpenCalibrationDialog();
    Press(CalibrationChannelId(IDC_CALIBRATION_CLEAR_LEFT, 1));
    for (int r = 0; r < CALIBRATION_ROWS; ++r) {
        for (int f = 0; f < 3; ++f) ASSERT_EQ(Edit(1, r, f), "0");
        ASSERT_EQ(settings.calibration[1][r].mean + settings.calibration[1][r].sd + settings.calibration[1][r].quantity, 0);
    }
    EXPECT_EQ(Edit(0, 15, 0), "23");
    EXPECT_EQ(settings.calibration[0][15].mean, 23);
}

TEST_F(CalibrationDialog, CopyPutsTheEditTextsOnTheClipboard) {
    OpenCalibrationDialog();
    Press(IDC_CALIBRATION_COPY_LEFT);
    std::string expected;
    for (int r = 0; r < 15; ++r) expected += "0\t0\t0\r\n";
    expected += "23\t1\t662\r\n";
    EXPECT_EQ(Headless().clipboard, expected);

    // What the edits show, cut to nine characters, even before Apply.
    Type(0, 0, 0, "123456.789");
    Type(0, 0, 1, "abc");
    Press(IDC_CALIBRATION_COPY_LEFT);
    EXPECT_EQ(Headless().clipboard.substr(0, 17), "123456.78\tabc\t0\r\n");
    // Sixteen rows of nine-character values still fit the 512-byte block.
    for (int r = 0; r < 16; ++r)
        for (int f = 0; f < 3; ++f) Type(1, r, f, "1234567890123");
    Press(CalibrationChannelId(IDC_CALIBRATION_COPY_LEFT, 1));
    EXPECT_EQ(Headless().clipboard.size(), 16u * 31u);
    EXPECT_LT(Headless().clipboard.size(), static_cast<size_t>(CALIBRATION_CLIPBOARD_SIZE));
}

TEST_F(CalibrationDialog, PasteFillsRowsFromTheTokens) {
    OpenCalibrationDialog();
    Paste(0, "1\t2\t3\r\n4;5 6\r\n");
    EXPECT_EQ(settings.calibration[0][0].mean, 1);
    EXPECT_EQ(settings.calibration[0][0].quantity, 3);
    EXPECT_EQ(settings.calibration[0][1].mean, 4);
    EXPECT_EQ(settings.calibration[0][1].sd, 5);
    EXPECT_EQ(settings.calibration[0][1].quantity, 6);
    EXPECT_EQ(Edit(0, 1, 2), "6");
    EXPECT_EQ(settings.calibration[0][15].mean, 23);  // rows not in the text stay
    EXPECT_TRUE(Headless().messages.empty());

    // A tab before CR LF does not end the row: the next line continues it (beyond the third token
    // ignored).
    Paste(1, "7\t8\t\r\n9\t10\r\n11 12 13");
    EXPECT_EQ(settings.calibration[1][0].mean, 7);
    EXPECT_EQ(settings.calibration[1][0].sd, 8);
    EXPECT_EQ(settings.calibration[1][0].quantity, 9);
    EXPECT_EQ(settings.calibration[1][1].mean, 11);
    EXPECT_EQ(settings.calibration[1][1].quantity, 13);
    EXPECT_EQ(Edit(1, 1, 1), "12");
    EXPECT_EQ(settings.calibration[1][2].mean, 0);

    // Two tokens set only mean and sd; the quantity edit keeps its text.
    Paste(0, "2.5 0.25");
    EXPECT_EQ(settings.calibration[0][0].quantity, 3);
    EXPECT_EQ(Edit(0, 0, 0), "2.5");
    EXPECT_EQ(Edit(0, 0, 2), "3");
}

TEST_F(CalibrationDialog, PasteStopsAfterSixteenRowsAndNeedsClipboardText) {
    OpenCalibrationDialog();
    std::string text;
    for (int r = 1; r <= 20; ++r) text += std::to_string(r) + " 1 " + std::to_string(10 * r) + "\n";
    Paste(1, text);
    EXPECT_EQ(settings.calibration[1][15].mean, 16);
    EXPECT_EQ(Edit(1, 15, 2), "160");

    Headless().clipboardHasText = false;
    Press(IDC_CALIBRATION_PASTE_LEFT);
    EXPECT_EQ(settings.calibration[0][0].mean, 0);
    EXPECT_EQ(settings.calibration[0][15].mean, 23);
}

TEST_F(CalibrationDialog, PastedTextIsBoundedAndWarnsAboutMalformedNumbers) {
    OpenCalibrationDialog();
    Paste(0, "1x\t2\t3");
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, "String not a number,\nconversion can be wrong!");
    EXPECT_EQ(settings.calibration[0][0].mean, 1);

    Headless().messages.clear();
    Paste(0, std::string(100000, '7') + " 2 3");
    EXPECT_TRUE(std::isfinite(settings.calibration[0][0].mean));
    EXPECT_GT(settings.calibration[0][0].mean, 7e12);
    EXPECT_EQ(settings.calibration[0][0].sd, 2);
}

TEST_F(CalibrationDialog, PastedInfiniteWidthReachesTheSetUpAsAnOverflow) {
    OpenCalibrationDialog();
    Paste(0, "23 1e400 662");
    EXPECT_TRUE(std::isinf(settings.calibration[0][0].sd));
    // The table is validated only by a set-up (here as after Apply of another dialog).
    EXPECT_FALSE(SetUpCalibration(0));
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text.rfind("Left channel problem.\r\nGaussian table overflow,", 0), 0u);
    EXPECT_EQ(calibrationValid[0], 1);
    EXPECT_EQ(gaussianValid[0], 0);
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
    struct Case {
        std::string text;
        size_t length;  // npos: the whole text
        std::vector<Cell> cells;
        int count;  // -1: the number of cells listed
    };
    const Case cases[] = {
        {"", std::string::npos, {}, -1},
        {"\r\n\r\n;  \t", std::string::npos, {}, -1},
        {"7", std::string::npos, {{0, 0, 7}}, -1},
        {std::string("1 2 3\r\n\r\n\r\n4 5 6\0 7 8 9", 24), std::string::npos,
         {{0, 0, 1}, {0, 1, 2}, {0, 2, 3}, {1, 0, 4}, {1, 1, 5}, {1, 2, 6}}, -1},
        {"1 2 3 4", 3, {{0, 0, 1}, {0, 1, 2}}, -1},
        {"1\t2\t34", 5, {{0, 0, 1}, {0, 1, 2}, {0, 2, 3}}, -1},
        {std::string(5000, '7') + "\t2\t3\n", std::string::npos, {}, 3},
        {twenty, std::string::npos, {}, CALIBRATION_ROWS * 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        CalibrationPasteCell cells[CALIBRATION_ROWS * 3];
        size_t length = c.length == std::string::npos ? c.text.size() : c.length;
        int count = ParseCalibrationPaste(c.text.data(), length, cells);
        if (c.count >= 0) {
            ASSERT_EQ(count, c.count);
            EXPECT_EQ(cells[1].value, 2.0);
            EXPECT_EQ(cells[count - 1].row, count / 3 - 1);
            EXPECT_EQ(cells[count - 1].field, 2);
            continue;
        }
        std::vector<Cell> got;
        for (int i = 0; i < count; ++i) got.push_back({cells[i].row, cells[i].field, cells[i].value});
        EXPECT_EQ(got, c.cells);
    }
}
}  // namespace
