// Pulse-shape template: UpdatePulseShape (normalisation, used range, failures with backup and
// message), BeginShapeAcquisition, and the "Pulse Shape" dialog: display, OK, Reset, Close, Copy
// and Paste with the clipboard token rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "acquisition/detector.h"
#include "acquisition/pulse_shape.h"
#include "acquisition/pulse_shape_dialog.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
constexpr int DLG = IDD_PULSE_SHAPE;

int Edit(int c, int j) { return ShapePointId(c, j); }
int Check(int c, int j) { return ShapePointUsedId(c, j); }

// A normalised template's used points sum to zero and their sum of squares equals their range.
void ExpectNormalised(int c) {
    double sum = 0.0, squares = 0.0, low = 0.0, high = 0.0;
    for (int j = 0; j < SHAPE_POINTS; ++j) {
        if (!settings.shapePointUsed[c][j]) continue;
        double t = settings.pulseShape[c][j];
        sum += t;
        squares += t * t;
        low = std::fmin(low, t);
        high = std::fmax(high, t);
    }
    EXPECT_NEAR(sum, 0.0, 1e-12);
    EXPECT_NEAR(squares, high - low, 1e-12);
}

class PulseShapeTest : public TikTest {
protected:
    void SetUp() override {
        TikTest::SetUp();
        SettingsRecord defaults;
        SetDefaultSettings(defaults);
        std::memcpy(defaultShape, defaults.pulseShape, sizeof(defaultShape));
    }

    static void OpenShapeDialog() {
        OpenPulseShapeDialog(NO_OWNER);
        ASSERT_TRUE(IsDialogOpen(DLG));
    }

    double defaultShape[2][SHAPE_POINTS];
};
}  // namespace

TEST_F(PulseShapeTest, UpdateNormalisesAndIsIndependentOfAmplitudeAndOffset) {
    for (int j = 0; j < SHAPE_POINTS; ++j) {
        settings.pulseShape[0][j] = std::sin(j * 0.2) + 0.1 * j;
        settings.pulseShape[1][j] = 7.0 * settings.pulseShape[0][j] + 3.0;
    }
    UpdatePulseShape(0);
    UpdatePulseShape(1);
    EXPECT_TRUE(Headless().messages.empty());
    ExpectNormalised(0);
    for (int j = 0; j < SHAPE_POINTS; ++j) EXPECT_NEAR(settings.pulseShape[1][j], settings.pulseShape[0][j], 1e-12);
    EXPECT_EQ(shapeFirstUsed[0], 0);
    EXPECT_EQ(shapeLastUsed[0], 59);
}

TEST_F(PulseShapeTest, OkWithPointsOneToTenUncheckedUsesPointsElevenOn) {
    OpenShapeDialog();
    for (int j = 0; j < 10; ++j) HeadlessSetCheck(DLG, Check(0, j), false);
    HeadlessPressButton(DLG, IDC_SHAPE_OK);
    EXPECT_FALSE(IsDialogOpen(DLG));
    EXPECT_EQ(Headless().dialogs[DLG].result, 1);
    EXPECT_FALSE(runState & RS_SHAPE_DIALOG_OPEN);
    EXPECT_EQ(shapeFirstUsed[0], 10);
    EXPECT_EQ(shapeLastUsed[0], 59);
    for (int j = 0; j < 10; ++j) {
        EXPECT_EQ(settings.pulseShape[0][j], 0.0);
        EXPECT_EQ(settings.shapePointUsed[0][j], 0);
    }
    ExpectNormalised(0);
    ExpectNormalised(1);
    EXPECT_EQ(shapeFirstUsed[1], 0);
    EXPECT_TRUE(Headless().messages.empty());
}

