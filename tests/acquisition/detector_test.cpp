// Detector, threshold method: the exact threshold, dropped links, the limits, the input snapshot and
// unreadable layouts (gains, baselines and the plain model of the method are in detector_vectors_test).
#include <gtest/gtest.h>

#include <cstring>

#include "tests/acquisition/detector_fixture.h"
#include "ui/commands.h"

namespace {
// The pass asked its caller to stop the capture; the detector itself never dispatches a command.
bool StopRequested() {
    EXPECT_TRUE(DispatchedCommands().empty());
    return DetectorTest::limitReported;
}

}  // namespace

// A sample exactly at the threshold opens a pulse and keeps it open; the first sample below ends it.
TEST_F(DetectorTest, ThresholdIsInclusive) {
    UseLiveFormat(1, 4);
    const double t = static_cast<double>(workingParameters[0][FIELD_MIN_HEIGHT]);
    Signal left(200, 0.0);
    const double around[] = {t - 1, t, t + 5, t, t - 1};
    for (int i = 0; i < 5; ++i) left[50 + i] = around[i];
    Detect({left}, 4);
    ASSERT_EQ(pulseCount[0], 1u);
    EXPECT_EQ(Record(0, 0).time, 51);
    EXPECT_EQ(Record(0, 0).width, 3u);
    EXPECT_EQ(Record(0, 0).height, static_cast<uint32_t>(t + 5));
    EXPECT_EQ(sampleClock, 200);
}

TEST_F(DetectorTest, DroppedOpenPulseLosesItsLinks) {
    Signal left(1000, 0.0), right(1000, 0.0);
    const double a = PercentOfFullScale(20);
    AddRectangle(right, 30, 3, a);    // R0
    AddRectangle(left, 200, 5, a);    // L0 linked with R1
    AddRectangle(right, 200, 5, a);   // R1
    AddRectangle(right, 990, 10, a);  // R2 still open at the end of the capture
    AddRectangle(left, 995, 3, a);    // L1 linked with the open R2
    Detect({left, right}, 2);
    ASSERT_TRUE(runState & RS_PULSE_OPEN_RIGHT);
    ASSERT_EQ(Record(0, 1).partner, 2u);

    // Continue drops R2; a later right pulse takes its index and must not appear linked to L1.
    ContinueCapture();
    EXPECT_FALSE(runState & (RS_PULSE_OPEN_LEFT | RS_PULSE_OPEN_RIGHT));
    EXPECT_EQ(Record(0, 1).partner, 0u);
    EXPECT_EQ(Record(0, 0).partner, 1u);
    Signal right2(1000, 0.0);
    AddRectangle(right2, 400, 5, a);
    Detect({Signal(1000, 0.0), right2}, 2);
    ASSERT_EQ(pulseCount[1], 3u);
    EXPECT_EQ(Record(1, 2).time, 1400);
    EXPECT_EQ(Record(0, 1).partner, 0u);
}

// Ten pulses at most: the tenth closes at frame 555, where the pass stops; later passes do nothing.
TEST_F(DetectorTest, LimitsStopThePassAtTheirFrameAndHoldUntilContinue) {
    SetChannelField(0, FIELD_MAX_PULSES, 10);
    settings.channel[1].maxPulses = 10;
    AllocatePulseStore(true, false);
    ASSERT_EQ(pulseCapacity[0], 10u);
    Signal many(2000, 0.0), few(2000, 0.0);
    for (int i = 0; i < 15; ++i) AddRectangle(many, 100 + 50 * i, 5, PercentOfFullScale(20));
    AddRectangle(few, 30, 5, PercentOfFullScale(20));
    Detect({many, few}, 2);
    EXPECT_EQ(pulseCount[0], 10u);
    EXPECT_EQ(sampleClock, 555);
    EXPECT_TRUE(StopRequested());
    ResetDispatcher();
    Detect({many, few}, 2);
    EXPECT_EQ(sampleClock, 555);
    EXPECT_FALSE(StopRequested());

    // Continue at the limit (or with a lowered limit) stops at once, never writing beyond the capacity.
    ContinueCapture();
    std::vector<PulseRecord> rightBefore = Records(1);
    Detect({many, few}, 2);
    EXPECT_TRUE(StopRequested());
    EXPECT_EQ(sampleClock, 555);
    EXPECT_EQ(pulseCount[0], 10u);
    ASSERT_EQ(pulseCount[1], 1u);
    EXPECT_TRUE(Record(1, 0) == rightBefore[0]);
    ContinueCapture();
    settings.channel[0].maxPulses = 20;
    settings.channel[1].maxPulses = 1;  // below what the dialog allows, as an old data file may hold
    Detect({many, few}, 2);
    EXPECT_TRUE(StopRequested());
    EXPECT_EQ(sampleClock, 555);
}

