// Pulse selection: the time window, coincidence and anticoincidence, the advanced filter on a pulse
// and its partner, records that name no stored pulse, and the "Advanced Pulse Filter" dialog.
#include "analysis/selection.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "tests/support/store_fill.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
constexpr int D = IDD_ADVANCED_FILTER;

class Selection : public TikTest {
protected:
    void SetUp() override {
        TikTest::SetUp();
        MakeStore(50);
        QuantizeSettings(false);
    }
    // Advanced filter of channel c on, with all three tests and the given limits.
    static void SetLimits(int c, double heightMin, double heightMax, double distortionMin, double distortionMax,
                          double widthMin, double widthMax) {
        settings.options[c].useAdvancedFilter = 1;
        settings.filterEnable[c][0] = settings.filterEnable[c][1] = settings.filterEnable[c][2] = 1;
        const double limits[6] = {heightMin, heightMax, distortionMin, distortionMax, widthMin, widthMax};
        std::copy(limits, limits + 6, settings.filterLimits[c]);
    }
};

// Left pulses: alone, paired with a right pulse inside the right limits, paired with one outside
// them, and outside the left limits itself. The right limits apply to a partner although the right
// channel's own switch is off and the partner lies outside the right channel's time window.
TEST_F(Selection, CoincidenceNeedsAPartnerThatPassesTheOtherChannelsLimits) {
    SetLimits(0, 1000, 2000, 0, 100, 1, 10);
    SetLimits(1, 5000, 6000, 0, 100, 1, 10);
    settings.options[1].useAdvancedFilter = 0;
    settings.channel[1].beginTime = 100.0;
    QuantizeSettings(false);
    AddPulse(1, 0);  // link 0 names no pulse
    uint32_t passing = AddPulse(1, 100, 5, 5500), failing = AddPulse(1, 200, 5, 7000);
    const uint32_t left[4] = {AddPulse(0, 50, 5, 1500), AddPulse(0, 100, 5, 1500, 0, passing),
                              AddPulse(0, 200, 5, 1500, 0, failing), AddPulse(0, 300, 5, 2500, 0, passing)};
    const struct {
        int8_t selection;  // Left All, Coincidence, Anticoincidence
        uint8_t filter;
        bool selected[4];
    } cases[] = {
        {0, 0, {true, true, true, true}},   {1, 0, {false, true, true, true}},  {2, 0, {true, false, false, false}},
        {0, 1, {true, true, true, false}},  {1, 1, {false, true, false, false}}, {2, 1, {true, false, false, false}},
    };
    for (const auto& c : cases) {
        settings.channelSelection = c.selection;
        settings.options[0].useAdvancedFilter = c.filter;
        for (int i = 0; i < 4; ++i) EXPECT_EQ(IsPulseSelected(0, left[i]), c.selected[i]) << int(c.selection) << int(c.filter) << i;
    }
}

TEST_F(Selection, TimeWindowAndLimitsAreInclusiveAndOnlyEnabledTestsApply) {
    // The time window includes its begin and excludes its end.
    settings.channel[0].beginTime = 1.0;
    settings.channel[0].durationTime = 2.0;
    QuantizeSettings(false);
    EXPECT_FALSE(IsPulseSelected(0, AddPulse(0, 47999)));
    EXPECT_TRUE(IsPulseSelected(0, AddPulse(0, 48000)));
    EXPECT_TRUE(IsPulseSelected(0, AddPulse(0, 143999)));
    EXPECT_FALSE(IsPulseSelected(0, AddPulse(0, 144000)));
    settings.channel[0].beginTime = 0.0;
    QuantizeSettings(false);
    SetLimits(0, 1000, 2000, 300, 400, 7, 9);
    const struct {
        uint32_t width, height, distortion;
        bool selected;
    } probes[] = {
        {7, 1000, 300, true},  {9, 2000, 400, true},  {8, 999, 350, false},  {8, 2001, 350, false},
        {8, 1500, 299, false}, {8, 1500, 401, false}, {6, 1500, 350, false}, {10, 1500, 350, false},
    };
    for (const auto& p : probes) {
        uint32_t i = AddPulse(0, pulseCount[0] + 1, p.width, p.height, p.distortion);
        EXPECT_EQ(IsPulseSelected(0, i), p.selected) << p.width << " " << p.height << " " << p.distortion;
    }
    // With the height test off a height outside its limits passes; with the filter off nothing is tested.
    uint32_t tall = AddPulse(0, 100, 8, 5000, 350);
    settings.filterEnable[0][0] = 0;
    EXPECT_TRUE(IsPulseSelected(0, tall));
    uint32_t wide = AddPulse(0, 101, 50, 1500, 350);
    EXPECT_FALSE(IsPulseSelected(0, wide));
    settings.options[0].useAdvancedFilter = 0;
    EXPECT_TRUE(IsPulseSelected(0, wide));
}

