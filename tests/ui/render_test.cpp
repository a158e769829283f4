// Painting of the plot windows: the pulses view against a plain walk over every pulse and its
// legend with the time left, the Audio Input traces, the histogram bars, colours, Gaussian curve and
// legends, and the tick scale under every plot.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "acquisition/detector.h"
#include "analysis/calibration.h"
#include "analysis/roi.h"
#include "analysis/selection.h"
#include "core/run_state.h"
#include "tests/ui/plot_test_support.h"
#include "ui/commands.h"

namespace {
constexpr uint32_t FULL = 4294967295u;
using Outline = std::array<int, 3>;  // x0, top, x1 of one pulse rectangle

using PulsesView = PlotTest;

// The outlines drawn after the first move to the baseline: four lines each.
std::vector<Outline> Outlines() {
    const std::vector<CanvasCall>& calls = Headless().canvasCalls;
    size_t i = 0;
    while (i < calls.size() && calls[i].kind != CanvasCall::MOVE) ++i;
    std::vector<Outline> out;
    for (++i; i + 3 < calls.size() && calls[i + 3].kind == CanvasCall::LINE; i += 4)
        out.push_back({calls[i].a, calls[i + 1].b, calls[i + 2].a});
    return out;
}

TEST_F(PulsesView, OnlyTheDisplayedChannelIsDrawnAndNothingDuringARecompute) {
    MakeStore(10);
    AddPulse(1, 100, 10, FULL);
    AddPulse(1, 200, 10, FULL);
    HeadlessPaint(0);
    EXPECT_EQ(Headless().canvasCalls.front().kind, CanvasCall::CLEAR);
    EXPECT_TRUE(Outlines().empty());
    std::vector<CanvasCall> lines = Calls(CanvasCall::LINE);
    EXPECT_EQ(std::make_pair(lines.front().a, lines.front().b), std::make_pair(400, 130));  // the baseline
    settings.channelSelection = 3;                                                          // "Right All"
    HeadlessPaint(0);
    EXPECT_EQ(Outlines().size(), 2u);
    runState |= RS_RECOMPUTING;
    for (int window = 0; window < 7; ++window) {
        HeadlessPaint(window);
        EXPECT_TRUE(Headless().canvasCalls.empty()) << window;
    }
}

// The plain walk over every pulse of the visible range: a selected pulse opens a column, the
// following pulses of its column are drawn with it at the largest height, the last one's width.
std::vector<Outline> ReferenceOutlines(int width, const ViewState& view) {
    std::vector<Outline> out;
    uint32_t count = pulseCount[0];
    auto column = [&](uint32_t k) {
        return static_cast<int64_t>(static_cast<double>(Pulse(0, k).time - view.scrollPosition) / view.zoom);
    };
    uint32_t a = 0, b = 0;
    for (uint32_t k = 0; k < count; ++k) {
        if (Pulse(0, k).time <= view.scrollPosition) a = k;
        if (Pulse(0, k).time <= view.scrollPosition + static_cast<int64_t>(width * view.zoom)) b = k;
    }
    for (uint32_t k = a; k <= b && count > 0; ++k) {
        if (!IsPulseSelected(0, k)) continue;
        uint32_t height = Pulse(0, k).height;
        while (k < b && column(k + 1) == column(k)) height = std::max(height, Pulse(0, ++k).height);
        int x0 = static_cast<int>(column(k));
        int x1 = static_cast<int>(x0 + Pulse(0, k).width / view.zoom);
        int y = std::max(static_cast<int>(130 - 110.0 * height * view.verticalGain / FULL), 20);
        out.push_back({x0, y, x1});
    }
    return out;
}

// Bursts, gaps and a filter that rejects some pulses, seen at many zooms and scroll positions; then
// new heights at the same times (as opening another file may give) must not be served from the
// index of the first data.
TEST_F(PulsesView, AgreesWithThePlainWalkOverEveryPulse) {
    const uint32_t count = 60000;
    MakeStore(count);
    std::mt19937 random(11);
    int64_t time = 0;
    for (uint32_t i = 0; i < count; ++i) {
        time += (random() % 50 == 0) ? 1 + random() % 200000 : random() % 40;
        AddPulse(0, time, 1 + random() % 30, random());
    }
    settings.options[0].useAdvancedFilter = 1;
    settings.filterEnable[0][2] = 1;  // widths 3 to 27 only
    settings.filterLimits[0][FILTER_WIDTH_MIN] = 3;
    settings.filterLimits[0][FILTER_WIDTH_MAX] = 27;
    size_t drawn = 0;
    for (int view = 0; view < 60; ++view) {
        if (view == 40)
            for (uint32_t i = 0; i < count; ++i) Pulse(0, i).height = random();
        viewState[0].zoom = std::exp(std::uniform_real_distribution<double>(-1.0, 12.0)(random));
        viewState[0].scrollPosition = static_cast<int64_t>(random() % static_cast<uint32_t>(sampleClock));
        viewState[0].verticalGain = view % 3 == 0 ? 2.0 : 1.0;
        HeadlessPaint(0);
        std::vector<Outline> outlines = Outlines();
        ASSERT_EQ(outlines, ReferenceOutlines(400, viewState[0])) << "view " << view;
        drawn += outlines.size();
    }
    EXPECT_GT(drawn, 1000u);
}

// The legend counts the pulses of both channels and, during a capture, shows the time left: the
// acquisition time or the pulse limit, whichever comes first, in days, hours, minutes and seconds,
// leaving out zero parts except the seconds.
TEST_F(PulsesView, LegendCountsThePulsesAndTheTimeLeft) {
    // acquisition time, seconds elapsed, right pulse limit, right pulses, capturing, legend
    const std::tuple<double, double, double, int, bool, const char*> cases[] = {
        {90061, 0, 0, 0, true,
         "TotalPulses 0  FilteredPulses 0  AcquisitionTime/s 0  TimeLeft 1 d 1 h 1 min 1 s "},
        {86400, 10, 1000, 100, true,
         "TotalPulses 100  FilteredPulses 0  AcquisitionTime/s 10  TimeLeft 1 min 30 s "},
        {100, 100, 0, 0, true, "TotalPulses 0  FilteredPulses 0  AcquisitionTime/s 100"},
        {90061, 2.4, 0, 2, false, "TotalPulses 2  FilteredPulses 0  AcquisitionTime/s 2"},
    };
    for (const auto& [acquisitionTime, elapsed, rightLimit, rightPulses, acquiring, legend] : cases) {
        MakeStore(200);
        runState = acquiring ? RS_ACQUIRING : 0;
        settings.channel[0].acquisitionTime = acquisitionTime;
        if (rightLimit > 0) settings.channel[1].maxPulses = rightLimit;
        acquisitionSeconds = elapsed;
        for (int i = 0; i < rightPulses; ++i) AddPulse(1, i, 1, 1);
        HeadlessPaint(0);
        EXPECT_EQ(LegendText(), legend);
    }
    EXPECT_STREQ(informationText[0], "TotalPulses \t  FilteredPulses \t  AcquisitionTime/s \r\n2\t 0\t 2");
}

// The Audio Input window traces the chosen inputs from 64 samples before the trigger (read inside
// the ring whatever the trigger) and draws both thresholds.
TEST_F(PulsesView, AudioInputTracesAndThresholds) {
    settings.channel[0].minHeight = 50;  // half of full scale: 37 pixels above the centre
    settings.channel[1].minHeight = 40;  // 30 pixels above
    QuantizeSettings(false);
    inputSnapshot[0][64] = 1073741824.0;  // one spike at ring entry 64
    // inputs, trigger, sample at the spike's height, dots, brush of the first
    const std::tuple<int, int, int, size_t, int> cases[] = {
        {0, 0, 0, 128, 0}, {0, 100, 28, 128, 0}, {0, -1, 1, 128, 0}, {1, 0, -1, 128, 1}, {2, 0, 0, 256, 0}};
    for (const auto& [inputChannels, trigger, spike, count, firstBrush] : cases) {
        settings.inputChannels = inputChannels;
        snapshotTrigger = trigger;
        HeadlessPaint(WND_AUDIO_INPUT);
        std::vector<CanvasCall> lines = Calls(CanvasCall::LINE), dots = Calls(CanvasCall::ELLIPSE);
        ASSERT_EQ(dots.size(), count) << inputChannels;
        EXPECT_EQ(dots[0].brush, firstBrush);
        for (int j = 0; j < 128; ++j) ASSERT_EQ(dots[j].b, j == spike ? 37 : 75) << trigger << " " << j;
        EXPECT_EQ(std::make_pair(dots[127].a, dots[127].c),
                  std::make_pair(127 * 400 / 128, 127 * 400 / 128 + 5));
        EXPECT_EQ(std::vector<int>({lines[0].pen, lines[0].a, lines[0].b, lines[1].pen, lines[1].b}),
                  std::vector<int>({5, 400, 75 - 37, 2, 75 - 30}));
    }
    EXPECT_TRUE(Calls(CanvasCall::TEXT).empty());
}

// A series with the given raw values shown as they are (log off).
void SetSeries(int series, const std::vector<double>& values) {
    double* data = seriesData[series];
    for (size_t i = 0; i < values.size(); ++i) {
        data[i] = values[i];
        data[seriesLength[series] + static_cast<int64_t>(i)] = values[i] > 0 ? values[i] : 0.0;
        displayMax[series] = std::max(displayMax[series], values[i]);
        rawMax[series] = std::max(rawMax[series], values[i]);
    }
}

class Histogram : public PlotTest {
  protected:
    // At zoom 1 the data and the extra bins of each window fill its 400 pixels.
    void SetUp() override {
        PlotTest::SetUp();
        dataLength[WND_HEIGHT] = 384;
        dataLength[WND_INTERVAL] = 396;
        dataLength[WND_RATE_TIME] = dataLength[WND_RATE_HIST] = dataLength[WND_WIDTH] = 398;
    }

