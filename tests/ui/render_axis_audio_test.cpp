// Painting of the tick scale (step series, scrolled first tick, calibrated axis and its fallback to
// the plain axis) and of the Audio Input window (traces of the chosen inputs, both thresholds).
#include <limits>
#include <string>
#include <vector>

#include "acquisition/detector.h"
#include "analysis/calibration.h"
#include "analysis/series.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "tests/ui/plot_test_support.h"
#include "ui/commands.h"

namespace {
class TickScale : public PlotTest {
  protected:
    // Tick labels of a window with a 150-pixel client area, left to right, with their x positions.
    static std::vector<std::pair<int, std::string>> Ticks() {
        std::vector<std::pair<int, std::string>> ticks;
        for (const CanvasCall& call : Calls(CanvasCall::TEXT))
            if (call.b == 132) ticks.emplace_back(call.a - 2, call.text);
        return ticks;
    }
};

TEST_F(TickScale, StepIsTheFirstOfOneTwoFiveNotBelowSixtyPixels) {
    MakeStore(4);
    sampleClock = 10000000;
    // zoom (samples per pixel) -> span of 60 pixels in seconds at 48000/s -> step
    const std::vector<std::pair<double, std::string>> cases = {{1, "0.002"}, {3, "0.005"}, {5, "0.01"},
                                                               {15, "0.02"}, {30, "0.05"}, {50, "0.1"},
                                                               {700, "1"},   {2000, "5"}};
    for (const auto& [zoom, step] : cases) {
        viewState[0].zoom = zoom;
        viewState[0].scrollPosition = 0;
        HeadlessPaint(0);
        std::vector<std::pair<int, std::string>> ticks = Ticks();
        ASSERT_GE(ticks.size(), 2u) << zoom;
        EXPECT_EQ(ticks[0], std::make_pair(0, std::string("0"))) << zoom;
        EXPECT_EQ(ticks[1].second, step) << zoom;
        EXPECT_GE(ticks[1].first, 60) << zoom;
    }
}

TEST_F(TickScale, TicksLieUnderTheirValuesWhenScrolled) {
    MakeStore(4);
    sampleClock = 10000000;
    viewState[0].scrollPosition = 1000;
    HeadlessPaint(0);
    std::vector<std::pair<int, std::string>> ticks = Ticks();
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_EQ(ticks[0], std::make_pair(56, std::string("0.022")));  // 0.022 s = sample 1056
    EXPECT_EQ(ticks[1], std::make_pair(152, std::string("0.024")));
    EXPECT_EQ(ticks[3].first, 344);
    for (const CanvasCall& line : Calls(CanvasCall::LINE))
        if (line.b == 150) {
            EXPECT_EQ(line.pen, 6);
        }
}

TEST_F(TickScale, HistogramAxisUsesTheBinWidth) {
    dataLength[WND_HEIGHT] = 384;  // zoom 1: 60 pixels are 6 arb.u, so the step is 10
    HeadlessPaint(WND_HEIGHT);
    std::vector<std::pair<int, std::string>> ticks = Ticks();
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_EQ(ticks[1], std::make_pair(100, std::string("10")));
    EXPECT_EQ(ticks[3], std::make_pair(300, std::string("30")));
}

TEST_F(TickScale, CalibratedAxisShowsTheQuantity) {
    dataLength[WND_HEIGHT] = 384;
    ASSERT_TRUE(SetUpCalibration(0));  // 23 arb.u = 662 keV: 60 pixels are 172.7 keV, so the step is 200
    settings.options[0].useCalibration = 1;
    HeadlessPaint(WND_HEIGHT);
    std::vector<std::pair<int, std::string>> ticks = Ticks();
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_EQ(ticks[0], std::make_pair(0, std::string("0")));
    EXPECT_EQ(ticks[1], std::make_pair(69, std::string("200")));  // 200 keV = 6.95 arb.u = bin 69.5
}

TEST_F(TickScale, AnUnusableCalibrationFallsBackToThePlainAxis) {
    dataLength[WND_HEIGHT] = 384;
    ASSERT_TRUE(SetUpCalibration(0));
    settings.options[0].useCalibration = 1;
    // A zero slope: every quantity maps to the same height.
    originSlope[0] = 0.0;
    HeadlessPaint(WND_HEIGHT);
    std::vector<std::pair<int, std::string>> ticks = Ticks();
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_EQ(ticks[1], std::make_pair(100, std::string("10")));

    // A falling mapping (a negative slope) and one that is not finite.
    originSlope[0] = -5.0;
    HeadlessPaint(WND_HEIGHT);
    ticks = Ticks();
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_EQ(ticks[3], std::make_pair(300, std::string("30")));
    originSlope[0] = std::numeric_limits<double>::quiet_NaN();
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(Ticks().size(), 4u);
}

class AudioInput : public PlotTest {
  protected:
    void SetUp() override {
        PlotTest::SetUp();
        settings.channel[0].minHeight = 50;  // half of full scale: 37 pixels above the centre
        settings.channel[1].minHeight = 40;  // 30 pixels above
        QuantizeSettings(false);
    }
};

TEST_F(AudioInput, OnlyTheChosenInputIsTracedButBothThresholdsAreDrawn) {
    settings.inputChannels = 0;  // "Left"
    HeadlessPaint(WND_AUDIO_INPUT);
    std::vector<CanvasCall> lines = Calls(CanvasCall::LINE);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].pen, 5);
    EXPECT_EQ(lines[0].b, 75 - 37);
    EXPECT_EQ(lines[0].a, 400);
    EXPECT_EQ(lines[1].pen, 2);
    EXPECT_EQ(lines[1].b, 75 - 30);
    std::vector<CanvasCall> dots = Calls(CanvasCall::ELLIPSE);
    ASSERT_EQ(dots.size(), 128u);
    for (const CanvasCall& dot : dots) EXPECT_EQ(dot.brush, 0);
    EXPECT_EQ(dots[127].a, 127 * 400 / 128);
    EXPECT_EQ(dots[127].c, dots[127].a + 5);

    settings.inputChannels = 1;
    HeadlessPaint(WND_AUDIO_INPUT);
    dots = Calls(CanvasCall::ELLIPSE);
    ASSERT_EQ(dots.size(), 128u);
    EXPECT_EQ(dots[0].brush, 1);
    EXPECT_EQ(Calls(CanvasCall::LINE).size(), 2u + 128u);

    settings.inputChannels = 2;
    HeadlessPaint(WND_AUDIO_INPUT);
    EXPECT_EQ(Calls(CanvasCall::ELLIPSE).size(), 256u);
    EXPECT_TRUE(Calls(CanvasCall::TEXT).empty());
    EXPECT_EQ(Headless().windows[WND_AUDIO_INPUT].scrollUpdates, 0);
}

