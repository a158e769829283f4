// Pulse store: allocation with its question and messages (growth, refusal during a capture, cancel,
// failed allocations), what needs no new store, the full size, and ClearAcquisition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "acquisition/pulse_store.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "platform/headless/headless.h"
#include "tests/support/store_fill.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"

namespace {
const char* const QUESTION = "Allocating new memory for pulses,\nall data will be lost.\nProceed?";
const char* const REFUSED =
    "Error allocating required memory during data acquisition,\nplease stop data acquisition and try again.";
const char* const FALLBACK = "Memory allocation error, setting default.";
const char* const TERMINATING = "Default memory not allocated, terminating TIK.";

class PulseStoreTest : public TikTest {
protected:
    void SetUp() override {
        TikTest::SetUp();
        ASSERT_TRUE(AllocatePulseStore(true, true));
        EXPECT_EQ(storeSize, 2000000u);
        // Some data, as after a capture.
        std::vector<PulseRecord> left;
        for (uint32_t i = 0; i < 5; ++i) left.push_back({static_cast<int64_t>(10 * i), 2, 1000, 0, 0});
        FillStore(left, std::vector<PulseRecord>(3, PulseRecord{}), 1000);
        std::strcpy(settings.comments, "<2026/01/01 10:00:00 0,");
        Headless().messages.clear();
    }

    static std::vector<std::string> MessageTexts() {
        std::vector<std::string> texts;
        for (const RecordedMessage& m : Headless().messages) texts.push_back(m.text);
        return texts;
    }
};
}  // namespace

// Growing the store asks first: OK empties all data, Cancel puts the settings back; during a capture it
// is refused; a failed allocation falls back to the default store. The open dialog shows the result.
TEST_F(PulseStoreTest, GrowingAsksRefusesOrFallsBack) {
    struct Case {
        bool capturing;
        int answer;
        uint64_t allocationLimit;
        double maxPulses[2];
        std::vector<std::string> messages;
        int firstStyle;
        uint32_t capacity[2];
        bool dataKept;
    };
    const Case cases[] = {
        {false, IDOK, 0, {1500000, 2500000}, {QUESTION}, MB_OKCANCEL | MB_ICONQUESTION, {1500000, 2500000}, false},
        {false, IDCANCEL, 0, {3000000, 1000000}, {QUESTION}, MB_OKCANCEL | MB_ICONQUESTION, {1000000, 1000000}, true},
        {true, IDOK, 0, {1000000, 5000000}, {REFUSED}, MB_ICONHAND, {1000000, 1000000}, true},
        {false, IDOK, 2000000, {4000000, 1000000}, {QUESTION, FALLBACK}, MB_OKCANCEL | MB_ICONQUESTION, {1000000, 1000000}, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.messages.back());
        SetUp();  // the store and data of a fresh test
        OpenDialog(IDD_DAQ, NO_OWNER, nullptr);
        runState |= RS_DAQ_DIALOG_OPEN | (test.capturing ? RS_ACQUIRING : 0u);
        settings.channelSelection = 3;  // the dialog shows the right channel
        SetDialogItemText(IDD_DAQ, IDC_DAQ_MAX_PULSES, "typed");
        Headless().messageAnswers.push_back(test.answer);
        SetPulseStoreAllocationLimit(test.allocationLimit);
        PulseRecord* before = pulseStore;
        for (int c = 0; c < 2; ++c) settings.channel[c].maxPulses = test.maxPulses[c];

        EXPECT_TRUE(AllocatePulseStore(false, true));
        EXPECT_EQ(MessageTexts(), test.messages);
        EXPECT_EQ(Headless().messages[0].style, test.firstStyle);
        EXPECT_EQ(Headless().messages.back().owner, NO_OWNER);
        for (int c = 0; c < 2; ++c) {
            EXPECT_EQ(pulseCapacity[c], test.capacity[c]);
            EXPECT_EQ(settings.channel[c].maxPulses, test.capacity[c]);
        }
        EXPECT_EQ(storeSize, test.capacity[0] + test.capacity[1]);
        EXPECT_EQ(PulseIndex(1, 0), test.capacity[0]);
        EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_MAX_PULSES), std::to_string(test.capacity[1]));
        EXPECT_EQ(pulseCount[0], test.dataKept ? 5u : 0u);
        EXPECT_EQ(sampleClock, test.dataKept ? 1000 : 0);
        EXPECT_EQ(settings.comments[0] != '\0', test.dataKept);
        if (test.dataKept) {
            EXPECT_EQ(pulseStore, before);
            EXPECT_EQ(Pulse(0, 4).time, 40);
        }
    }
}