TEST_F(Selection, RecordsThatAreNotStoredPulsesAreNeverSelected) {
    settings.channelSelection = 1;
    SetLimits(0, 0, 4294967295.0, 0, 4294967295.0, 0, 1e9);
    SetLimits(1, 0, 4294967295.0, 0, 4294967295.0, 0, 1e9);
    AddPulse(1, 0);
    AddPulse(1, 5);
    // A partner still in progress in the other channel (index = its count, its open bit set) is read
    // in place; without the open bit that slot holds no pulse, however it looks, and the pulse has no
    // partner for the coincidence and the anticoincidence selections alike.
    uint32_t open = AddPulse(0, 10, 5, 100, 0, pulseCount[1]);
    Pulse(1, pulseCount[1]) = PulseRecord{10, 1, 100, 0, open};
    runState |= RS_PULSE_OPEN_RIGHT;
    EXPECT_TRUE(IsPulseSelected(0, open));
    runState &= ~RS_PULSE_OPEN_RIGHT;
    EXPECT_FALSE(IsPulseSelected(0, open));
    settings.channelSelection = 2;
    EXPECT_TRUE(IsPulseSelected(0, open));
    settings.channelSelection = 1;
    // Partners beyond that (a damaged data file) or beyond the store, and indices beyond the store.
    EXPECT_FALSE(IsPulseSelected(0, AddPulse(0, 20, 5, 100, 0, pulseCount[1] + 1)));
    EXPECT_FALSE(IsPulseSelected(0, AddPulse(0, 30, 5, 100, 0, 4000000000u)));
    EXPECT_FALSE(IsPulseSelected(0, pulseCapacity[0]));
    EXPECT_FALSE(IsPulseSelected(2, 0));
}

TEST_F(Selection, DialogShowsDialogUnitsAndAppliesRecordUnitsClampedToItsRanges) {
    AddPulse(0, 100, 5, 10 * 21474836);  // 10 arb.u
    AddPulse(0, 200, 5, 50 * 21474836);  // 50 arb.u
    settings.options[0].useAdvancedFilter = 1;
    OpenAdvancedFilterDialog();
    EXPECT_EQ(HeadlessItemText(D, FilterLimitId(1, 2, 1)), "2083.3333");  // 100 samples at 48000/s
    // Width limits in µs follow the data's sample rate; without a rate there is no unit to divide by.
    dataSampleRate = 0;
    SendDialogEvent(D, DLG_COMMAND, DIALOG_REAPPLY);
    EXPECT_EQ(HeadlessItemText(D, FilterLimitId(0, 2, 1)), "0");
    dataSampleRate = 48000;
    HeadlessSetCheck(D, FilterEnableId(0, 0), true);
    HeadlessTypeText(D, FilterLimitId(0, 0, 0), "20");
    HeadlessTypeText(D, FilterLimitId(0, 0, 1), "300");
    HeadlessTypeText(D, FilterLimitId(1, 2, 1), "2000000");
    HeadlessPressButton(D, IDC_FILTER_APPLY);
    EXPECT_EQ(settings.filterLimits[0][0], 20 * 21474836.47);
    EXPECT_EQ(settings.filterLimits[0][1], 200 * 21474836.47);
    EXPECT_DOUBLE_EQ(settings.filterLimits[1][5], 48000.0);
    EXPECT_EQ(HeadlessItemText(D, FilterLimitId(1, 2, 1)), "1000000");
    EXPECT_EQ(filteredPulseCount, 1);  // the series were rebuilt
    HeadlessTypeText(D, FilterLimitId(0, 0, 0), "7x");
    HeadlessPressButton(D, IDC_FILTER_APPLY);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(settings.filterLimits[0][0], 7 * 21474836.47);
}
}  // namespace