    // The bar rectangle whose left edge is x.
    static CanvasCall BarAt(int x) {
        for (const CanvasCall& call : Calls(CanvasCall::RECT))
            if (call.a == x) return call;
        ADD_FAILURE() << "no bar at " << x;
        return CanvasCall{};
    }
};

TEST_F(Histogram, BarHeightsFollowTheDisplayMaximumStayInThePlotAndMergeIntoColumns) {
    SetSeries(SERIES_HEIGHT, {0, 10, 5});
    HeadlessPaint(WND_HEIGHT);
    ASSERT_EQ(Calls(CanvasCall::RECT).size(),
              401u);  // bins 0 to 400: the walk includes the bin at the right edge
    EXPECT_EQ(std::vector<int>({BarAt(0).b, BarAt(0).c, BarAt(0).d, BarAt(1).b, BarAt(2).b}),
              std::vector<int>({129, 2, 130, 130 - 110 - 1, 130 - 55 - 1}));
    // A value beyond the maximum (a tiny maximum, or a large gain) never leaves the plot.
    for (auto [maximum, gain] : {std::pair{1e-34, 1.0}, {10.0, 1024.0}}) {
        displayMax[SERIES_HEIGHT] = maximum;
        viewState[WND_HEIGHT].verticalGain = gain;
        HeadlessPaint(WND_HEIGHT);
        EXPECT_EQ(BarAt(2).b, 19);
    }
    dataLength[WND_HEIGHT] = 1584;  // 1600 bins over 400 pixels: a column shows the tallest of four
    std::vector<double> values(1600, 1.0);
    values[9] = 4.0;
    SetSeries(SERIES_HEIGHT, values);
    viewState[WND_HEIGHT] = ViewState{4.0};
    displayMax[SERIES_HEIGHT] = 4.0;
    HeadlessPaint(WND_HEIGHT);
    ASSERT_EQ(Calls(CanvasCall::RECT).size(), 401u);
    EXPECT_EQ(std::vector<int>({BarAt(2).b, BarAt(2).c, BarAt(3).b}),
              std::vector<int>({130 - 110 - 1, 3, 130 - 27 - 1}));
}

TEST_F(Histogram, CursorBarIsRedAndRoiBarsBlueOrYellow) {
    ASSERT_TRUE(AddRoi(0, 10, 20));
    viewState[WND_HEIGHT].cursorBin = 50;
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(std::make_pair(BarAt(50).brush, BarAt(50).pen), std::make_pair(0, 0));
    EXPECT_EQ(BarAt(9).brush, 6);
    for (int x = 10; x <= 20; ++x) EXPECT_EQ(BarAt(x).brush, 2) << x;
    EXPECT_EQ(BarAt(21).brush, 6);

    viewState[WND_HEIGHT].cursorBin = 15;  // inside: the region turns yellow
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(std::vector<int>({BarAt(14).brush, BarAt(15).brush, BarAt(20).brush, BarAt(50).brush}),
              std::vector<int>({5, 0, 5, 6}));

    viewState[WND_WIDTH].cursorBin = 15;  // other windows know no ROIs
    HeadlessPaint(WND_WIDTH);
    EXPECT_EQ(std::make_pair(BarAt(14).brush, BarAt(15).brush), std::make_pair(6, 0));
}

TEST_F(Histogram, GaussianCurveIsDrawnInRedWhenTheCorrelationIsValid) {
    SetSeries(SERIES_HEIGHT, {1, 2, 3});
    SetSeries(SERIES_CORRELATION, {0, 5, 10, 5});
    settings.options[0].gaussianCorrelation = 1;
    gaussianValid[0] = 1;
    viewState[WND_HEIGHT].cursorBin = 1;
    HeadlessPaint(WND_HEIGHT);
    std::vector<CanvasCall> curve = Calls(CanvasCall::LINE);
    curve.erase(std::remove_if(curve.begin(), curve.end(),
                               [](const CanvasCall& l) { return l.pen != 0 || l.b >= 150; }),
                curve.end());
    ASSERT_GE(curve.size(), 400u);
    EXPECT_EQ(std::vector<int>({curve[1].b, curve[2].a, curve[2].b}),
              std::vector<int>({130 - 55, 2, 130 - 110}));
    EXPECT_NE(LegendText().find("  Gauss 50.000"), std::string::npos) << LegendText();

    displayMax[SERIES_CORRELATION] = 1e-34;  // the curve too stays inside the plot
    HeadlessPaint(WND_HEIGHT);
    std::vector<CanvasCall> lines = Calls(CanvasCall::LINE);
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(), [](const CanvasCall& l) { return l.pen == 0 && l.b < 20; }),
        0);
}