// Lowering maxPulses, or a loaded file's capacities within the store, need no new store.
TEST_F(PulseStoreTest, CapacitiesWithinTheStoreNeitherReallocateNorAsk) {
    PulseRecord* before = pulseStore;
    settings.channel[0].maxPulses = 500000;
    settings.channel[1].maxPulses = 10;
    EXPECT_TRUE(AllocatePulseStore(false, true));
    EXPECT_EQ(pulseCapacity[0], 1000000u);
    settings.channel[0].maxPulses = pulseCapacity[0] = 1500000;
    settings.channel[1].maxPulses = pulseCapacity[1] = 500000;
    EXPECT_TRUE(AllocatePulseStore(false, false));
    EXPECT_EQ(pulseStore, before);
    EXPECT_EQ(pulseCapacity[0], 1500000u);
    EXPECT_EQ(pulseCount[0], 5u);
    EXPECT_EQ(sampleClock, 1000);
    EXPECT_TRUE(Headless().messages.empty());
}

TEST_F(PulseStoreTest, NoStoreAtAllClosesTheProgram) {
    SetPulseStoreAllocationLimit(1000);
    settings.channel[0].maxPulses = 4000000;
    EXPECT_FALSE(AllocatePulseStore(false, false));
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{FALLBACK, TERMINATING}));
    EXPECT_EQ(Headless().messages[1].style, MB_ICONHAND);
    const std::vector<int>& commands = DispatchedCommands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), IDM_EXIT), commands.end());
    // Nothing may address records that do not exist.
    EXPECT_EQ(pulseStore, nullptr);
    EXPECT_EQ(pulseCapacity[0] + pulseCapacity[1] + pulseCount[0] + pulseCount[1], 0u);
}

TEST_F(PulseStoreTest, MaxPulsesAreLimitedToOneHundredMillionPerChannelAndThatSizeIsAllocated) {
    settings.channel[0].maxPulses = 3e8;
    settings.channel[1].maxPulses = 1e8;
    EXPECT_TRUE(AllocatePulseStore(false, true));
    EXPECT_EQ(settings.channel[0].maxPulses, 1e8);
    EXPECT_EQ(pulseCapacity[0], 100000000u);
    EXPECT_EQ(storeSize, 200000000u);
    ASSERT_NE(pulseStore, nullptr);
    // The last record of the right channel lies beyond 4 GB and is usable.
    Pulse(1, 99999999) = {123, 4, 5, 6, 7};
    EXPECT_EQ(pulseStore[199999999].time, 123);
}

TEST_F(PulseStoreTest, ClearAcquisitionEmptiesEverythingDerivedFromTheData) {
    bufferFirstPulse[0] = 4;
    bufferFirstPulse[1] = 2;
    acquisitionSeconds = 12.5;
    runState |= RS_RESTART_UNCONFIRMED | RS_ACQUIRING;
    for (int s = 0; s <= SERIES_HEIGHT; ++s) {
        seriesData[s][3] = 7.0;                  // raw half, as a build leaves it
        rawExtent[s] = 4;
        seriesData[s][seriesLength[s] + 3] = 9.0;  // display half
        dataLength[s + 1] = 44;
        viewState[s + 1].cursorBin = 17;
    }
    viewState[0].zoom = 8.0;
    viewState[0].scrollPosition = 5000;
    for (int w = 0; w < 7; ++w) SetWindowTitle(w, "name.pls");

    ClearAcquisition();
    EXPECT_EQ(pulseCount[0] + pulseCount[1], 0u);
    EXPECT_EQ(bufferFirstPulse[0] + bufferFirstPulse[1], 0u);
    EXPECT_EQ(sampleClock, 0);
    EXPECT_EQ(acquisitionSeconds, 0.0);
    for (int s = 0; s <= SERIES_HEIGHT; ++s) {
        EXPECT_EQ(seriesData[s][3], 0.0);
        EXPECT_EQ(seriesData[s][seriesLength[s] + 3], 9.0);
        EXPECT_EQ(dataLength[s + 1], 0);
        EXPECT_EQ(viewState[s + 1].cursorBin, 0);
    }
    EXPECT_EQ(viewState[0].zoom, 1.0);
    EXPECT_EQ(viewState[0].scrollPosition, 0);
    EXPECT_EQ(Headless().windows[0].scrollPosition, 0);
    EXPECT_EQ(Headless().windows[0].scrollPage, 10001);
    for (int w = 0; w < 6; ++w) EXPECT_EQ(GetWindowTitle(w), plainTitles[w]);
    EXPECT_EQ(GetWindowTitle(6), "name.pls");
    EXPECT_FALSE(runState & RS_RESTART_UNCONFIRMED);
    EXPECT_TRUE(runState & RS_ACQUIRING);
    EXPECT_EQ(settings.comments[0], '\0');
    // The capacities and the store stay.
    EXPECT_EQ(storeSize, 2000000u);
}
