// Detector, threshold method: records, pulses across blocks, stereo clock, polarity, baseline, sample
// widths, coincidence links, limits, channel rules, the input snapshot and pass bookkeeping.
#include <gtest/gtest.h>

#include <algorithm>
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

TEST_F(DetectorTest, RectangularPulsesGiveTimeWidthHeightAndClock) {
    UseLiveFormat(1, 4);
    Signal left(1000, 0.0);
    AddRectangle(left, 100, 5, PercentOfFullScale(20));
    AddRectangle(left, 300, 12, PercentOfFullScale(50));
    Detect({left}, 4);

    ASSERT_EQ(pulseCount[0], 2u);
    EXPECT_EQ(pulseCount[1], 0u);
    EXPECT_EQ(Record(0, 0).time, 100);
    EXPECT_EQ(Record(0, 0).width, 5u);
    EXPECT_EQ(Record(0, 0).height, static_cast<uint32_t>(SampleValue(PercentOfFullScale(20), 4)));
    EXPECT_EQ(Record(0, 0).distortion, 0u);
    EXPECT_EQ(Record(0, 0).partner, 0u);
    EXPECT_EQ(Record(0, 1).time, 300);
    EXPECT_EQ(Record(0, 1).width, 12u);
    EXPECT_EQ(Record(0, 1).height, static_cast<uint32_t>(SampleValue(PercentOfFullScale(50), 4)));
    EXPECT_EQ(sampleClock, 1000);
    // A floating-point division: 1000 frames at 48000 Hz are not 0 seconds.
    EXPECT_DOUBLE_EQ(acquisitionSeconds, 1000.0 / 48000.0);
    EXPECT_EQ(runState & (RS_PULSE_OPEN_LEFT | RS_PULSE_OPEN_RIGHT), 0u);
    EXPECT_FALSE(StopRequested());

    Detect({Signal(500, 0.0)}, 4);
    EXPECT_EQ(bufferFirstPulse[0], 2u);
    EXPECT_EQ(pulseCount[0], 2u);
    EXPECT_EQ(sampleClock, 1500);
    EXPECT_DOUBLE_EQ(acquisitionSeconds, 1500.0 / 48000.0);
}

// A sample exactly at the threshold opens a pulse and keeps it open; the first sample below ends it.
// The boost gain multiplies the samples up to its limit of 100.
TEST_F(DetectorTest, ThresholdIsInclusiveAndTheGainScalesTheSamples) {
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

    for (double gain : {50.0, 1000.0}) {
        SetChannelField(0, FIELD_BOOST_GAIN, gain);
        Signal weak(200, 0.0);
        AddRectangle(weak, 20, 4, PercentOfFullScale(0.5));
        uint32_t before = pulseCount[0];
        Detect({weak}, 4);
        ASSERT_EQ(pulseCount[0], before + 1) << gain;
        EXPECT_EQ(Record(0, before).height,
                  static_cast<uint32_t>(SampleValue(PercentOfFullScale(0.5), 4) * std::min(gain, 100.0)))
            << gain;
    }
}

TEST_F(DetectorTest, PulseSpanningTwoBlocksIsStoredOnceWithCombinedWidth) {
    Signal left1(1000, 0.0), right1(1000, 0.0);
    AddRectangle(left1, 990, 10, PercentOfFullScale(30));
    Detect({left1, right1}, 2);
    EXPECT_EQ(pulseCount[0], 0u);
    EXPECT_TRUE(runState & RS_PULSE_OPEN_LEFT);

    Signal left2(1000, 0.0), right2(1000, 0.0);
    AddRectangle(left2, 0, 10, PercentOfFullScale(30));
    AddRectangle(left2, 500, 4, PercentOfFullScale(30));
    Detect({left2, right2}, 2);
    ASSERT_EQ(pulseCount[0], 2u);
    EXPECT_EQ(Record(0, 0).time, 990);
    EXPECT_EQ(Record(0, 0).width, 20u);
    EXPECT_EQ(Record(0, 0).height, static_cast<uint32_t>(SampleValue(PercentOfFullScale(30), 2)));
    EXPECT_EQ(Record(0, 1).time, 1500);
    EXPECT_EQ(bufferFirstPulse[0], 0u);
    EXPECT_FALSE(runState & RS_PULSE_OPEN_LEFT);
}