// A template without a shape (all points equal, fewer than two used points, a value that is not finite)
// gives the backup back with a message, keeping the used range of the last successful update.
TEST_F(PulseShapeTest, TemplatesWithoutAShapeRestoreTheBackupWithAMessage) {
    struct Case {
        int c;
        void (*damage)(int c);
    };
    const Case cases[] = {
        {0, [](int c) { std::fill(settings.pulseShape[c], settings.pulseShape[c] + SHAPE_POINTS, 5.0); }},
        {1, [](int c) { std::fill(settings.shapePointUsed[c] + 11, settings.shapePointUsed[c] + SHAPE_POINTS, 0); }},
        {0, [](int c) { settings.pulseShape[c][17] = INFINITY; }},
    };
    for (const Case& test : cases) {
        const int c = test.c;
        for (int j = 0; j < 10; ++j) settings.shapePointUsed[c][j] = 0;
        UpdatePulseShape(c);
        ASSERT_EQ(shapeFirstUsed[c], 10);
        test.damage(c);
        UpdatePulseShape(c);
        EXPECT_EQ(Headless().messages.back().text, c ? "Right channel shape not updated" : "Left channel shape not updated");
        EXPECT_EQ(Headless().messages.back().style, MB_ICONEXCLAMATION);
        EXPECT_EQ(shapeFirstUsed[c], 10);
        EXPECT_EQ(shapeLastUsed[c], 59);
        for (int j = 0; j < 60; ++j) {
            EXPECT_EQ(settings.pulseShape[c][j], defaultShape[c][j]);
            EXPECT_EQ(settings.shapePointUsed[c][j], 1);
        }
    }
}

TEST_F(PulseShapeTest, ShapeAcquisitionBacksUpAndClearsOnlyItsChannels) {
    EXPECT_EQ(ShapeChannelsForInput(0), SHAPE_CHANNEL_LEFT);
    EXPECT_EQ(ShapeChannelsForInput(1), SHAPE_CHANNEL_RIGHT);
    EXPECT_EQ(ShapeChannelsForInput(2), SHAPE_CHANNEL_LEFT | SHAPE_CHANNEL_RIGHT);
    settings.pulseShape[1][3] = 0.5;
    settings.shapePointUsed[1][4] = 0;
    BeginShapeAcquisition(SHAPE_CHANNEL_RIGHT);
    EXPECT_EQ(shapeAcquisitionChannels, SHAPE_CHANNEL_RIGHT);
    EXPECT_EQ(pulseShapeBackup[1][3], 0.5);
    EXPECT_EQ(shapePointUsedBackup[1][4], 0);
    for (int j = 0; j < 60; ++j) {
        EXPECT_EQ(settings.pulseShape[1][j], 0.0);
        EXPECT_EQ(settings.shapePointUsed[1][j], 1);
        EXPECT_EQ(settings.pulseShape[0][j], defaultShape[0][j]);
    }
    // An acquisition that collected nothing gives the previous template back.
    UpdatePulseShape(1);
    EXPECT_EQ(Headless().messages.back().text, "Right channel shape not updated");
    EXPECT_EQ(settings.pulseShape[1][3], 0.5);
    EXPECT_EQ(settings.shapePointUsed[1][4], 0);
}

// The dialog shows the template times a thousand and opens once; Reset gives the backup back and keeps
// it open; Close keeps the template, whatever the edits say.
TEST_F(PulseShapeTest, DialogShowsResetsAndCloses) {
    settings.shapePointUsed[1][59] = 0;
    OpenShapeDialog();
    EXPECT_TRUE(runState & RS_SHAPE_DIALOG_OPEN);
    EXPECT_EQ(HeadlessItemText(DLG, Edit(0, 0)), "-113.544");
    EXPECT_EQ(HeadlessItemText(DLG, Edit(1, 28)), "310.804");
    EXPECT_TRUE(IsDialogButtonChecked(DLG, Check(0, 59)));
    EXPECT_FALSE(IsDialogButtonChecked(DLG, Check(1, 59)));
    OpenPulseShapeDialog(NO_OWNER);
    EXPECT_EQ(Headless().dialogs[DLG].raisedCount, 1);
    settings.pulseShape[0][5] = 0.25;
    RefreshPulseShapeDialog();
    EXPECT_EQ(HeadlessItemText(DLG, Edit(0, 5)), "250");

    HeadlessPressButton(DLG, IDC_SHAPE_RESET);
    EXPECT_TRUE(IsDialogOpen(DLG));
    EXPECT_EQ(settings.pulseShape[0][5], defaultShape[0][5]);
    EXPECT_EQ(HeadlessItemText(DLG, Edit(0, 5)), "-112.678");
    EXPECT_TRUE(Headless().messages.empty());
    HeadlessTypeText(DLG, Edit(0, 5), "777");
    HeadlessCloseDialog(DLG);
    EXPECT_FALSE(IsDialogOpen(DLG));
    EXPECT_FALSE(runState & RS_SHAPE_DIALOG_OPEN);
    EXPECT_EQ(settings.pulseShape[0][5], defaultShape[0][5]);
}

