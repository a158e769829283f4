// Painting of the pulses view: nothing during a recompute, the empty view, outlines of the selected
// pulses of the displayed channel with column merging, the store index, and the legend's time left.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "acquisition/pulse_store.h"
#include "analysis/selection.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "tests/ui/plot_test_support.h"

namespace {
constexpr uint32_t FULL = 4294967295u;

class PulsesView : public PlotTest {
  protected:
    // The outlines drawn for pulses: groups of four lines after the first move to the baseline,
    // as (x0, y, x1) triples. The final line to the right edge is left out.
    struct Outline {
        int x0, y, x1;
    };

    static std::vector<Outline> Outlines() {
        std::vector<Outline> out;
        const std::vector<CanvasCall>& calls = Headless().canvasCalls;
        size_t i = 0;
        while (i < calls.size() && calls[i].kind != CanvasCall::MOVE) ++i;
        ++i;
        while (i + 3 < calls.size() && calls[i].kind == CanvasCall::LINE &&
               calls[i + 3].kind == CanvasCall::LINE && calls[i + 1].kind == CanvasCall::LINE &&
               calls[i + 2].kind == CanvasCall::LINE) {
            out.push_back({calls[i].a, calls[i + 1].b, calls[i + 2].a});
            i += 4;
        }
        return out;
    }

    // Lines that rise above the baseline of a 150-pixel window (plot bottom 130).
    static int RisingLines() {
        int rising = 0;
        for (const CanvasCall& call : Calls(CanvasCall::LINE))
            if (call.b < 130) ++rising;
        return rising;
    }
};

TEST_F(PulsesView, NothingIsDrawnWhileARecomputeRuns) {
    MakeStore(10);
    AddPulse(0, 100, 10, FULL);
    std::snprintf(informationText[0], INFORMATION_TEXT_SIZE, "before");
    runState |= RS_RECOMPUTING;
    for (int window = 0; window < 7; ++window) {
        HeadlessPaint(window);
        EXPECT_TRUE(Headless().canvasCalls.empty()) << window;
    }
    EXPECT_STREQ(informationText[0], "before");
    runState &= ~RS_RECOMPUTING;
    HeadlessPaint(0);
    EXPECT_FALSE(Headless().canvasCalls.empty());
}

TEST_F(PulsesView, EmptyStoreDrawsBaselineLegendAndTicksOnly) {
    MakeStore(10);
    HeadlessPaint(0);
    const std::vector<CanvasCall>& calls = Headless().canvasCalls;
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().kind, CanvasCall::CLEAR);
    EXPECT_EQ(RisingLines(), 0);
    std::vector<CanvasCall> lines = Calls(CanvasCall::LINE);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().a, 400);  // the baseline across the window
    EXPECT_EQ(lines.front().b, 130);
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].b, 150) << "only tick marks follow";
    EXPECT_EQ(LegendText(), "TotalPulses 0  FilteredPulses 0  AcquisitionTime/s 0");
    EXPECT_EQ(TextAt(2, 132), "0");
    EXPECT_EQ(Calls(CanvasCall::RECT).size(), 0u);
}

TEST_F(PulsesView, PulsesOfTheOtherChannelAreCountedButNotDrawn) {
    MakeStore(10);
    AddPulse(1, 100, 10, FULL);
    AddPulse(1, 200, 10, FULL);
    sampleClock = 1000;
    filteredPulseCount = 0;
    HeadlessPaint(0);
    EXPECT_EQ(RisingLines(), 0);
    EXPECT_EQ(LegendText(), "TotalPulses 2  FilteredPulses 0  AcquisitionTime/s 0");

    settings.channelSelection = 3;  // "Right All"
    HeadlessPaint(0);
    EXPECT_EQ(Outlines().size(), 2u);
}

TEST_F(PulsesView, SelectedPulsesInTheVisibleRangeAreDrawnAsOutlines) {
    MakeStore(10);
    AddPulse(0, 20, 5, 1000);        // left of the scroll position: drawn partly outside
    AddPulse(0, 150, 10, FULL / 2);  // half height
    AddPulse(0, 200, 4, FULL);       // full height reaches the plot top
    AddPulse(0, 700, 10, FULL);      // beyond the right edge
    sampleClock = 2000;
    viewState[0].scrollPosition = 50;
    HeadlessPaint(0);
    std::vector<Outline> outlines = Outlines();
    ASSERT_EQ(outlines.size(), 3u);
    EXPECT_EQ(outlines[0].x0, -30);
    EXPECT_EQ(outlines[1].x0, 100);
    EXPECT_EQ(outlines[1].x1, 110);
    EXPECT_EQ(outlines[1].y, 75);
    EXPECT_EQ(outlines[2].x0, 150);
    EXPECT_EQ(outlines[2].y, 20);
    EXPECT_EQ(Calls(CanvasCall::LINE)[12].a, 400);  // then on along the baseline to the right edge

    viewState[0].verticalGain = 4.0;  // taller than the plot: kept at the plot top
    HeadlessPaint(0);
    EXPECT_EQ(Outlines()[1].y, 20);
}

