// ROI editing in the pulse height window: B/E marks and Ctrl-drag, the full table, Delete and
// Shift+Delete, copying, the ROI sum and calibration switches, and peak marking from the correlation.
#include <string>
#include <vector>

#include "analysis/calibration.h"
#include "analysis/roi.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "platform/headless/headless.h"
#include "tests/ui/plot_test_support.h"
#include "ui/commands.h"
#include "ui/host_events.h"
#include "ui/navigation.h"

namespace {
const char* const FULL_TABLE = "Maximum number of ROIs already selected.\nDelete one and try again!";
constexpr uint32_t BOTH_MARKS = RS_ROI_BEGIN_SET | RS_ROI_END_SET;

class RoiKeys : public PlotTest {
  protected:
    void SetUp() override {
        PlotTest::SetUp();
        dataLength[WND_HEIGHT] = 384;  // zoom 1: pixel x is bin x
        UpdateScrollBar(WND_HEIGHT);
    }

    // The used slots of a channel as (start, end) pairs in slot order.
    static std::vector<std::pair<int, int>> Rois(int channel) {
        std::vector<std::pair<int, int>> out;
        for (const RoiRecord& roi : settings.roi[channel])
            if (roi.startBin >= 0) out.emplace_back(roi.startBin, roi.endBin);
        return out;
    }

    static void MarkWithKeys(int begin, int end) {
        viewState[WND_HEIGHT].cursorBin = begin;
        OnKeyDown(WND_HEIGHT, 'B');
        viewState[WND_HEIGHT].cursorBin = end;
        OnKeyDown(WND_HEIGHT, 'E');
    }

    // A correlation bump over bins 95-105 peaking at 100; zero or below outside.
    static void SetCorrelationPeak() {
        settings.options[0].gaussianCorrelation = 1;
        gaussianValid[0] = 1;
        double* g = seriesData[SERIES_CORRELATION];
        for (int i = 80; i < 120; ++i) g[i] = -1.0;
        for (int i = 95; i <= 105; ++i) g[i] = 10.0 - (i > 100 ? i - 100 : 100 - i);
    }
};

TEST_F(RoiKeys, CtrlDragMarksARegionReplacingWhatItOverlaps) {
    ASSERT_TRUE(AddRoi(0, 100, 110));
    ASSERT_TRUE(AddRoi(0, 200, 210));
    HostMouse(WND_HEIGHT, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, 120, 50, 0);
    EXPECT_EQ(runState & BOTH_MARKS, RS_ROI_BEGIN_SET);
    HostMouse(WND_HEIGHT, WM_LBUTTONUP, MK_CONTROL, 80, 50, 0);
    EXPECT_EQ(Rois(0), (std::vector<std::pair<int, int>>{{80, 120}, {200, 210}}));
    EXPECT_EQ(runState & BOTH_MARKS, 0u);
    EXPECT_EQ(viewState[WND_HEIGHT].cursorBin, 80);
    EXPECT_TRUE(Headless().messages.empty());
    EXPECT_GE(Headless().windows[WND_HEIGHT].invalidations, 1);
}

TEST_F(RoiKeys, MarkOrderDoesNotMatterAndEqualMarksWait) {
    MarkWithKeys(40, 30);
    EXPECT_EQ(Rois(0), (std::vector<std::pair<int, int>>{{30, 40}}));
    EXPECT_EQ(roiBeginMark, 30);
    EXPECT_EQ(roiEndMark, 40);

    MarkWithKeys(60, 60);  // the same bin twice: the marks stay until a different bin is marked
    EXPECT_EQ(runState & BOTH_MARKS, BOTH_MARKS);
    EXPECT_EQ(Rois(0).size(), 1u);
    viewState[WND_HEIGHT].cursorBin = 70;
    OnKeyDown(WND_HEIGHT, 'E');
    EXPECT_EQ(Rois(0), (std::vector<std::pair<int, int>>{{30, 40}, {60, 70}}));

    // Marks in another window do nothing.
    viewState[WND_WIDTH].cursorBin = 5;
    OnKeyDown(WND_WIDTH, 'B');
    EXPECT_EQ(runState & BOTH_MARKS, 0u);
}

TEST_F(RoiKeys, AThirtyThirdRegionIsRefusedWithAMessage) {
    for (int r = 0; r < ROI_SLOTS; ++r) ASSERT_TRUE(AddRoi(0, 10 * r, 10 * r + 5));
    std::vector<std::pair<int, int>> before = Rois(0);
    MarkWithKeys(1000, 1005);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, FULL_TABLE);
    EXPECT_EQ(Headless().messages[0].style, MB_ICONHAND);
    EXPECT_EQ(Headless().messages[0].owner, NO_OWNER);
    EXPECT_EQ(Rois(0), before);
    EXPECT_EQ(runState & BOTH_MARKS, 0u);