TEST_F(Histogram, InformationTextIsCutAt259Characters) {
    // Many regions holding the cursor make a legend far longer than the information text.
    ASSERT_TRUE(AddRoi(0, 100, 120));
    for (int r = 0; r < ROI_SLOTS; ++r) settings.roi[0][r] = settings.roi[0][0];
    viewState[WND_HEIGHT].cursorBin = 110;
    HeadlessPaint(WND_HEIGHT);
    EXPECT_GT(LegendText().size(), 600u);
    EXPECT_EQ(std::string(informationText[WND_HEIGHT]).size(), 259u);
}

// The legend of each histogram window: the cursor bin and its value in the window's unit and
// decimals, counts and percent, then the ROI statistics, the dead time, mean and SD as they apply.
TEST_F(Histogram, LegendOfEachWindow) {
    SetSeries(SERIES_HEIGHT, std::vector<double>(300, 10.0));
    entryCount[SERIES_HEIGHT] = 400;
    ASSERT_TRUE(AddRoi(0, 100, 120) && AddRoi(0, 200, 210));
    SetSeries(SERIES_INTERVAL, {1, 1, 2, 2, 2, 2});
    entryCount[SERIES_INTERVAL] = 20;
    intervalPeakBin = 2;  // (1 - 2 x 4 / 4^2) x (2 + 0.5) x 20.8333 us
    SetSeries(SERIES_RATE_TIME, {0, 0, 7});
    settings.channel[0].timeStep = 0.5;
    rateHistMean = 2.0;
    rateHistSd = 1.5;
    widthHistMean = -0.5;              // a mean of 0 shows nothing
    ASSERT_TRUE(SetUpCalibration(0));  // the default point: 23 arb.u is 662 keV
    // window, cursor, ROI sum shown, calibrated, legend
    const std::tuple<int, int, bool, bool, const char*> cases[] = {
        {WND_HEIGHT, 7, false, false, "Bin 7  Height/arb.u 0.7  Counts 10  Percent 2.500"},
        {WND_HEIGHT, 40000, false, false, "Bin 40000  Height/arb.u 4000.001  Counts 0  Percent 0.000"},
        {WND_HEIGHT, 110, false, false,
         "Bin 110  Height/arb.u 11  Counts 10  Percent 2.500  Mean 11.000  SD 0.606  Res% 12.963  Gross 210  "
         "Net 0"},
        {WND_HEIGHT, 150, true, false, "Bin 150  Height/arb.u 15  Counts 10  Percent 2.500  SumRoi 320"},
        {WND_HEIGHT, 230, false, true, "Bin 230  Energy /keV 662  Sum 10  Percent 2.500"},
        {WND_INTERVAL, 2, false, false,
         "Bin 2  Interval/\xB5s 41.6667  Counts 2  Percent 10.0000  DeadTime/\xB5s 26.042"},
        {WND_RATE_TIME, 2, false, false, "Bin 2  Time/s 1  Counts 7  Rate/(1/s) 14.000"},
        {WND_RATE_HIST, 0, false, false, "Bin 0  Rate/(1/s) 0  Counts 0  Percent 0.000  Mean 2.5  SD 1.5"},
        {WND_WIDTH, 0, false, false, "Bin 0  Width/\xB5s 0  Counts 0  Percent 0.000"},
    };
    for (const auto& [window, cursorBin, roiSum, calibrated, legend] : cases) {
        viewState[window].cursorBin = cursorBin;
        runState = roiSum ? RS_ROI_SUM : 0;
        settings.options[0].useCalibration = settings.options[0].sumQuantity = calibrated;
        HeadlessPaint(window);
        EXPECT_EQ(LegendText(), legend);
    }
}