TEST_F(PulsesView, PulsesInOneColumnAreMergedAndOnlyTheFirstIsFiltered) {
    MakeStore(20);
    settings.options[0].useAdvancedFilter = 1;
    settings.filterEnable[0][0] = 1;
    settings.filterLimits[0][FILTER_HEIGHT_MIN] = 0;
    settings.filterLimits[0][FILTER_HEIGHT_MAX] = 3e9;
    AddPulse(0, 100, 2, 1000000000);  // selected, starts column 50
    AddPulse(0, 101, 6, 4000000000);  // rejected by the filter, but absorbed into column 50
    AddPulse(0, 300, 2, 4000000000);  // rejected and alone in its column: not drawn
    AddPulse(0, 400, 2, 1000000000);
    sampleClock = 100000;
    viewState[0].zoom = 2.0;
    HeadlessPaint(0);
    std::vector<Outline> outlines = Outlines();
    ASSERT_EQ(outlines.size(), 2u);
    EXPECT_EQ(outlines[0].x0, 50);
    EXPECT_EQ(outlines[0].x1, 53);  // the width of the last pulse absorbed
    EXPECT_EQ(outlines[0].y, 27);
    EXPECT_EQ(outlines[1].x0, 200);
}

// Crowded columns go through the store index; each column must still show its largest height.
TEST_F(PulsesView, CrowdedColumnsShowTheirLargestHeight) {
    const uint32_t count = 20000;
    MakeStore(count);
    std::mt19937 random(7);
    std::vector<uint32_t> heights(count);
    for (uint32_t i = 0; i < count; ++i) {
        heights[i] = random() % 3000000000u;
        AddPulse(0, 10 * static_cast<int64_t>(i), 1, heights[i]);
    }
    SetClient(0, 120, 150);
    viewState[0].zoom = 2000;  // zoomed out until all data fit: stretched over the width
    HeadlessPaint(0);
    double zoom = viewState[0].zoom;
    ASSERT_GT(zoom, 1000.0);
    std::vector<uint32_t> largest(200, 0);
    for (uint32_t i = 0; i < count; ++i) {
        size_t column = static_cast<size_t>(static_cast<double>(10 * static_cast<int64_t>(i)) / zoom);
        if (heights[i] > largest[column]) largest[column] = heights[i];
    }
    std::vector<Outline> outlines = Outlines();
    ASSERT_GE(outlines.size(), 120u);
    for (const Outline& outline : outlines) {
        int expected = static_cast<int>(130 - 110.0 * largest[static_cast<size_t>(outline.x0)] * 1.0 / FULL);
        EXPECT_EQ(outline.y, expected) << "column " << outline.x0;
    }
}

TEST_F(PulsesView, ANewStoreContentIsIndexedAfresh) {
    const uint32_t count = 4000;
    MakeStore(count);
    for (uint32_t i = 0; i < count; ++i) AddPulse(0, 10 * static_cast<int64_t>(i), 1, FULL / 4);
    SetClient(0, 20, 150);
    viewState[0].zoom = 2000;
    HeadlessPaint(0);
    int quarter = Outlines()[3].y;

    // Another data set with as many pulses at the same times (as opening another file may give).
    pulseCount[0] = 0;
    for (uint32_t i = 0; i < count; ++i)
        AddPulse(0, 10 * static_cast<int64_t>(i), 1, i == 1000 ? FULL : FULL / 8);
    HeadlessPaint(0);
    std::vector<Outline> outlines = Outlines();
    ASSERT_EQ(outlines.size(), 20u);
    EXPECT_EQ(outlines[5].y, 20);  // pulse 1000 lies in column 5 (200 pulses per column)
    EXPECT_GT(outlines[3].y, quarter);
}

// The plain walk over every pulse of the visible range, column by column, as the view is defined.
std::vector<std::array<int, 3>> ReferenceOutlines(int width, double zoom, int64_t scroll, double gain) {
    std::vector<std::array<int, 3>> out;
    uint32_t count = pulseCount[0];
    auto column = [&](uint32_t k) {
        return static_cast<int64_t>(static_cast<double>(Pulse(0, k).time - scroll) / zoom);
    };
    uint32_t a = 0, b = 0;
    for (uint32_t k = 0; k < count; ++k) {
        if (Pulse(0, k).time <= scroll) a = k;
        if (Pulse(0, k).time <= scroll + static_cast<int64_t>(width * zoom)) b = k;
    }
    for (uint32_t k = a; k <= b && count > 0; ++k) {
        if (!IsPulseSelected(0, k)) continue;
        uint32_t height = Pulse(0, k).height;
        while (k < b && column(k + 1) == column(k)) height = std::max(height, Pulse(0, ++k).height);
        int x0 = static_cast<int>(column(k));
        int x1 = static_cast<int>(x0 + Pulse(0, k).width / zoom);
        int y = std::max(static_cast<int>(130 - 110.0 * height * gain / FULL), 20);
        out.push_back({x0, y, x1});
    }
    return out;
}