    MarkWithKeys(12, 3);  // overlapping slot 0 frees it first: accepted
    EXPECT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Rois(0)[0], std::make_pair(3, 12));
}

TEST_F(RoiKeys, MarksBeyondTheSpectrumEndAtItsLastBin) {
    dataLength[WND_HEIGHT] = 32767;  // extent 32783: the cursor may stand beyond bin 32767
    viewState[WND_HEIGHT].cursorBin = 32700;
    OnKeyDown(WND_HEIGHT, 'B');
    for (int i = 0; i < 100; ++i) OnKeyDown(WND_HEIGHT, VK_RIGHT);
    EXPECT_EQ(viewState[WND_HEIGHT].cursorBin, 32783);
    OnKeyDown(WND_HEIGHT, 'E');
    EXPECT_EQ(Rois(0), (std::vector<std::pair<int, int>>{{32700, 32767}}));

    MarkWithKeys(32770, 32780);  // both beyond: no region can be made there
    EXPECT_EQ(Rois(0).size(), 1u);
    EXPECT_EQ(runState & BOTH_MARKS, 0u);
    EXPECT_TRUE(Headless().messages.empty());
}

TEST_F(RoiKeys, DeleteFreesTheRegionsAtTheCursor) {
    ASSERT_TRUE(AddRoi(0, 10, 20));
    ASSERT_TRUE(AddRoi(0, 30, 40));
    viewState[WND_HEIGHT].cursorBin = 50;
    OnKeyDown(WND_HEIGHT, 'B');
    OnKeyDown(WND_HEIGHT, VK_DELETE);  // nothing at bin 50: the mark stays
    EXPECT_EQ(Rois(0).size(), 2u);
    EXPECT_EQ(runState & BOTH_MARKS, RS_ROI_BEGIN_SET);
    viewState[WND_HEIGHT].cursorBin = 15;
    OnKeyDown(WND_HEIGHT, VK_DELETE);
    EXPECT_EQ(Rois(0), (std::vector<std::pair<int, int>>{{30, 40}}));
    EXPECT_EQ(runState & BOTH_MARKS, 0u);
}

TEST_F(RoiKeys, ShiftDeleteClearsTheDisplayedChannelOnly) {
    ASSERT_TRUE(AddRoi(0, 10, 20));
    ASSERT_TRUE(AddRoi(0, 30, 40));
    ASSERT_TRUE(AddRoi(1, 10, 20));
    Headless().keysDown[VK_SHIFT] = true;
    viewState[WND_HEIGHT].cursorBin = 300;
    OnKeyDown(WND_HEIGHT, VK_DELETE);
    EXPECT_TRUE(Rois(0).empty());
    EXPECT_EQ(Rois(1).size(), 1u);

    settings.channelSelection = 4;  // "Right Coincidence": the right channel is displayed
    ASSERT_TRUE(AddRoi(0, 10, 20));
    OnKeyDown(WND_HEIGHT, VK_DELETE);
    EXPECT_TRUE(Rois(1).empty());
    EXPECT_EQ(Rois(0).size(), 1u);
}

