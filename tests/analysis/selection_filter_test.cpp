// IsPulseSelected: time window bounds, coincidence and anticoincidence, the advanced filter on the
// pulse and on its partner, and links or records that name no stored pulse.
#include "analysis/selection.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "tests/analysis/histogram_streams.h"
#include "tests/support/test_support.h"

namespace {
class SelectionFilter : public TikTest {
  protected:
    void SetUp() override {
        TikTest::SetUp();
        MakeStore(50);
        QuantizeSettings(false);
    }
    // Advanced filter of channel c on, with all three tests and the given limits.
    static void SetLimits(int c, double heightMin, double heightMax, double distortionMin,
                          double distortionMax, double widthMin, double widthMax) {
        settings.options[c].useAdvancedFilter = 1;
        settings.filterEnable[c][0] = settings.filterEnable[c][1] = settings.filterEnable[c][2] = 1;
        double* limits = settings.filterLimits[c];
        limits[0] = heightMin;
        limits[1] = heightMax;
        limits[2] = distortionMin;
        limits[3] = distortionMax;
        limits[4] = widthMin;
        limits[5] = widthMax;
    }
};

TEST_F(SelectionFilter, TimeWindowIncludesBeginAndExcludesItsEnd) {
    settings.channel[0].beginTime = 1.0;
    settings.channel[0].durationTime = 2.0;
    QuantizeSettings(false);
    uint32_t beforeBegin = AddPulse(0, 47999);
    uint32_t atBegin = AddPulse(0, 48000);
    uint32_t lastInside = AddPulse(0, 143999);
    uint32_t atEnd = AddPulse(0, 144000);
    EXPECT_FALSE(IsPulseSelected(0, beforeBegin));
    EXPECT_TRUE(IsPulseSelected(0, atBegin));
    EXPECT_TRUE(IsPulseSelected(0, lastInside));
    EXPECT_FALSE(IsPulseSelected(0, atEnd));

    // The right channel keeps its own (default) window.
    uint32_t right = AddPulse(1, 10);
    EXPECT_TRUE(IsPulseSelected(1, right));
}

TEST_F(SelectionFilter, CoincidenceNeedsAPartnerEvenWithoutTheAdvancedFilter) {
    AddPulse(1, 0);
    AddPulse(1, 100);
    uint32_t alone = AddPulse(0, 50);
    uint32_t paired = AddPulse(0, 100, 5, 100000000, 0, 1);
    settings.channelSelection = 1;  // Left Coincidence
    EXPECT_FALSE(IsPulseSelected(0, alone));
    EXPECT_TRUE(IsPulseSelected(0, paired));

    settings.channelSelection = 2;  // Left Anticoincidence
    EXPECT_TRUE(IsPulseSelected(0, alone));
    EXPECT_FALSE(IsPulseSelected(0, paired));

    settings.channelSelection = 0;  // Left All
    EXPECT_TRUE(IsPulseSelected(0, alone));
    EXPECT_TRUE(IsPulseSelected(0, paired));
}

TEST_F(SelectionFilter, CoincidenceRejectsAPulseWhosePartnerFailsTheOtherChannelsLimits) {
    settings.channelSelection = 1;
    SetLimits(0, 1000, 2000, 0, 100, 1, 10);
    // The right channel's limits apply to the partner although the right channel's own switch is off
    // and the partner lies outside the right channel's time window.
    SetLimits(1, 5000, 6000, 0, 100, 1, 10);
    settings.options[1].useAdvancedFilter = 0;
    settings.channel[1].beginTime = 100.0;
    QuantizeSettings(false);
    AddPulse(1, 0);
    uint32_t failingPartner = AddPulse(1, 100, 5, 7000);
    uint32_t passingPartner = AddPulse(1, 200, 5, 5500);
    uint32_t left1 = AddPulse(0, 100, 5, 1500, 0, failingPartner);
    uint32_t left2 = AddPulse(0, 200, 5, 1500, 0, passingPartner);
    uint32_t left3 = AddPulse(0, 300, 5, 2500, 0, passingPartner);
    EXPECT_FALSE(IsPulseSelected(0, left1));
    EXPECT_TRUE(IsPulseSelected(0, left2));
    EXPECT_FALSE(IsPulseSelected(0, left3)) << "the pulse itself fails its own limits";

    // The right coincidence selection tests the right pulse with the right limits and the left partner
    // with the left ones.
    settings.channelSelection = 4;
    settings.options[1].useAdvancedFilter = 1;
    settings.channel[1].beginTime = 0.0;
    QuantizeSettings(false);
    Pulse(1, passingPartner).partner = left2;
    EXPECT_TRUE(IsPulseSelected(1, passingPartner));
    Pulse(1, passingPartner).partner = left3;  // left3 fails the left height limits
    EXPECT_FALSE(IsPulseSelected(1, passingPartner));
}

TEST_F(SelectionFilter, AnticoincidenceTestsOnlyThePulseItself) {
    settings.channelSelection = 2;
    SetLimits(0, 1000, 2000, 0, 100, 1, 10);
    SetLimits(1, 0, 0, 0, 0, 0, 0);  // the right channel would reject everything
    uint32_t passes = AddPulse(0, 10, 5, 1500);
    uint32_t fails = AddPulse(0, 20, 5, 2500);
    EXPECT_TRUE(IsPulseSelected(0, passes));
    EXPECT_FALSE(IsPulseSelected(0, fails));
}

TEST_F(SelectionFilter, LimitsAreInclusiveAndOnlyEnabledTestsApply) {
    SetLimits(0, 1000, 2000, 300, 400, 7, 9);
    struct Probe {
        uint32_t width, height, distortion;
        bool selected;
    } probes[] = {
        {7, 1000, 300, true},  {9, 2000, 400, true},  {8, 999, 350, false},  {8, 2001, 350, false},
        {8, 1500, 299, false}, {8, 1500, 401, false}, {6, 1500, 350, false}, {10, 1500, 350, false},
    };
    for (const Probe& p : probes) {
        uint32_t i = AddPulse(0, pulseCount[0] + 1, p.width, p.height, p.distortion);
        EXPECT_EQ(IsPulseSelected(0, i), p.selected) << p.width << " " << p.height << " " << p.distortion;
    }
    // With the height test switched off a height outside its limits passes; with the channel's filter
    // switched off nothing is tested.
    uint32_t tall = AddPulse(0, 100, 8, 5000, 350);
    EXPECT_FALSE(IsPulseSelected(0, tall));
    settings.filterEnable[0][0] = 0;
    EXPECT_TRUE(IsPulseSelected(0, tall));
    uint32_t wide = AddPulse(0, 101, 50, 1500, 350);
    EXPECT_FALSE(IsPulseSelected(0, wide));
    settings.options[0].useAdvancedFilter = 0;
    EXPECT_TRUE(IsPulseSelected(0, wide));
}

TEST_F(SelectionFilter, RecordsThatAreNotStoredPulsesAreNeverSelected) {
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
    settings.options[0].useAdvancedFilter = 0;
    EXPECT_FALSE(IsPulseSelected(0, open));
    settings.channelSelection = 2;
    EXPECT_TRUE(IsPulseSelected(0, open));
    settings.channelSelection = 1;
    settings.options[0].useAdvancedFilter = 1;
    // Partners beyond that (a damaged data file) or beyond the store, and indices beyond the store.
    uint32_t beyondCount = AddPulse(0, 20, 5, 100, 0, pulseCount[1] + 1);
    uint32_t beyondStore = AddPulse(0, 30, 5, 100, 0, 4000000000u);
    EXPECT_FALSE(IsPulseSelected(0, beyondCount));
    EXPECT_FALSE(IsPulseSelected(0, beyondStore));
    EXPECT_FALSE(IsPulseSelected(0, pulseCapacity[0]));
    EXPECT_FALSE(IsPulseSelected(2, 0));
}
}  // namespace
