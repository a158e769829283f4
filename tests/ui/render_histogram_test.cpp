// Painting of the histogram windows: bar heights, the cursor and ROI colours, the Gaussian curve,
// and the legend pieces with their decimals, the ROI statistics, the dead time and the statistics.
#include <regex>
#include <string>
#include <vector>

#include "analysis/calibration.h"
#include "analysis/roi.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "tests/ui/plot_test_support.h"
#include "ui/commands.h"

namespace {
// A series with the given raw values shown as they are (log off).
void SetSeries(int series, const std::vector<double>& values) {
    int64_t length = seriesLength[series];
    double* data = seriesData[series];
    for (size_t i = 0; i < values.size(); ++i) {
        data[i] = values[i];
        data[length + static_cast<int64_t>(i)] = values[i] > 0 ? values[i] : 0.0;
        if (values[i] > displayMax[series]) displayMax[series] = values[i];
        if (values[i] > rawMax[series]) rawMax[series] = values[i];
    }
}

class Histogram : public PlotTest {
  protected:
    // Window 5 at zoom 1: 384 bins of data plus 16 extra bins fill the 400 pixels.
    void SetUp() override {
        PlotTest::SetUp();
        dataLength[WND_HEIGHT] = 384;
        dataLength[WND_INTERVAL] = 396;
        dataLength[WND_RATE_TIME] = 398;
        dataLength[WND_RATE_HIST] = 398;
        dataLength[WND_WIDTH] = 398;
    }

    // The bar rectangle whose left edge is x.
    static CanvasCall BarAt(int x) {
        for (const CanvasCall& call : Calls(CanvasCall::RECT))
            if (call.a == x) return call;
        ADD_FAILURE() << "no bar at " << x;
        return CanvasCall{};
    }

    static std::vector<std::string> Labels(int window) {
        std::vector<std::string> labels, values;
        InformationPieces(window, &labels, &values);
        return labels;
    }

    static std::vector<std::string> Values(int window) {
        std::vector<std::string> labels, values;
        InformationPieces(window, &labels, &values);
        return values;
    }

