// Detector, threshold method: a plain model of the method against DetectPulses in every layout, the
// exact threshold and gain boundaries, dropped links, the limits, the input snapshot and unreadable layouts.
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

uint32_t Height(double d) { return d <= 0.0 ? 0 : d >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(d); }

// The threshold method written plainly: per block and channel the baseline is the mean of the gained
// samples on the far side of the block's mean from the pulses; a pulse runs while the gained sample
// (limited to full scale) minus the baseline, times the polarity, stays at or above the threshold. A
// right sample while both channels have a pulse open links the two. Limits end the capture.
struct Model {
    struct Channel {
        bool open = false;
        PulseRecord record{};
        std::vector<PulseRecord> closed;
    };
    Channel channel[2];
    int64_t clock = 0;
    bool stopped = false;

    static double Gain(int c) { return std::clamp(settings.channel[c].boostGain, 1.0, 100.0); }
    static double Sign(int c) { return settings.channel[c].minHeight < 0.0 ? -1.0 : 1.0; }
    static double Threshold(int c) { return static_cast<double>(workingParameters[c][FIELD_MIN_HEIGHT]) * Sign(c); }

    // A block of B-byte samples: each read as the 32-bit word that ends with its last byte.
    void Block(const std::vector<uint8_t>& bytes, int b, int n, const int slotChannel[2]) {
        std::vector<int32_t> words(bytes.size() / static_cast<size_t>(b));
        for (size_t k = 0; k < words.size(); ++k) {
            uint32_t word = 0;
            for (int i = 0; i < 4; ++i) {
                int64_t at = static_cast<int64_t>(k + 1) * b - 4 + i;
                if (at >= 0) word |= static_cast<uint32_t>(bytes[static_cast<size_t>(at)]) << (8 * i);
            }
            words[k] = static_cast<int32_t>(word);
        }
        if (stopped) return;
        double baseline[2] = {0.0, 0.0};
        size_t frames = words.size() / static_cast<size_t>(n);
        for (int slot = 0; slot < n; ++slot) {
            int c = slotChannel[slot];
            int64_t sum = 0;
            for (size_t f = 0; f < frames; ++f) sum += words[f * n + slot];
            double mean = frames ? static_cast<double>(sum) * Gain(c) / static_cast<double>(frames) : 0.0;
            double below = 0.0;
            int64_t count = 0;
            for (size_t f = 0; f < frames; ++f) {
                double v = words[f * n + slot] * Gain(c);
                if ((v - mean) * Sign(c) < 0.0) {
                    below += v;
                    ++count;
                }
            }
            baseline[c] = count ? below / static_cast<double>(count) : 0.0;
            stopped = stopped || channel[c].closed.size() >= settings.channel[c].maxPulses;
        }
        for (size_t k = 0; k < words.size() && !stopped; ++k) {
            int c = slotChannel[k % n];
            if (clock >= workingParameters[c][FIELD_ACQUISITION_TIME]) {
                stopped = true;
                break;
            }
            double v = std::clamp(words[k] * Gain(c), -2147483648.0, 2147483647.0);
            double d = (v - baseline[c]) * Sign(c);
            Channel& p = channel[c];
            if (!p.open && d >= Threshold(c)) {
                p.open = true;
                p.record = {clock, 1, Height(d), 0, 0};
            } else if (p.open && d < Threshold(c)) {
                p.open = false;
                p.closed.push_back(p.record);
                stopped = p.closed.size() >= settings.channel[c].maxPulses;
                if (stopped) break;
            } else if (p.open) {
                p.record.height = std::max(p.record.height, Height(d));
                ++p.record.width;
            }
            if (c == 1 && channel[0].open && channel[1].open) {
                channel[0].record.partner = static_cast<uint32_t>(channel[1].closed.size());
                channel[1].record.partner = static_cast<uint32_t>(channel[0].closed.size());
            }
            if (k % n == static_cast<size_t>(n - 1)) ++clock;
        }
    }
};