TEST_F(DetectorTest, StereoFramesShareTheClock) {
    Signal left(1000, 0.0), right(1000, 0.0);
    AddRectangle(left, 200, 8, PercentOfFullScale(10));
    AddRectangle(right, 200, 3, PercentOfFullScale(40));
    AddRectangle(right, 601, 2, PercentOfFullScale(40));
    Detect({left, right}, 2);
    ASSERT_EQ(pulseCount[0], 1u);
    ASSERT_EQ(pulseCount[1], 2u);
    EXPECT_EQ(Record(0, 0).time, 200);
    EXPECT_EQ(Record(1, 0).time, 200);
    EXPECT_EQ(Record(0, 0).width, 8u);
    EXPECT_EQ(Record(1, 0).width, 3u);
    EXPECT_EQ(Record(1, 1).time, 601);
    // The right sample's low-order bytes are the left sample before it: agreement to 16-bit resolution.
    EXPECT_NEAR(Record(1, 0).height, SampleValue(PercentOfFullScale(40), 2), 65536.0);
    EXPECT_EQ(sampleClock, 1000);
}

TEST_F(DetectorTest, NegativeMinHeightFindsNegativePulsesWithPositiveHeights) {
    SetChannelField(0, FIELD_MIN_HEIGHT, -5.0);
    UseLiveFormat(1, 2);
    Signal negative(4000, 0.0);
    AddNoise(negative, PercentOfFullScale(0.2), 1);
    for (int i = 0; i < 5; ++i) AddRectangle(negative, 300 + 700 * i, 6, -PercentOfFullScale(8));
    Detect({negative}, 2);
    ASSERT_EQ(pulseCount[0], 5u);
    for (uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(Record(0, i).time, 300 + 700 * static_cast<int64_t>(i));
        EXPECT_EQ(Record(0, i).width, 6u);
        EXPECT_GT(Record(0, i).height, PercentOfFullScale(7.5));
        EXPECT_LT(Record(0, i).height, PercentOfFullScale(9.0));
    }

    Signal positive(4000, 0.0);
    AddNoise(positive, PercentOfFullScale(0.2), 2);
    for (int i = 0; i < 5; ++i) AddRectangle(positive, 300 + 700 * i, 6, PercentOfFullScale(8));
    Detect({positive}, 2);
    EXPECT_EQ(pulseCount[0], 5u);
}

TEST_F(DetectorTest, BaselineIsEstimatedPerBlock) {
    SetChannelField(0, FIELD_MIN_HEIGHT, 5.0);
    UseLiveFormat(1, 2);
    for (int block = 0; block < 2; ++block) {
        // The offset changes from block to block; heights stay measured from the baseline.
        Signal signal(6000, PercentOfFullScale(block == 0 ? 20.0 : -30.0));
        AddNoise(signal, PercentOfFullScale(0.15), 3 + block);
        for (int i = 0; i < 6; ++i) AddDetectorPulse(signal, 500.0 + 900.0 * i + 0.3 * i, PercentOfFullScale(10));
        Detect({signal}, 2);
    }
    ASSERT_EQ(pulseCount[0], 12u);
    for (uint32_t i = 0; i < 12; ++i) {
        EXPECT_GT(Record(0, i).height, PercentOfFullScale(9.0)) << i;
        EXPECT_LT(Record(0, i).height, PercentOfFullScale(11.5)) << i;
    }
}

TEST_F(DetectorTest, SampleWidthsGiveTheSameTimesAndWidthsAndHeightsTo16Bits) {
    // The same 16-bit signal as 16-, 24- and 32-bit samples. Below their own resolution 16- and
    // 24-bit samples carry bits of the preceding sample, so the pulses have steep edges: no sample
    // lies within that margin of the threshold.
    settings.channel[0].minHeight = settings.channel[1].minHeight = 3.0;
    QuantizeSettings(false);
    Signal left(20000, 0.0), right(20000, 0.0);
    AddNoise(left, PercentOfFullScale(0.3), 11);
    AddNoise(right, PercentOfFullScale(0.3), 12);
    for (int i = 0; i < 40; ++i) {
        AddRectangle(left, 200 + 480 * i, 5 + i % 7, PercentOfFullScale(10.0 + 1.3 * i));
        AddRectangle(right, 350 + 470 * i, 12 - i % 9, PercentOfFullScale(60.0 - 1.1 * i));
        AddRectangle(right, 360 + 470 * i, 2, -PercentOfFullScale(30.0));
    }
    QuantizeToWidth(left, 2);
    QuantizeToWidth(right, 2);

    std::vector<PulseRecord> results[3][2];
    for (int b = 2; b <= 4; ++b) {
        ClearAcquisition();
        ContinueCapture();
        UseLiveFormat(2, b);
        Detect({left, right}, b);
        for (int c = 0; c < 2; ++c) results[b - 2][c] = Records(c);
    }
    for (int c = 0; c < 2; ++c) {
        ASSERT_EQ(results[0][c].size(), 40u);
        for (int b = 1; b < 3; ++b) {
            ASSERT_EQ(results[b][c].size(), results[0][c].size());
            for (size_t i = 0; i < results[0][c].size(); ++i) {
                EXPECT_EQ(results[b][c][i].time, results[0][c][i].time);
                EXPECT_EQ(results[b][c][i].width, results[0][c][i].width);
                EXPECT_NEAR(results[b][c][i].height, results[0][c][i].height, 65536.0);
            }
        }
    }
}

