// Detector, shape method and shape collection: correlation equals the peak-to-peak amplitude of a
// template-shaped pulse, the distortion test, blocks split anywhere, limits of the correlation, and
// the collection of pulse shapes during a shape acquisition with its bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "acquisition/pulse_shape.h"
#include "tests/acquisition/detector_fixture.h"

namespace {
// Channel c's template becomes a detector-like pulse with its peak near point 30, normalised.
void UseDetectorTemplate(int c) {
    for (int j = 0; j < SHAPE_POINTS; ++j) {
        settings.pulseShape[c][j] = DetectorPulse(j - 26.5, 1.5, 6.0);
        settings.shapePointUsed[c][j] = 1;
    }
    UpdatePulseShape(c);
}

// Adds 60 frames of exactly the template's shape with the given peak-to-peak amplitude.
void AddTemplatePulse(Signal& signal, int c, size_t start, double peakToPeak) {
    auto range = std::minmax_element(settings.pulseShape[c], settings.pulseShape[c] + SHAPE_POINTS);
    for (int j = 0; j < SHAPE_POINTS; ++j)
        signal[start + j] += peakToPeak * settings.pulseShape[c][j] / (*range.second - *range.first);
}

class ShapeMethodTest : public DetectorTest {
protected:
    void SetUp() override {
        DetectorTest::SetUp();
        UseLiveFormat(1, 4);
        UseDetectorTemplate(0);
        settings.options[0].useShapeMethod = 1;
    }
};
}  // namespace

// The height of a template-shaped pulse is its peak-to-peak amplitude, whatever the offset; the distortion
// limit keeps it and rejects a slower detector's pulse of the same height.
TEST_F(ShapeMethodTest, HeightIsThePeakToPeakAmplitudeAndDistortionSeparatesShapes) {
    // Above the correlation's side lobes, which reach about 7 % of a pulse's amplitude.
    SetChannelField(0, FIELD_MIN_HEIGHT, 5.0);
    SetChannelField(0, FIELD_MAX_DISTORTION, 100.0);
    Signal signal(3000, PercentOfFullScale(5));
    AddTemplatePulse(signal, 0, 500, PercentOfFullScale(30));
    AddTemplatePulse(signal, 0, 1000, PercentOfFullScale(12));
    AddDetectorPulse(signal, 1500.0, PercentOfFullScale(30), 8.0, 30.0);
    Detect({signal}, 4);
    ASSERT_GE(pulseCount[0], 3u);
    EXPECT_NEAR(Record(0, 0).height, PercentOfFullScale(30), 64.0);
    EXPECT_NEAR(Record(0, 1).height, PercentOfFullScale(12), 64.0);
    // At the best match the window has exactly the template's shape; the correlation rises while the
    // pulse enters the 60-frame window.
    EXPECT_LT(Record(0, 0).distortion, 4295u);
    EXPECT_LT(Record(0, 1).distortion, 4295u);
    EXPECT_GT(Record(0, 0).time, 500);
    EXPECT_LT(Record(0, 0).time, 560);
    for (uint32_t i = 2; i < pulseCount[0]; ++i) EXPECT_GT(Record(0, i).distortion / 4294967295.0, 0.1);

    ClearAcquisition();
    ContinueCapture();
    SetChannelField(0, FIELD_MAX_DISTORTION, 10.0);  // the default
    Detect({signal}, 4);
    EXPECT_EQ(pulseCount[0], 2u);
}

TEST_F(ShapeMethodTest, BlocksSplitAnywhereGiveTheSameRecords) {
    UseLiveFormat(2, 4);
    Signal left(12000, 0.0), right(12000, 0.0);
    AddNoise(left, PercentOfFullScale(0.2), 21);
    for (int i = 0; i < 20; ++i) {
        AddTemplatePulse(left, 0, static_cast<size_t>(300 + 580 * i), PercentOfFullScale(8.0 + 2.0 * i));
        AddRectangle(right, 500 + 570 * i, 3 + i % 5, PercentOfFullScale(20));
    }
    Detect({left, right}, 4);
    std::vector<PulseRecord> whole[2] = {Records(0), Records(1)};
    ASSERT_EQ(whole[0].size(), 20u);

    ClearAcquisition();
    ContinueCapture();
    const long cuts[] = {0, 331, 3500, 3501, 7777, 12000};  // 331 lies inside the first pulse
    for (size_t i = 0; i + 1 < std::size(cuts); ++i)
        Detect({Signal(left.begin() + cuts[i], left.begin() + cuts[i + 1]),
                Signal(right.begin() + cuts[i], right.begin() + cuts[i + 1])},
               4);
    EXPECT_TRUE(Records(0) == whole[0]);
    EXPECT_TRUE(Records(1) == whole[1]);
}