bool SameRecord(const PulseRecord& a, const PulseRecord& b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }
}  // namespace

// Detector-like and rectangular pulses on a drifting, noisy baseline, overlapping in both channels, some
// fed in blocks cut anywhere (inside pulses, inside frames), up to the limits.
TEST_F(DetectorTest, EveryLayoutGivesThePlainModelsRecords) {
    enum Input { LIVE, LIVE_RIGHT_ONLY, REPLAY };
    struct Case {
        int bytes, channels;
        Input input;
        double minHeight, gain, seconds, maxPulses;
    };
    const Case cases[] = {
        {4, 1, LIVE, 2.0, 1.0, 0, 1000},         {2, 2, LIVE, 3.0, 1.0, 0, 1000},
        {3, 2, REPLAY, -2.0, 1.0, 0, 1000},      {3, 1, LIVE_RIGHT_ONLY, 2.0, 1.0, 0, 1000},
        {2, 1, LIVE, -4.0, 2.5, 0, 1000},        {4, 2, LIVE, 3.0, 50.0, 0, 1000},
        {4, 2, REPLAY, 1.0, 1000.0, 0, 1000},    {2, 2, LIVE, 3.0, 1.0, 0.2, 1000},
        {3, 2, LIVE, 2.0, 1.0, 0, 25},
    };
    const int64_t blocks[] = {997, 1, 4000, 2, 333, 7001, 64};
    for (const Case& test : cases) {
        SCOPED_TRACE(::testing::Message() << test.bytes << " bytes, " << test.channels << " channels, input "
                                          << test.input << ", min height " << test.minHeight << ", gain "
                                          << test.gain);
        ClearAcquisition();
        ContinueCapture();
        settings.inputChannels = test.channels == 2 ? 2 : test.input == LIVE_RIGHT_ONLY ? 1 : 0;
        for (ChannelSettings& channel : settings.channel) {
            channel.minHeight = test.minHeight;
            channel.boostGain = test.gain;
            channel.acquisitionTime = test.seconds > 0 ? test.seconds : 1000.0;
            channel.maxPulses = test.maxPulses;
        }
        QuantizeSettings(false);
        UseLiveFormat(test.channels, test.bytes);
        runState = (runState & ~RS_FILE_REPLAY) | (test.input == REPLAY ? RS_FILE_REPLAY : 0u);
        if (test.input == REPLAY) settings.inputChannels = 1;  // a replay ignores the live input choice
        SetReplayFormat(static_cast<uint16_t>(test.channels), static_cast<uint16_t>(test.channels * test.bytes));
        const int slotChannel[2] = {test.input == LIVE_RIGHT_ONLY ? 1 : 0, 1};

        const double polarity = test.minHeight < 0 ? -1.0 : 1.0, unit = PercentOfFullScale(1.0) / test.gain;
        std::vector<Signal> signals(static_cast<size_t>(test.channels), Signal(20000, 0.0));
        for (size_t c = 0; c < signals.size(); ++c) {
            Signal& s = signals[c];
            AddNoise(s, 0.1 * unit, static_cast<uint32_t>(c + 1));
            AddRectangle(s, 10000, 10000, 7.0 * unit);  // the offset changes between blocks
            for (int i = 0; i < 30; ++i) {
                int64_t start = 150 + 600 * i + static_cast<int64_t>(c) * (i % 7 - 3) * 3;
                AddDetectorPulse(s, static_cast<double>(start) + 0.3 * i, polarity * unit * (5.0 + 2.0 * i));
                AddRectangle(s, start + 300, 2 + (i * 5 + static_cast<int64_t>(c) * 3) % 40, polarity * unit * (30 - i));
            }
        }
        std::vector<uint8_t> bytes = PackBlock(signals, test.bytes);

        Model model;
        size_t at = 0;
        for (int i = 0; at < bytes.size(); ++i) {
            size_t length = std::min(bytes.size() - at, static_cast<size_t>(blocks[i % 7] * test.bytes));
            std::vector<uint8_t> block(bytes.begin() + static_cast<ptrdiff_t>(at),
                                       bytes.begin() + static_cast<ptrdiff_t>(at + length));
            at += length;
            // A pass marks where its new pulses begin, unless a limit stopped the capture before it.
            uint32_t first[2];
            for (int c = 0; c < 2; ++c) first[c] = model.stopped ? bufferFirstPulse[c] : pulseCount[c];
            DetectPulses(block.data(), static_cast<uint32_t>(block.size()));
            model.Block(block, test.bytes, test.channels, slotChannel);
            ASSERT_EQ(sampleClock, model.clock) << "block " << i;
            ASSERT_EQ((runState & RS_LIMIT_REACHED) != 0, model.stopped) << "block " << i;
            for (int c = 0; c < 2; ++c) {
                const Model::Channel& expected = model.channel[c];
                ASSERT_EQ(bufferFirstPulse[c], first[c]);
                ASSERT_EQ(pulseCount[c], expected.closed.size()) << "channel " << c << ", block " << i;
                for (uint32_t r = 0; r < pulseCount[c]; ++r) {
                    ASSERT_TRUE(SameRecord(Record(c, r), expected.closed[r])) << r;
                }
                ASSERT_EQ((runState & (c ? RS_PULSE_OPEN_RIGHT : RS_PULSE_OPEN_LEFT)) != 0, expected.open);
                if (expected.open) {
                    ASSERT_TRUE(SameRecord(Record(c, pulseCount[c]), expected.record));
                }
            }
        }
        uint32_t links = 0;
        for (const PulseRecord& r : model.channel[0].closed) links += r.partner != 0;
        EXPECT_GT(pulseCount[0] + pulseCount[1], 20u);
        if (test.channels == 2) {
            EXPECT_GT(links, 5u);
        }
    }
}