TEST_F(DetectorTest, CoincidentPulsesAreLinked) {
    Signal left(2000, 0.0), right(2000, 0.0);
    const double a = PercentOfFullScale(20);
    AddRectangle(left, 100, 10, a);   // L0, alone
    AddRectangle(right, 150, 10, a);  // R0, alone
    AddRectangle(left, 300, 20, a);   // L1 with R1 inside it
    AddRectangle(right, 305, 5, a);   // R1
    AddRectangle(left, 500, 100, a);  // L2, long, overlapping R2 and R3
    AddRectangle(right, 510, 5, a);   // R2
    AddRectangle(right, 550, 5, a);   // R3
    AddRectangle(right, 700, 5, a);   // R4 closes at frame 705, where L3 opens: no link
    AddRectangle(left, 705, 10, a);   // L3
    AddRectangle(right, 800, 6, a);   // R5 continues at frame 805, where L4 opens: linked
    AddRectangle(left, 805, 10, a);   // L4
    AddRectangle(right, 900, 20, a);  // R6 open before L5 opens
    AddRectangle(left, 910, 3, a);    // L5
    Detect({left, right}, 2);
    ASSERT_EQ(pulseCount[0], 6u);
    ASSERT_EQ(pulseCount[1], 7u);
    EXPECT_EQ(Record(0, 0).partner, 0u);
    EXPECT_EQ(Record(1, 0).partner, 0u);
    EXPECT_EQ(Record(0, 1).partner, 1u);
    EXPECT_EQ(Record(1, 1).partner, 1u);
    EXPECT_EQ(Record(0, 2).partner, 3u);  // the long pulse keeps the last overlap
    EXPECT_EQ(Record(1, 2).partner, 2u);
    EXPECT_EQ(Record(1, 3).partner, 2u);
    EXPECT_EQ(Record(0, 3).partner, 0u);
    EXPECT_EQ(Record(1, 4).partner, 0u);
    EXPECT_EQ(Record(0, 4).partner, 5u);
    EXPECT_EQ(Record(1, 5).partner, 4u);
    EXPECT_EQ(Record(0, 5).partner, 6u);
    EXPECT_EQ(Record(1, 6).partner, 5u);
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
    ASSERT_EQ(pulseCount[0], 2u);
    ASSERT_EQ(pulseCount[1], 2u);
    ASSERT_TRUE(runState & RS_PULSE_OPEN_RIGHT);
    ASSERT_EQ(Record(0, 1).partner, 2u);

    // Continue drops R2; a later right pulse takes its index and must not appear linked to L1.
    ContinueCapture();
    EXPECT_FALSE(runState & (RS_PULSE_OPEN_LEFT | RS_PULSE_OPEN_RIGHT));
    EXPECT_EQ(Record(0, 1).partner, 0u);
    EXPECT_EQ(Record(0, 0).partner, 1u);
    EXPECT_EQ(Record(1, 1).partner, 0u);
    Signal left2(1000, 0.0), right2(1000, 0.0);
    AddRectangle(right2, 400, 5, a);
    Detect({left2, right2}, 2);
    ASSERT_EQ(pulseCount[1], 3u);
    EXPECT_EQ(Record(1, 2).time, 1400);
    EXPECT_EQ(Record(0, 1).partner, 0u);
}