TEST_F(RoiKeys, CopySumAndCalibrationSwitches) {
    ASSERT_TRUE(AddRoi(0, 10, 20));
    settings.channelSelection = 3;
    OnKeyDown(WND_HEIGHT, 'K');  // left to right whatever is displayed
    EXPECT_EQ(Rois(1), (std::vector<std::pair<int, int>>{{10, 20}}));

    OnKeyDown(WND_HEIGHT, 'R');
    EXPECT_TRUE(runState & RS_ROI_SUM);
    OnKeyDown(WND_HEIGHT, 'R');
    EXPECT_FALSE(runState & RS_ROI_SUM);

    OnKeyDown(WND_HEIGHT, 'U');
    EXPECT_EQ(settings.options[1].useCalibration, 1);
    EXPECT_EQ(settings.options[0].useCalibration, 0);
    OnKeyDown(WND_HEIGHT, 'U');
    EXPECT_EQ(settings.options[1].useCalibration, 0);
    EXPECT_EQ(Headless().windows[WND_HEIGHT].invalidations, 5);
}

TEST_F(RoiKeys, PeakMarkingSpansAFactorOfTheZeroCrossingDistance) {
    SetCorrelationPeak();  // crossings at 94 and 106: distance 12
    const std::vector<std::pair<int, std::pair<int, int>>> cases = {
        {'F', {88, 112}}, {'D', {82, 118}}, {'G', {94, 106}}, {'H', {97, 103}}};
    for (const auto& [key, bounds] : cases) {
        for (RoiRecord& roi : settings.roi[0]) roi = EMPTY_ROI;
        viewState[WND_HEIGHT].cursorBin = 98;  // left of the peak: the walk finds bin 100
        OnKeyDown(WND_HEIGHT, key);
        EXPECT_EQ(Rois(0), (std::vector<std::pair<int, int>>{bounds})) << static_cast<char>(key);
        EXPECT_EQ(runState & BOTH_MARKS, 0u);
    }
}

TEST_F(RoiKeys, PeakMarkingNeedsAValidCorrelationAtTheCursor) {
    SetCorrelationPeak();
    viewState[WND_HEIGHT].cursorBin = 200;  // correlation 0 here
    OnKeyDown(WND_HEIGHT, 'F');
    EXPECT_TRUE(Rois(0).empty());
    EXPECT_EQ(runState & BOTH_MARKS, 0u);

    viewState[WND_HEIGHT].cursorBin = 100;
    gaussianValid[0] = 0;
    OnKeyDown(WND_HEIGHT, 'F');
    EXPECT_TRUE(Rois(0).empty());
    gaussianValid[0] = 1;
    settings.options[0].gaussianCorrelation = 0;
    OnKeyDown(WND_HEIGHT, 'F');
    EXPECT_TRUE(Rois(0).empty());
    settings.options[0].gaussianCorrelation = 1;
    OnKeyDown(WND_HEIGHT, 'F');
    EXPECT_EQ(Rois(0).size(), 1u);
}

TEST_F(RoiKeys, PeakMarkingAtTheSpectrumEdges) {
    settings.options[0].gaussianCorrelation = 1;
    gaussianValid[0] = 1;
    double* g = seriesData[SERIES_CORRELATION];
    for (int i = 32700; i < 32768; ++i) g[i] = 1.0;  // no crossing up to the end: R = 32768
    g[32699] = 0.0;
    g[32760] = 5.0;
    viewState[WND_HEIGHT].cursorBin = 32750;
    OnKeyDown(WND_HEIGHT, 'F');
    EXPECT_EQ(Rois(0), (std::vector<std::pair<int, int>>{{32691, 32767}}));

    for (int i = 0; i < 10; ++i) g[i] = 2.0;  // no crossing down to bin 0: L = 0
    g[10] = 0.0;
    viewState[WND_HEIGHT].cursorBin = 3;
    OnKeyDown(WND_HEIGHT, 'G');
    EXPECT_EQ(Rois(0)[1], std::make_pair(0, 8));
}
}  // namespace