// A sample exactly at the threshold opens a pulse and keeps it open; the first sample below ends it.
// The boost gain multiplies the samples up to its limit of 100; detection values beyond 32 bits (the
// gained samples are limited to full scale, the baseline is not) give the largest height.
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
    EXPECT_EQ(sampleClock, 200);

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
    Signal overdriven(1000, 0.0);
    AddRectangle(overdriven, 300, 10, PercentOfFullScale(50));
    AddRectangle(overdriven, 600, 10, -PercentOfFullScale(50));
    uint32_t before = pulseCount[0];
    Detect({overdriven}, 4);
    EXPECT_EQ(Record(0, before).height, 0xFFFFFFFFu);
}

// Heights are measured from each block's own baseline, whatever the offset.
TEST_F(DetectorTest, BaselineIsEstimatedPerBlock) {
    SetChannelField(0, FIELD_MIN_HEIGHT, 5.0);
    UseLiveFormat(1, 2);
    for (int block = 0; block < 2; ++block) {
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

TEST_F(DetectorTest, LimitsStopThePassAtTheirFrameAndHoldUntilContinue) {
    // The acquisition time of 0.01 s ends the pass at frame 480; the open pulse is not counted.
    SetChannelField(0, FIELD_ACQUISITION_TIME, 0.01);
    Signal left(1000, 0.0), right(1000, 0.0);
    AddRectangle(left, 470, 20, PercentOfFullScale(20));
    Detect({left, right}, 2);
    EXPECT_EQ(sampleClock, 480);
    EXPECT_DOUBLE_EQ(acquisitionSeconds, 0.01);
    EXPECT_TRUE(StopRequested());
    EXPECT_EQ(pulseCount[0], 0u);
    EXPECT_TRUE(runState & RS_PULSE_OPEN_LEFT);

    // Ten pulses at most: the tenth closes at frame 555, where the pass stops; later passes do nothing.
    ClearAcquisition();
    ContinueCapture();
    SetChannelField(0, FIELD_ACQUISITION_TIME, 1000.0);
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
    EXPECT_TRUE(SameRecord(Record(1, 0), rightBefore[0]));
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