// Without used points nothing is found; a correlation beyond 32 bits (a template-shaped pulse of eight
// times full scale, clipped by the input, whose shape still passes) gives the largest height.
TEST_F(ShapeMethodTest, NoUsedPointsFindNothingAndHugeCorrelationsGiveTheLargestHeight) {
    shapeFirstUsed[0] = SHAPE_POINTS;
    shapeLastUsed[0] = 0;
    Signal signal(1000, 0.0);
    AddTemplatePulse(signal, 0, 400, 8.0 * 4294967296.0);
    for (double& value : signal) value = std::fmax(-2147483648.0, std::fmin(2147483647.0, value));
    Detect({signal}, 4);
    EXPECT_EQ(pulseCount[0], 0u);
    EXPECT_FALSE(runState & RS_PULSE_OPEN_LEFT);

    UseDetectorTemplate(0);
    SetChannelField(0, FIELD_MAX_DISTORTION, 100.0);
    Detect({signal}, 4);
    ASSERT_GE(pulseCount[0], 1u);
    uint32_t highest = 0;
    for (uint32_t i = 0; i < pulseCount[0]; ++i) highest = std::max(highest, Record(0, i).height);
    EXPECT_EQ(highest, 0xFFFFFFFFu);
}

class ShapeCollectionTest : public DetectorTest {
protected:
    void SetUp() override {
        DetectorTest::SetUp();
        UseLiveFormat(1, 4);
        BeginShapeAcquisition(SHAPE_CHANNEL_LEFT);
        runState |= RS_SHAPE_ACQUISITION;
    }
};

TEST_F(ShapeCollectionTest, AddsTheSixtyFramesAroundEachAcceptedPeak) {
    double rightBefore = settings.pulseShape[1][30];
    Signal signal(4000, 0.0);
    AddDetectorPulse(signal, 300.25, PercentOfFullScale(20));
    AddDetectorPulse(signal, 800.5, PercentOfFullScale(30));
    AddDetectorPulse(signal, 1300.0, PercentOfFullScale(95));  // clipped: counted, not collected
    AddDetectorPulse(signal, 1800.0, PercentOfFullScale(7));   // below the raised threshold
    Detect({signal}, 4);
    EXPECT_EQ(pulseCount[0], 3u);
    double expected[SHAPE_POINTS] = {};
    for (size_t start : {300u, 800u}) {
        auto peak = static_cast<size_t>(std::max_element(signal.begin() + start, signal.begin() + start + 50) - signal.begin());
        for (int j = 0; j < SHAPE_POINTS; ++j) expected[j] += SampleValue(signal[peak + j - 30], 4);
    }
    for (int j = 0; j < SHAPE_POINTS; ++j) EXPECT_DOUBLE_EQ(settings.pulseShape[0][j], expected[j]) << j;
    EXPECT_EQ(settings.pulseShape[1][30], rightBefore);
}

// A pulse's window is collected only when it lies wholly inside the block, more than 30 frames after its
// start (counted in interleaved samples) and before the fixed bound of 32768 samples; negative pulses
// are collected with their polarity removed.
TEST_F(ShapeCollectionTest, OnlyWindowsInsideTheBlockAndTheBoundAreCollected) {
    struct Case {
        size_t frames;
        int64_t start;
        int channels;
        double polarity;
        bool collected;
    };
    const Case cases[] = {
        {1000, 30, 1, 1, false},    {1000, 31, 1, 1, true},     {32800, 32737, 1, 1, true},
        {32800, 32738, 1, 1, false}, {200, 170, 1, 1, true},     {200, 171, 1, 1, false},
        {1000, 30, 2, 1, false},    {1000, 31, 2, 1, true},     {1000, 100, 1, -1, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(::testing::Message() << test.frames << " frames, pulse at " << test.start << ", "
                                          << test.channels << " channels, polarity " << test.polarity);
        for (double& t : settings.pulseShape[0]) t = 0.0;
        SetChannelField(0, FIELD_MIN_HEIGHT, test.polarity);
        UseLiveFormat(test.channels, 4);
        std::vector<Signal> signals(static_cast<size_t>(test.channels), Signal(test.frames, 0.0));
        AddRectangle(signals[0], test.start, 3, test.polarity * PercentOfFullScale(20));
        uint32_t before = pulseCount[0];
        Detect(signals, 4);
        EXPECT_EQ(pulseCount[0], before + 1);
        double height = test.collected ? SampleValue(PercentOfFullScale(20), 4) : 0.0;
        for (int j = 0; j < SHAPE_POINTS; ++j) EXPECT_EQ(settings.pulseShape[0][j], j >= 30 && j < 33 ? height : 0.0) << j;
    }
}
