// Pulse store: record layout and indexing, allocation with its question and messages (growth,
// refusal during a capture, cancel, failed allocations), the full size, and ClearAcquisition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "acquisition/pulse_store.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "platform/headless/headless.h"
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
        Headless().messages.clear();
    }

    // Some data in the store, as after a capture.
    static void FillSomeData() {
        pulseCount[0] = 5;
        pulseCount[1] = 3;
        for (uint32_t i = 0; i < 5; ++i) pulseStore[PulseIndex(0, i)] = {static_cast<int64_t>(10 * i), 2, 1000, 0, 0};
        sampleClock = 1000;
        std::strcpy(settings.comments, "<2026/01/01 10:00:00 0,");
    }

    // The "Data Acquisition and Analysis" dialog open, showing channel `shown`.
    static void OpenAcquisitionDialog(int shown) {
        OpenDialog(IDD_DAQ, NO_OWNER, nullptr);
        runState |= RS_DAQ_DIALOG_OPEN;
        settings.channelSelection = static_cast<int8_t>(shown == 1 ? 3 : 0);
        SetDialogItemText(IDD_DAQ, IDC_DAQ_MAX_PULSES, "typed");
    }

    static std::vector<std::string> MessageTexts() {
        std::vector<std::string> texts;
        for (const RecordedMessage& m : Headless().messages) texts.push_back(m.text);
        return texts;
    }
};
}  // namespace

TEST(PulseRecordLayout, IsTheTwentyFourByteFileRecord) {
    PulseRecord record{0x0102030405060708, 0x11121314, 0x21222324, 0x31323334, 0x41424344};
    unsigned char bytes[24];
    static_assert(sizeof(record) == sizeof(bytes));
    std::memcpy(bytes, &record, sizeof(bytes));
    const unsigned char expected[24] = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x14, 0x13, 0x12, 0x11,
                                        0x24, 0x23, 0x22, 0x21, 0x34, 0x33, 0x32, 0x31, 0x44, 0x43, 0x42, 0x41};
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof(bytes)), 0);
}

TEST_F(PulseStoreTest, StartUpAllocatesTheDefaultStoreEmpty) {
    EXPECT_NE(pulseStore, nullptr);
    EXPECT_EQ(storeSize, 2000000u);
    EXPECT_EQ(pulseCapacity[0], 1000000u);
    EXPECT_EQ(pulseCapacity[1], 1000000u);
    EXPECT_EQ(pulseCount[0], 0u);
    EXPECT_EQ(pulseCount[1], 0u);
    EXPECT_TRUE(Headless().messages.empty());
    // The right channel's records follow the left channel's capacity.
    EXPECT_EQ(PulseIndex(0, 7), 7u);
    EXPECT_EQ(PulseIndex(1, 7), 1000007u);
}

TEST_F(PulseStoreTest, LoweringMaxPulsesNeitherReallocatesNorAsks) {
    FillSomeData();
    PulseRecord* before = pulseStore;
    settings.channel[0].maxPulses = 500000;
    settings.channel[1].maxPulses = 10;
    EXPECT_TRUE(AllocatePulseStore(false, true));
    EXPECT_EQ(pulseStore, before);
    EXPECT_EQ(pulseCapacity[0], 1000000u);
    EXPECT_EQ(pulseCount[0], 5u);
    EXPECT_EQ(sampleClock, 1000);
    EXPECT_TRUE(Headless().messages.empty());
}

TEST_F(PulseStoreTest, GrowingAsksAndOkEmptiesAllData) {
    FillSomeData();
    OpenAcquisitionDialog(1);
    settings.channel[0].maxPulses = 1500000;
    settings.channel[1].maxPulses = 2500000;
    EXPECT_TRUE(AllocatePulseStore(false, true));
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, QUESTION);
    EXPECT_EQ(Headless().messages[0].style, MB_OKCANCEL | MB_ICONQUESTION);
    EXPECT_EQ(Headless().messages[0].owner, NO_OWNER);
    EXPECT_EQ(pulseCapacity[0], 1500000u);
    EXPECT_EQ(pulseCapacity[1], 2500000u);
    EXPECT_EQ(storeSize, 4000000u);
    EXPECT_EQ(PulseIndex(1, 0), 1500000u);
    EXPECT_EQ(pulseCount[0], 0u);
    EXPECT_EQ(pulseCount[1], 0u);
    EXPECT_EQ(sampleClock, 0);
    EXPECT_EQ(settings.comments[0], '\0');
    EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_MAX_PULSES), "2500000");
}