    // The value that follows a label in the window's legend.
    static std::string ValueAfter(int window, const std::string& label) {
        std::vector<std::string> labels, values;
        InformationPieces(window, &labels, &values);
        for (size_t i = 0; i < labels.size() && i < values.size(); ++i)
            if (labels[i] == label) return values[i];
        return "(missing)";
    }
};

TEST_F(Histogram, AnAllZeroSeriesDrawsOnePixelBars) {
    HeadlessPaint(WND_HEIGHT);
    std::vector<CanvasCall> bars = Calls(CanvasCall::RECT);
    ASSERT_EQ(bars.size(), 401u);  // bins 0 to 400: the walk includes the bin at the right edge
    for (const CanvasCall& bar : bars) {
        EXPECT_EQ(bar.b, 129);
        EXPECT_EQ(bar.d, 130);
        EXPECT_EQ(bar.c, bar.a + 2);
    }
}

TEST_F(Histogram, BarHeightsFollowTheDisplayMaximumAndAreClampedToThePlot) {
    SetSeries(SERIES_HEIGHT, {0, 10, 5});
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(BarAt(1).b, 130 - 110 - 1);
    EXPECT_EQ(BarAt(2).b, 130 - 55 - 1);

    // A display value left over beyond the maximum (or a tiny maximum) never leaves the plot.
    displayMax[SERIES_HEIGHT] = 1e-34;
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(BarAt(2).b, 19);
    viewState[WND_HEIGHT].verticalGain = 1024;
    displayMax[SERIES_HEIGHT] = 10;
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(BarAt(2).b, 19);
}

TEST_F(Histogram, CursorBarIsRedAndRoiBarsBlueOrYellow) {
    ASSERT_TRUE(AddRoi(0, 10, 20));
    viewState[WND_HEIGHT].cursorBin = 50;
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(BarAt(50).brush, 0);
    EXPECT_EQ(BarAt(50).pen, 0);
    EXPECT_EQ(BarAt(9).brush, 6);
    for (int x = 10; x <= 20; ++x) EXPECT_EQ(BarAt(x).brush, 2) << x;
    EXPECT_EQ(BarAt(21).brush, 6);

    viewState[WND_HEIGHT].cursorBin = 15;
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(BarAt(15).brush, 0);
    EXPECT_EQ(BarAt(14).brush, 5);
    EXPECT_EQ(BarAt(20).brush, 5);
    EXPECT_EQ(BarAt(50).brush, 6);

    // Other windows know no ROIs.
    viewState[WND_WIDTH].cursorBin = 15;
    HeadlessPaint(WND_WIDTH);
    EXPECT_EQ(BarAt(14).brush, 6);
    EXPECT_EQ(BarAt(15).brush, 0);
}

TEST_F(Histogram, ColumnsMergeBinsKeepingTheTallestBar) {
    dataLength[WND_HEIGHT] = 1584;  // 1600 bins over 400 pixels: four bins per column
    std::vector<double> values(1600, 1.0);
    values[9] = 4.0;
    SetSeries(SERIES_HEIGHT, values);
    viewState[WND_HEIGHT].zoom = 4.0;
    HeadlessPaint(WND_HEIGHT);
    std::vector<CanvasCall> bars = Calls(CanvasCall::RECT);
    ASSERT_EQ(bars.size(), 401u);
    EXPECT_EQ(BarAt(2).b, 130 - 110 - 1);
    EXPECT_EQ(BarAt(2).c, 3);
    EXPECT_EQ(BarAt(3).b, 130 - 27 - 1);
}

TEST_F(Histogram, GaussianCurveIsDrawnInRedWhenTheCorrelationIsValid) {
    SetSeries(SERIES_HEIGHT, {1, 2, 3});
    SetSeries(SERIES_CORRELATION, {0, 5, 10, 5});
    HeadlessPaint(WND_HEIGHT);
    EXPECT_TRUE(Calls(CanvasCall::LINE).size() < 10u) << "no curve without the correlation";

    settings.options[0].gaussianCorrelation = 1;
    gaussianValid[0] = 1;
    HeadlessPaint(WND_HEIGHT);
    std::vector<CanvasCall> curve;
    for (const CanvasCall& line : Calls(CanvasCall::LINE))
        if (line.pen == 0 && line.b < 150) curve.push_back(line);
    ASSERT_GE(curve.size(), 400u);
    EXPECT_EQ(curve[1].b, 130 - 55);
    EXPECT_EQ(curve[2].b, 130 - 110);
    EXPECT_EQ(curve[2].a, 2);  // x + 0.5 / zoom
    EXPECT_EQ(ValueAfter(WND_HEIGHT, "  Gauss "), "0.000");
    viewState[WND_HEIGHT].cursorBin = 1;
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(ValueAfter(WND_HEIGHT, "  Gauss "), "50.000");

    displayMax[SERIES_CORRELATION] = 1e-34;  // the curve too stays inside the plot
    HeadlessPaint(WND_HEIGHT);
    for (const CanvasCall& line : Calls(CanvasCall::LINE))
        if (line.pen == 0) {
            EXPECT_GE(line.b, 20);
        }
}

TEST_F(Histogram, LegendPiecesOfThePulseHeightWindow) {
    SetSeries(SERIES_HEIGHT, {0, 0, 0, 0, 0, 0, 0, 3});
    entryCount[SERIES_HEIGHT] = 12;
    viewState[WND_HEIGHT].cursorBin = 7;
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(Labels(WND_HEIGHT),
              (std::vector<std::string>{"Bin ", "  Height/arb.u ", "  Counts ", "  Percent "}));
    EXPECT_EQ(Values(WND_HEIGHT), (std::vector<std::string>{"7", "0.7", "3", "25.000"}));
    EXPECT_EQ(LegendText(), "Bin 7  Height/arb.u 0.7  Counts 3  Percent 25.000");

    // Cursor beyond the series: the raw value is 0.
    viewState[WND_HEIGHT].cursorBin = 40000;
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(ValueAfter(WND_HEIGHT, "  Counts "), "0");
}

TEST_F(Histogram, EnergyAxisLabelsTheCursorWithTheQuantity) {
    ASSERT_TRUE(SetUpCalibration(0));  // the default point: 23 arb.u is 662 keV
    settings.options[0].useCalibration = 1;
    settings.options[0].sumQuantity = 1;
    viewState[WND_HEIGHT].cursorBin = 230;
    HeadlessPaint(WND_HEIGHT);
    std::vector<std::string> labels = Labels(WND_HEIGHT);
    ASSERT_GE(labels.size(), 3u);
    EXPECT_EQ(labels[1], "  Energy /keV ");
    EXPECT_EQ(labels[2], "  Sum ");
    EXPECT_EQ(Values(WND_HEIGHT)[1], "662");
}

class RoiLegend : public Histogram {
  protected:
    void SetUp() override {
        Histogram::SetUp();
        SetSeries(SERIES_HEIGHT, std::vector<double>(300, 10.0));  // flat: 10 counts per bin
        ASSERT_TRUE(AddRoi(0, 100, 120));
        ASSERT_TRUE(AddRoi(0, 200, 210));
    }
};

TEST_F(RoiLegend, CursorInsideShowsStatisticsWithFixedDecimals) {
    viewState[WND_HEIGHT].cursorBin = 110;
    HeadlessPaint(WND_HEIGHT);
    std::vector<std::string> labels = Labels(WND_HEIGHT), values = Values(WND_HEIGHT);
    ASSERT_EQ(labels.size(), 9u);
    EXPECT_EQ(std::vector<std::string>(labels.begin() + 4, labels.end()),
              (std::vector<std::string>{"  Mean ", "  SD ", "  Res% ", "  Gross ", "  Net "}));
    std::regex threeDecimals("-?[0-9]+\\.[0-9]{3}");
    for (int i = 4; i <= 6; ++i) EXPECT_TRUE(std::regex_match(values[i], threeDecimals)) << values[i];
    EXPECT_EQ(values[4], "11.000");
    EXPECT_EQ(values[7], "210");
    EXPECT_EQ(values[8], "0");
}

TEST_F(RoiLegend, CursorOutsideShowsNoRoiPartUnlessTheSumIsOn) {
    viewState[WND_HEIGHT].cursorBin = 150;
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(Labels(WND_HEIGHT).size(), 4u);
    runState |= RS_ROI_SUM;
    HeadlessPaint(WND_HEIGHT);
    EXPECT_EQ(Labels(WND_HEIGHT).back(), "  SumRoi ");
    EXPECT_EQ(Values(WND_HEIGHT).back(), "320");  // 21 + 11 bins of 10 counts
}

TEST_F(RoiLegend, InformationTextIsCutAt259Characters) {
    // Many regions holding the cursor make a legend far longer than the information text.
    settings.channel[0].heightBinSize *= 4;  // the regions' bins are derived again at the next paint
    QuantizeSettings(false);
    for (int r = 0; r < ROI_SLOTS; ++r) settings.roi[0][r] = settings.roi[0][0];
    viewState[WND_HEIGHT].cursorBin = 27;
    HeadlessPaint(WND_HEIGHT);
    EXPECT_GT(LegendText().size(), 600u);
    EXPECT_EQ(std::string(informationText[WND_HEIGHT]).size(), 259u);
}

TEST_F(Histogram, DecimalsFollowTheMode) {
    SetSeries(SERIES_INTERVAL, {0, 0, 0, 0, 0, 0, 0, 5});
    entryCount[SERIES_INTERVAL] = 20;
    viewState[WND_INTERVAL].cursorBin = 7;
    HeadlessPaint(WND_INTERVAL);
    EXPECT_EQ(Labels(WND_INTERVAL)[1], "  Interval/\xB5s ");
    EXPECT_EQ(Values(WND_INTERVAL), (std::vector<std::string>{"7", "145.8333", "5", "25.0000"}));

    SetSeries(SERIES_RATE_TIME, {0, 0, 7});
    viewState[WND_RATE_TIME].cursorBin = 2;
    settings.channel[0].timeStep = 0.5;
    HeadlessPaint(WND_RATE_TIME);
    EXPECT_EQ(Labels(WND_RATE_TIME),
              (std::vector<std::string>{"Bin ", "  Time/s ", "  Counts ", "  Rate/(1/s) "}));
    EXPECT_EQ(Values(WND_RATE_TIME), (std::vector<std::string>{"2", "1", "7", "14.000"}));
}

TEST_F(Histogram, MeanAndSdOfTheRateAndWidthHistograms) {
    rateHistMean = 2.0;
    rateHistSd = 1.5;
    HeadlessPaint(WND_RATE_HIST);
    EXPECT_EQ(ValueAfter(WND_RATE_HIST, "  Mean "), "2.5");
    EXPECT_EQ(ValueAfter(WND_RATE_HIST, "  SD "), "1.5");

    widthHistMean = -0.5;  // a mean of 0 shows nothing
    HeadlessPaint(WND_WIDTH);
    EXPECT_EQ(Labels(WND_WIDTH).size(), 4u);
}

TEST_F(Histogram, DeadTimeOfTheIntervalHistogram) {
    SetSeries(SERIES_INTERVAL, {1, 1, 2, 2, 2, 2});
    intervalPeakBin = 2;
    dataLength[WND_INTERVAL] = 10;
    HeadlessPaint(WND_INTERVAL);
    // (1 - 2 x 4 / 4^2) x (2 + 0.5) x 20.8333 us
    EXPECT_EQ(ValueAfter(WND_INTERVAL, "  DeadTime/\xB5s "), "26.042");

    intervalPeakBin = 0;
    HeadlessPaint(WND_INTERVAL);
    EXPECT_EQ(ValueAfter(WND_INTERVAL, "  DeadTime/\xB5s "), "(missing)");
}
}  // namespace