TEST_F(DetectorTest, MaxPulsesStopsAtTheTenthPulseAndIgnoresTheRest) {
    SetChannelField(0, FIELD_MAX_PULSES, 10);
    Signal left(2000, 0.0), right(2000, 0.0);
    for (int i = 0; i < 15; ++i) AddRectangle(left, 100 + 50 * i, 5, PercentOfFullScale(20));
    AddRectangle(right, 700, 5, PercentOfFullScale(20));
    Detect({left, right}, 2);
    EXPECT_EQ(pulseCount[0], 10u);
    EXPECT_EQ(pulseCount[1], 0u);
    EXPECT_TRUE(runState & RS_LIMIT_REACHED);
    EXPECT_TRUE(StopRequested());
    // The tenth pulse (frames 550 to 554) closed at frame 555; the clock stops there.
    EXPECT_EQ(sampleClock, 555);
    EXPECT_DOUBLE_EQ(acquisitionSeconds, 555.0 / 48000.0);

    // Further blocks are ignored while the limit bit stays set.
    ResetDispatcher();
    Detect({left, right}, 2);
    EXPECT_EQ(pulseCount[0], 10u);
    EXPECT_EQ(sampleClock, 555);
    EXPECT_FALSE(StopRequested());
}

TEST_F(DetectorTest, ContinueAtTheLimitNeverWritesBeyondTheChannelsCapacity) {
    settings.channel[0].maxPulses = settings.channel[1].maxPulses = 10;
    QuantizeSettings(false);
    AllocatePulseStore(true, false);
    ASSERT_EQ(pulseCapacity[0], 10u);
    Signal left(2000, 0.0), right(2000, 0.0);
    for (int i = 0; i < 3; ++i) AddRectangle(right, 50 + 20 * i, 4, PercentOfFullScale(30));
    for (int i = 0; i < 10; ++i) AddRectangle(left, 200 + 50 * i, 5, PercentOfFullScale(20));
    Detect({left, right}, 2);
    ASSERT_EQ(pulseCount[0], 10u);
    ASSERT_EQ(pulseCount[1], 3u);
    std::vector<PulseRecord> rightBefore = Records(1);

    ContinueCapture();
    ResetDispatcher();
    int64_t clock = sampleClock;
    Detect({left, right}, 2);
    EXPECT_EQ(pulseCount[0], 10u);
    EXPECT_EQ(pulseCount[1], 3u);
    EXPECT_TRUE(runState & RS_LIMIT_REACHED);
    EXPECT_TRUE(StopRequested());
    EXPECT_EQ(sampleClock, clock);
    std::vector<PulseRecord> rightAfter = Records(1);
    EXPECT_EQ(std::memcmp(rightBefore.data(), rightAfter.data(), sizeof(PulseRecord) * 3), 0);
}

TEST_F(DetectorTest, LoweredMaxPulsesIsALimitAtTheNextPass) {
    Signal left(1000, 0.0), right(1000, 0.0);
    for (int i = 0; i < 5; ++i) AddRectangle(left, 100 + 50 * i, 5, PercentOfFullScale(20));
    Detect({left, right}, 2);
    ASSERT_EQ(pulseCount[0], 5u);
    settings.channel[0].maxPulses = 5;  // below what the dialog allows, as an old data file may hold
    Detect({left, right}, 2);
    EXPECT_EQ(pulseCount[0], 5u);
    EXPECT_TRUE(runState & RS_LIMIT_REACHED);
    EXPECT_EQ(sampleClock, 1000);
}

TEST_F(DetectorTest, AcquisitionTimeStopsAtItsFrame) {
    settings.channel[0].acquisitionTime = settings.channel[1].acquisitionTime = 0.01;
    QuantizeSettings(false);
    Signal left(1000, 0.0), right(1000, 0.0);
    AddRectangle(left, 470, 20, PercentOfFullScale(20));
    Detect({left, right}, 2);
    EXPECT_EQ(sampleClock, 480);
    EXPECT_DOUBLE_EQ(acquisitionSeconds, 0.01);
    EXPECT_TRUE(runState & RS_LIMIT_REACHED);
    EXPECT_TRUE(StopRequested());
    EXPECT_EQ(pulseCount[0], 0u);  // still open, not counted
    EXPECT_TRUE(runState & RS_PULSE_OPEN_LEFT);
}

TEST_F(DetectorTest, EveryPassMarksTheFirstNewPulseOfBothChannels) {
    Signal left(1000, 0.0), right(1000, 0.0);
    AddRectangle(left, 100, 5, PercentOfFullScale(20));
    AddRectangle(left, 300, 5, PercentOfFullScale(20));
    AddRectangle(right, 200, 5, PercentOfFullScale(20));
    AddRectangle(right, 400, 5, PercentOfFullScale(20));
    Detect({left, right}, 2);
    ASSERT_EQ(pulseCount[1], 2u);
    UseLiveFormat(1, 2);
    Detect({left}, 2);
    EXPECT_EQ(bufferFirstPulse[0], 2u);
    EXPECT_EQ(bufferFirstPulse[1], 2u);  // the block carried no right channel
    EXPECT_EQ(pulseCount[0], 4u);
    EXPECT_EQ(pulseCount[1], 2u);
}