using TickScale = PlotTest;

// Tick labels of a window with a 150-pixel client area, left to right, with their x positions.
std::vector<std::pair<int, std::string>> Ticks() {
    std::vector<std::pair<int, std::string>> ticks;
    for (const CanvasCall& call : Calls(CanvasCall::TEXT))
        if (call.b == 132) ticks.emplace_back(call.a - 2, call.text);
    return ticks;
}

TEST_F(TickScale, StepIsTheFirstOfOneTwoFiveNotBelowSixtyPixels) {
    MakeStore(4);
    sampleClock = 10000000;
    // zoom (samples per pixel) -> span of 60 pixels in seconds at 48000/s -> step
    const std::vector<std::pair<double, std::string>> cases = {{1, "0.002"}, {3, "0.005"}, {5, "0.01"},
                                                               {15, "0.02"}, {30, "0.05"}, {50, "0.1"},
                                                               {700, "1"},   {2000, "5"}};
    for (const auto& [zoom, step] : cases) {
        viewState[0].zoom = zoom;
        HeadlessPaint(0);
        std::vector<std::pair<int, std::string>> ticks = Ticks();
        ASSERT_GE(ticks.size(), 2u) << zoom;
        EXPECT_EQ(ticks[0], std::make_pair(0, std::string("0"))) << zoom;
        EXPECT_EQ(ticks[1].second, step) << zoom;
        EXPECT_GE(ticks[1].first, 60) << zoom;
    }
    viewState[0].zoom = 1;
    viewState[0].scrollPosition = 1000;  // scrolled: ticks lie under their values (0.022 s = sample 1056)
    HeadlessPaint(0);
    EXPECT_EQ(Ticks(), (std::vector<std::pair<int, std::string>>{
                           {56, "0.022"}, {152, "0.024"}, {248, "0.026"}, {344, "0.028"}}));
}

// The height axis in arb.u, in keV through the calibration, and in arb.u again when the calibration
// cannot map the axis (zero, falling or undefined slope).
TEST_F(TickScale, HeightAxisInArbitraryUnitsOrTheCalibratedQuantity) {
    dataLength[WND_HEIGHT] = 384;  // zoom 1: 60 pixels are 6 arb.u, so the step is 10
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(Ticks(),
              (std::vector<std::pair<int, std::string>>{{0, "0"}, {100, "10"}, {200, "20"}, {300, "30"}}));
    ASSERT_TRUE(SetUpCalibration(0));  // 23 arb.u = 662 keV: 60 pixels are 172.7 keV, so the step is 200
    settings.options[0].useCalibration = 1;
    HeadlessPaint(WND_HEIGHT);
    ASSERT_GE(Ticks().size(), 2u);
    EXPECT_EQ(Ticks()[1], std::make_pair(69, std::string("200")));  // 200 keV = 6.95 arb.u = bin 69.5
    for (double slope : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN()}) {
        originSlope[0] = slope;
        HeadlessPaint(WND_HEIGHT);
        EXPECT_EQ(Ticks().size(), 4u) << slope;
    }
}
}  // namespace