TEST_F(AudioInput, TraceStartsSixtyFourSamplesBeforeTheTrigger) {
    settings.inputChannels = 0;
    // One spike at ring entry 64: with the trigger at 0 it is the first sample drawn.
    inputSnapshot[0][64] = 1073741824.0;
    snapshotTrigger = 0;
    HeadlessPaint(WND_AUDIO_INPUT);
    std::vector<CanvasCall> dots = Calls(CanvasCall::ELLIPSE);
    ASSERT_EQ(dots.size(), 128u);
    EXPECT_EQ(dots[0].b, 37);
    for (size_t j = 1; j < dots.size(); ++j) ASSERT_EQ(dots[j].b, 75) << j;
    std::vector<CanvasCall> moves = Calls(CanvasCall::MOVE);
    EXPECT_EQ(moves.back().a, 0);
    EXPECT_EQ(moves.back().b, 37);

    snapshotTrigger = 100;  // entry 64 is sample j = 28
    HeadlessPaint(WND_AUDIO_INPUT);
    dots = Calls(CanvasCall::ELLIPSE);
    EXPECT_EQ(dots[28].b, 37);
    EXPECT_EQ(dots[0].b, 75);

    snapshotTrigger = -1;  // never negative from the detector; still read inside the ring
    HeadlessPaint(WND_AUDIO_INPUT);
    dots = Calls(CanvasCall::ELLIPSE);
    EXPECT_EQ(dots[1].b, 37);
}
}  // namespace
