// The "Advanced Pulse Filter" dialog through the headless seam: opening, refill in dialog units,
// Apply with clamping and a full recompute, reload on DIALOG_REAPPLY, closing.
#include <cstdint>

#include "analysis/selection.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "tests/analysis/histogram_streams.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
constexpr int D = IDD_ADVANCED_FILTER;

TEST_F(TikTest, FilterDialogOpensOnceAndShowsTheLimitsInDialogUnits) {
    OpenAdvancedFilterDialog();
    ASSERT_TRUE(IsDialogOpen(D));
    EXPECT_EQ(Headless().dialogs[D].owner, NO_OWNER);
    EXPECT_TRUE(runState & RS_FILTER_DIALOG_OPEN);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(HeadlessItemText(D, FilterLimitId(c, 0, 0)), "0");
        EXPECT_EQ(HeadlessItemText(D, FilterLimitId(c, 0, 1)), "200");
        EXPECT_EQ(HeadlessItemText(D, FilterLimitId(c, 1, 0)), "0");
        EXPECT_EQ(HeadlessItemText(D, FilterLimitId(c, 1, 1)), "100");
        EXPECT_EQ(HeadlessItemText(D, FilterLimitId(c, 2, 0)), "0");
        EXPECT_EQ(HeadlessItemText(D, FilterLimitId(c, 2, 1)), "2083.3333");  // 100 samples at 48000/s
        for (int q = 0; q < 3; ++q) EXPECT_FALSE(IsDialogButtonChecked(D, FilterEnableId(c, q)));
    }

    // The menu command again only brings the open dialog to the front.
    HeadlessTypeText(D, FilterLimitId(0, 0, 0), "typed");
    OpenAdvancedFilterDialog();
    EXPECT_EQ(Headless().dialogs[D].raisedCount, 1);
    EXPECT_EQ(HeadlessItemText(D, FilterLimitId(0, 0, 0)), "typed");

    // A reload request while open refills and reports that the focus stays where it is.
    EXPECT_FALSE(AdvancedFilterDialogProc(D, DLG_INIT, 0));
    EXPECT_EQ(HeadlessItemText(D, FilterLimitId(0, 0, 0)), "0");

    HeadlessCloseDialog(D);
    EXPECT_FALSE(IsDialogOpen(D));
    EXPECT_EQ(Headless().dialogs[D].result, 1);
    EXPECT_FALSE(runState & RS_FILTER_DIALOG_OPEN);
    OpenAdvancedFilterDialog();
    EXPECT_TRUE(IsDialogOpen(D));
}

TEST_F(TikTest, FilterDialogApplyStoresRecordUnitsClampedToTheDialogRanges) {
    OpenAdvancedFilterDialog();
    HeadlessSetCheck(D, FilterEnableId(0, 0), true);
    HeadlessSetCheck(D, FilterEnableId(1, 2), true);
    HeadlessTypeText(D, FilterLimitId(0, 0, 0), "-5");
    HeadlessTypeText(D, FilterLimitId(0, 0, 1), "300");
    HeadlessTypeText(D, FilterLimitId(0, 1, 0), "12.5");
    HeadlessTypeText(D, FilterLimitId(0, 1, 1), "150");
    HeadlessTypeText(D, FilterLimitId(1, 2, 0), "100");
    HeadlessTypeText(D, FilterLimitId(1, 2, 1), "2000000");
    HeadlessPressButton(D, IDC_FILTER_APPLY);

    EXPECT_EQ(settings.filterEnable[0][0], 1);
    EXPECT_EQ(settings.filterEnable[0][1], 0);
    EXPECT_EQ(settings.filterEnable[1][2], 1);
    EXPECT_EQ(settings.filterLimits[0][0], 0.0);
    EXPECT_EQ(settings.filterLimits[0][1], 200 * 21474836.47);
    EXPECT_EQ(settings.filterLimits[0][2], 12.5 * 42949672.95);
    EXPECT_EQ(settings.filterLimits[0][3], 100 * 42949672.95);
    EXPECT_DOUBLE_EQ(settings.filterLimits[1][4], 4.8);  // 100 µs at 48000/s
    EXPECT_DOUBLE_EQ(settings.filterLimits[1][5], 48000.0);
    // The dialog then shows what the record holds.
    EXPECT_EQ(HeadlessItemText(D, FilterLimitId(0, 0, 1)), "200");
    EXPECT_EQ(HeadlessItemText(D, FilterLimitId(0, 1, 1)), "100");
    EXPECT_EQ(HeadlessItemText(D, FilterLimitId(1, 2, 1)), "1000000");
    EXPECT_TRUE(IsDialogButtonChecked(D, FilterEnableId(1, 2)));
    EXPECT_TRUE(Headless().messages.empty());
}

TEST_F(TikTest, FilterDialogWidthLimitsFollowTheDataSampleRate) {
    settings.filterLimits[0][5] = 100.0;
    OpenAdvancedFilterDialog();
    EXPECT_EQ(HeadlessItemText(D, FilterLimitId(0, 2, 0)), "0");
    EXPECT_EQ(HeadlessItemText(D, FilterLimitId(0, 2, 1)), "2083.3333");
    dataSampleRate = 96000;
    SendDialogEvent(D, DLG_COMMAND, DIALOG_REAPPLY);
    EXPECT_EQ(HeadlessItemText(D, FilterLimitId(0, 2, 1)), "1041.6667");
    EXPECT_EQ(settings.filterLimits[0][5], 100.0) << "the limit in samples is unchanged";
    dataSampleRate = 0;  // no rate: no width unit to divide by
    SendDialogEvent(D, DLG_COMMAND, DIALOG_REAPPLY);
    EXPECT_EQ(HeadlessItemText(D, FilterLimitId(0, 2, 1)), "0");
}

TEST_F(TikTest, FilterDialogApplyRebuildsTheSeries) {
    MakeStore(10);
    QuantizeSettings(false);
    ShowAllWindows();
    AddPulse(0, 100, 5, 10 * 21474836);  // 10 arb.u
    AddPulse(0, 200, 5, 50 * 21474836);  // 50 arb.u
    sampleClock = 300;
    settings.options[0].useAdvancedFilter = 1;
    OpenAdvancedFilterDialog();
    HeadlessSetCheck(D, FilterEnableId(0, 0), true);
    HeadlessTypeText(D, FilterLimitId(0, 0, 0), "20");
    int widthInvalidations = Headless().windows[WND_WIDTH].invalidations;
    HeadlessPressButton(D, IDC_FILTER_APPLY);
    EXPECT_EQ(filteredPulseCount, 1);
    EXPECT_EQ(entryCount[SERIES_WIDTH], 1);
    EXPECT_GT(Headless().windows[WND_WIDTH].invalidations, widthInvalidations);
}

TEST_F(TikTest, FilterDialogMalformedNumberWarnsAndKeepsWhatWasRead) {
    OpenAdvancedFilterDialog();
    HeadlessTypeText(D, FilterLimitId(0, 0, 0), "7x");
    HeadlessPressButton(D, IDC_FILTER_APPLY);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, "String not a number,\nconversion can be wrong!");
    EXPECT_EQ(settings.filterLimits[0][0], 7 * 21474836.47);
}
}  // namespace