// Copy then Paste into the other channel reproduces the numbers. A paste (the parser's rules are below)
// fills the edits with the parsed values and the template with them / 1000, and changes nothing else
// before OK; without clipboard text nothing happens.
TEST_F(PulseShapeTest, CopyAndPasteMoveTheNumbersThroughTheClipboard) {
    settings.pulseShape[0][2] = -0.0042;
    settings.pulseShape[0][3] = 123.45678;
    OpenShapeDialog();
    HeadlessPressButton(DLG, IDC_SHAPE_PASTE_LEFT);
    EXPECT_EQ(HeadlessItemText(DLG, Edit(0, 2)), "-4.2");
    HeadlessPressButton(DLG, IDC_SHAPE_COPY_LEFT);
    const std::string& copied = Headless().clipboard;
    EXPECT_EQ(copied.substr(0, 20), "-113.544\r\n-113.544\r\n");
    EXPECT_NE(copied.find("-4.2\r\n123456.78\r\n"), std::string::npos);
    EXPECT_LE(copied.size(), 831u);
    HeadlessPressButton(DLG, IDC_SHAPE_PASTE_RIGHT);
    for (int j = 0; j < 60; ++j) {
        EXPECT_EQ(HeadlessItemText(DLG, Edit(1, j)), HeadlessItemText(DLG, Edit(0, j))) << j;
        EXPECT_NEAR(settings.pulseShape[1][j], settings.pulseShape[0][j], 1e-9) << j;
    }
    // At most nine characters per point.
    HeadlessTypeText(DLG, Edit(1, 0), "-12345.678901");
    HeadlessPressButton(DLG, IDC_SHAPE_COPY_RIGHT);
    EXPECT_EQ(Headless().clipboard.substr(0, 11), "-12345.67\r\n");

    Headless().clipboard = "1\r\n3\r\n";
    HeadlessPressButton(DLG, IDC_SHAPE_PASTE_LEFT);
    EXPECT_EQ(HeadlessItemText(DLG, Edit(0, 1)), "3");
    EXPECT_EQ(HeadlessItemText(DLG, Edit(0, 3)), "123456.78");
    EXPECT_EQ(settings.pulseShape[0][1], 0.003);
    EXPECT_EQ(settings.pulseShape[0][3], 123.45678);
    EXPECT_TRUE(IsDialogButtonChecked(DLG, Check(0, 0)));
    EXPECT_EQ(shapeFirstUsed[0], 0);
}

// The parser: the first token of each line, at most 60 lines, values clamped to +-1e6, the text
// ending at its length or at a zero byte.
TEST(PulseShapePasteParser, FirstTokenOfEachLineWithinTheLimits) {
    std::string sixtyFive;
    for (int i = 0; i < 65; ++i) sixtyFive += std::to_string(i) + "\r\n";
    std::vector<double> first60;
    for (int i = 0; i < 60; ++i) first60.push_back(i);
    struct Case {
        std::string text;
        size_t length;  // npos: the whole text
        std::vector<double> values;
    };
    const Case cases[] = {
        {"", std::string::npos, {}},
        {" \t;\r\n\r\n", std::string::npos, {}},
        {"12", 1, {1}},
        {std::string("5\r\n6\0" "7\r\n8\r\n", 11), std::string::npos, {5, 6}},
        {"1;2\r\n3\r\n", std::string::npos, {1, 3}},
        {"1 \r\n2\r\n3\r\n", std::string::npos, {1, 3}},  // a separator before the line end skips a line
        {std::string(200, '9') + "\n-" + std::string(200, '9') + "\n", std::string::npos, {1e6, -1e6}},
        {sixtyFive, std::string::npos, first60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        double values[SHAPE_POINTS];
        size_t length = c.length == std::string::npos ? c.text.size() : c.length;
        int count = ParsePulseShapePaste(c.text.data(), length, values);
        EXPECT_EQ(std::vector<double>(values, values + std::max(count, 0)), c.values);
    }
}