TEST_F(PulseStoreTest, CancelPutsTheSettingsBackAndKeepsTheData) {
    FillSomeData();
    OpenAcquisitionDialog(0);
    PulseRecord* before = pulseStore;
    Headless().messageAnswers.push_back(IDCANCEL);
    settings.channel[0].maxPulses = 3000000;
    EXPECT_TRUE(AllocatePulseStore(false, true));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{QUESTION});
    EXPECT_EQ(settings.channel[0].maxPulses, 1000000.0);
    EXPECT_EQ(settings.channel[1].maxPulses, 1000000.0);
    EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_MAX_PULSES), "1000000");
    EXPECT_EQ(pulseStore, before);
    EXPECT_EQ(pulseCount[0], 5u);
    EXPECT_EQ(pulseStore[PulseIndex(0, 4)].time, 40);
    EXPECT_EQ(sampleClock, 1000);
}

TEST_F(PulseStoreTest, GrowingDuringACaptureIsRefused) {
    FillSomeData();
    OpenAcquisitionDialog(1);
    runState |= RS_ACQUIRING;
    PulseRecord* before = pulseStore;
    settings.channel[1].maxPulses = 5000000;
    EXPECT_TRUE(AllocatePulseStore(false, true));
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, REFUSED);
    EXPECT_EQ(Headless().messages[0].style, MB_ICONHAND);
    EXPECT_EQ(settings.channel[1].maxPulses, 1000000.0);
    EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_MAX_PULSES), "1000000");
    EXPECT_EQ(pulseStore, before);
    EXPECT_EQ(storeSize, 2000000u);
    EXPECT_EQ(pulseCount[0], 5u);
    EXPECT_EQ(pulseCount[1], 3u);
}

TEST_F(PulseStoreTest, FailedAllocationFallsBackToTheDefaultStore) {
    FillSomeData();
    OpenAcquisitionDialog(0);
    SetPulseStoreAllocationLimit(2000000);
    settings.channel[0].maxPulses = 4000000;
    EXPECT_TRUE(AllocatePulseStore(false, true));
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{QUESTION, FALLBACK}));
    EXPECT_EQ(Headless().messages[1].style, MB_ICONHAND);
    EXPECT_NE(pulseStore, nullptr);
    EXPECT_EQ(storeSize, 2000000u);
    EXPECT_EQ(pulseCapacity[0], 1000000u);
    EXPECT_EQ(pulseCapacity[1], 1000000u);
    EXPECT_EQ(settings.channel[0].maxPulses, 1000000.0);
    EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_MAX_PULSES), "1000000");
    EXPECT_EQ(pulseCount[0], 0u);
}

TEST_F(PulseStoreTest, NoStoreAtAllClosesTheProgram) {
    FillSomeData();
    SetPulseStoreAllocationLimit(1000);
    settings.channel[0].maxPulses = 4000000;
    EXPECT_FALSE(AllocatePulseStore(false, false));
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{FALLBACK, TERMINATING}));
    EXPECT_EQ(Headless().messages[1].style, MB_ICONHAND);
    const std::vector<int>& commands = DispatchedCommands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), IDM_EXIT), commands.end());
    // Nothing may address records that do not exist.
    EXPECT_EQ(pulseStore, nullptr);
    EXPECT_EQ(pulseCapacity[0] + pulseCapacity[1], 0u);
    EXPECT_EQ(pulseCount[0] + pulseCount[1], 0u);
}

TEST_F(PulseStoreTest, MaxPulsesAreLimitedToOneHundredMillionPerChannelAndThatSizeIsAllocated) {
    settings.channel[0].maxPulses = 3e8;
    settings.channel[1].maxPulses = 1e8;
    EXPECT_TRUE(AllocatePulseStore(false, true));
    EXPECT_EQ(settings.channel[0].maxPulses, 1e8);
    EXPECT_EQ(pulseCapacity[0], 100000000u);
    EXPECT_EQ(pulseCapacity[1], 100000000u);
    EXPECT_EQ(storeSize, 200000000u);
    ASSERT_NE(pulseStore, nullptr);
    // The last record of the right channel lies beyond 4 GB and is usable.
    PulseRecord& last = pulseStore[PulseIndex(1, 99999999)];
    last = {123, 4, 5, 6, 7};
    EXPECT_EQ(pulseStore[199999999].time, 123);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{QUESTION});
}

TEST_F(PulseStoreTest, LoadingAFileWithinTheStoreKeepsItsCapacitiesAndData) {
    FillSomeData();
    PulseRecord* before = pulseStore;
    settings.channel[0].maxPulses = 1500000;
    settings.channel[1].maxPulses = 500000;
    pulseCapacity[0] = 1500000;
    pulseCapacity[1] = 500000;
    EXPECT_TRUE(AllocatePulseStore(false, false));
    EXPECT_EQ(pulseStore, before);
    EXPECT_EQ(pulseCapacity[0], 1500000u);
    EXPECT_EQ(PulseIndex(1, 0), 1500000u);
    EXPECT_EQ(pulseCount[0], 5u);
    EXPECT_TRUE(Headless().messages.empty());
}

TEST_F(PulseStoreTest, ClearAcquisitionEmptiesEverythingDerivedFromTheData) {
    FillSomeData();
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