TEST_F(DetectorTest, RightOnlyInputFeedsTheRightChannel) {
    settings.inputChannels = 1;
    UseLiveFormat(1, 3);
    Signal signal(1000, 0.0);
    AddRectangle(signal, 250, 7, PercentOfFullScale(15));
    Detect({signal}, 3);
    EXPECT_EQ(pulseCount[0], 0u);
    ASSERT_EQ(pulseCount[1], 1u);
    EXPECT_EQ(Record(1, 0).time, 250);
    EXPECT_EQ(Record(1, 0).width, 7u);
    EXPECT_EQ(sampleClock, 1000);
}

TEST_F(DetectorTest, FileReplayUsesTheFilesLayoutAndStartsWithTheLeftChannel) {
    settings.inputChannels = 1;
    UseLiveFormat(1, 2);
    runState |= RS_FILE_REPLAY;
    SetReplayFormat(2, 6);
    Signal left(1000, 0.0), right(1000, 0.0);
    AddRectangle(left, 100, 5, PercentOfFullScale(15));
    AddRectangle(right, 600, 9, PercentOfFullScale(15));
    Detect({left, right}, 3);
    ASSERT_EQ(pulseCount[0], 1u);
    ASSERT_EQ(pulseCount[1], 1u);
    EXPECT_EQ(Record(0, 0).time, 100);
    EXPECT_EQ(Record(1, 0).time, 600);
    EXPECT_EQ(Record(1, 0).width, 9u);
    EXPECT_EQ(sampleClock, 1000);
}

TEST_F(DetectorTest, LayoutsTheDetectorCannotReadAreIgnored) {
    runState |= RS_FILE_REPLAY;
    Signal signal(300, PercentOfFullScale(50));
    std::vector<uint8_t> block = PackBlock({signal, signal, signal}, 2);
    SetReplayFormat(3, 6);  // three channels
    DetectPulses(block.data(), static_cast<uint32_t>(block.size()));
    SetReplayFormat(2, 2);  // one byte per sample
    DetectPulses(block.data(), static_cast<uint32_t>(block.size()));
    SetReplayFormat(0, 0);
    DetectPulses(block.data(), static_cast<uint32_t>(block.size()));
    EXPECT_EQ(pulseCount[0] + pulseCount[1], 0u);
    EXPECT_EQ(sampleClock, 0);
    EXPECT_FALSE(runState & RS_LIMIT_REACHED);
}

TEST_F(DetectorTest, BlocksOfOddLengthAndNoSamplesAreSafe) {
    UseLiveFormat(2, 3);
    Signal left(11, PercentOfFullScale(30)), right(11, 0.0);
    std::vector<uint8_t> block = PackBlock({left, right}, 3);
    block.resize(block.size() - 4);  // ends in the middle of the last frame
    DetectPulses(block.data(), static_cast<uint32_t>(block.size()));
    EXPECT_EQ(sampleClock, 10);
    DetectPulses(nullptr, 0);
    EXPECT_EQ(sampleClock, 10);
    EXPECT_EQ(bufferFirstPulse[0], pulseCount[0]);
}

TEST_F(DetectorTest, OverdrivenSignalGivesTheLargestHeight) {
    UseLiveFormat(1, 4);
    SetChannelField(0, FIELD_BOOST_GAIN, 100.0);
    Signal signal(1000, 0.0);
    AddRectangle(signal, 300, 10, PercentOfFullScale(50));
    AddRectangle(signal, 600, 10, -PercentOfFullScale(50));
    Detect({signal}, 4);
    // The gained samples are limited to full scale, the baseline is not: detection values far
    // beyond 32 bits must be stored as the largest height instead of wrapping.
    ASSERT_TRUE(pulseCount[0] > 0 || (runState & RS_PULSE_OPEN_LEFT));
    EXPECT_EQ(Record(0, 0).height, 0xFFFFFFFFu);
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

TEST_F(DetectorTest, NothingHappensWhileTheLimitBitIsSet) {
    runState |= RS_LIMIT_REACHED;
    bufferFirstPulse[0] = 7;
    Signal left(100, PercentOfFullScale(50));
    Detect({left, left}, 2);
    EXPECT_EQ(sampleClock, 0);
    EXPECT_EQ(bufferFirstPulse[0], 7u);
    EXPECT_FALSE(StopRequested());
}