// Bursts, gaps and a filter that rejects some pulses, seen at many zooms and scroll positions.
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
    for (int view = 0; view < 40; ++view) {
        viewState[0].zoom = std::exp(std::uniform_real_distribution<double>(-1.0, 12.0)(random));
        viewState[0].scrollPosition = static_cast<int64_t>(random() % static_cast<uint32_t>(sampleClock));
        viewState[0].verticalGain = view % 3 == 0 ? 2.0 : 1.0;
        HeadlessPaint(0);
        std::vector<std::array<int, 3>> expected =
            ReferenceOutlines(400, viewState[0].zoom, viewState[0].scrollPosition, viewState[0].verticalGain);
        std::vector<Outline> outlines = Outlines();
        ASSERT_EQ(outlines.size(), expected.size()) << "view " << view;
        drawn += outlines.size();
        for (size_t i = 0; i < outlines.size(); ++i) {
            ASSERT_EQ(outlines[i].x0, expected[i][0]) << "view " << view << " outline " << i;
            ASSERT_EQ(outlines[i].y, expected[i][1]) << "view " << view << " outline " << i;
            ASSERT_EQ(outlines[i].x1, expected[i][2]) << "view " << view << " outline " << i;
        }
    }
    EXPECT_GT(drawn, 1000u);
}

class TimeLeft : public PlotTest {
  protected:
    void SetUp() override {
        PlotTest::SetUp();
        MakeStore(200);
        runState |= RS_ACQUIRING;
    }

    static void ExpectPieces(const std::vector<std::string>& labels, const std::vector<std::string>& values) {
        std::vector<std::string> allLabels, allValues;
        InformationPieces(0, &allLabels, &allValues);
        ASSERT_GE(allLabels.size(), 3u);
        ASSERT_GE(allValues.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(allLabels.begin() + 3, allLabels.end()), labels);
        EXPECT_EQ(std::vector<std::string>(allValues.begin() + 3, allValues.end()), values);
    }
};

// The time left of a capture: the acquisition time or the pulse limit, whichever comes first, in
// days, hours, minutes and seconds, leaving out zero parts except the seconds.
TEST_F(TimeLeft, PartsOfTheRemainingTime) {
    struct Case {
        double acquisitionTime, elapsed, rightLimit;
        int rightPulses;
        std::vector<std::string> labels, values;
    };
    const Case cases[] = {
        {90061, 0, 0, 0, {"  TimeLeft ", " d ", " h ", " min ", " s "}, {"1", "1", "1", "1"}},
        {3605, 0, 0, 0, {"  TimeLeft ", " h ", " s "}, {"1", "5"}},
        {7200.5, 0, 0, 0, {"  TimeLeft ", " h ", " s "}, {"2", "0"}},
        // 10 pulses/s: 90 s to the limit of 1000.
        {86400, 10, 1000, 100, {"  TimeLeft ", " min ", " s "}, {"1", "30"}},
        {100, 100, 0, 0, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.acquisitionTime);
        MakeStore(200);
        settings.channel[0].acquisitionTime = c.acquisitionTime;
        if (c.rightLimit > 0) settings.channel[1].maxPulses = c.rightLimit;
        acquisitionSeconds = c.elapsed;
        for (int i = 0; i < c.rightPulses; ++i) AddPulse(1, i, 1, 1);
        HeadlessPaint(0);
        ExpectPieces(c.labels, c.values);
    }
    EXPECT_EQ(LegendText(), "TotalPulses 0  FilteredPulses 0  AcquisitionTime/s 100");
    runState &= ~RS_ACQUIRING;  // nothing left to count when not acquiring
    settings.channel[0].acquisitionTime = 90061;
    acquisitionSeconds = 10;
    HeadlessPaint(0);
    EXPECT_EQ(LegendText(), "TotalPulses 0  FilteredPulses 0  AcquisitionTime/s 10");
}

TEST_F(PulsesView, InformationTextHoldsLabelsThenValues) {
    MakeStore(10);
    AddPulse(0, 5, 1, 1);
    filteredPulseCount = 1;
    acquisitionSeconds = 2.4;
    HeadlessPaint(0);
    EXPECT_STREQ(informationText[0], "TotalPulses \t  FilteredPulses \t  AcquisitionTime/s \r\n1\t 1\t 2");
}
}  // namespace