TEST_F(DetectorTest, SnapshotShowsSixtyFourFramesBeforeTheTriggeringPulse) {
    UseLiveFormat(2, 4);
    Signal left(1000, 0.0), right(1000, 0.0);
    for (int f = 0; f < 1000; ++f) {
        left[static_cast<size_t>(f)] = (f % 100) * 100000.0;
        right[static_cast<size_t>(f)] = -(f % 97) * 100000.0;
    }
    AddRectangle(right, 10, 3, PercentOfFullScale(20));  // fewer than 64 frames before it
    AddRectangle(left, 500, 5, PercentOfFullScale(20));
    AddRectangle(right, 800, 5, PercentOfFullScale(20));
    Detect({left, right}, 4);
    auto shown = [](int c, int i) { return inputSnapshot[c][(snapshotTrigger - 64 + i) & 127]; };
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(shown(0, i), SampleValue(left[static_cast<size_t>(436 + i)], 4)) << i;
        EXPECT_EQ(shown(1, i), SampleValue(right[static_cast<size_t>(436 + i)], 4)) << i;
    }

    // A block without pulses keeps the snapshot, unless the view runs free.
    int32_t trigger = snapshotTrigger;
    double before[2][128];
    std::memcpy(before, inputSnapshot, sizeof(before));
    Signal quiet(1000, 12345.0);
    Detect({quiet, quiet}, 4);
    EXPECT_EQ(snapshotTrigger, trigger);
    EXPECT_EQ(std::memcmp(before, inputSnapshot, sizeof(before)), 0);
    runState |= RS_INPUT_FREE_RUN;
    Detect({quiet, quiet}, 4);
    EXPECT_EQ(snapshotTrigger, 0);
    EXPECT_EQ(inputSnapshot[0][5], 12345.0);

    // Only a pulse in the first 64 frames: the snapshot is taken with the trigger at 64.
    runState &= ~RS_INPUT_FREE_RUN;
    Signal early(1000, 0.0);
    AddRectangle(early, 20, 3, PercentOfFullScale(20));
    Detect({early, Signal(1000, 0.0)}, 4);
    EXPECT_EQ(snapshotTrigger, 64);
}

TEST_F(DetectorTest, UnreadableLayoutsEmptyBlocksAndTheLimitBitChangeNothing) {
    runState |= RS_FILE_REPLAY;
    Signal signal(300, PercentOfFullScale(50));
    std::vector<uint8_t> block = PackBlock({signal, signal, signal}, 2);
    const uint16_t layouts[][2] = {{3, 6}, {2, 2}, {0, 0}};  // three channels, one byte per sample, none
    for (const auto& layout : layouts) {
        SetReplayFormat(layout[0], layout[1]);
        DetectPulses(block.data(), static_cast<uint32_t>(block.size()));
    }
    SetReplayFormat(1, 2);
    bufferFirstPulse[1] = 7;  // a mono pass marks the right channel's first new pulse as well
    DetectPulses(nullptr, 0);
    EXPECT_EQ(bufferFirstPulse[1], 0u);
    runState |= RS_LIMIT_REACHED;
    DetectPulses(block.data(), static_cast<uint32_t>(block.size()));
    EXPECT_EQ(pulseCount[0] + pulseCount[1], 0u);
    EXPECT_EQ(sampleClock, 0);
}
