// Keys and navigation of the plot windows: the command and toggle keys as one table, the saving
// switches F1/F2, click density and pitch, zoom and stretching, scrolling, gain, cursor and mouse,
// and the ROI editing of the pulse height window (marks, Ctrl-drag, Delete, K, U, peak marking).
#include "ui/navigation.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "acquisition/capture.h"
#include "acquisition/click_output.h"
#include "analysis/calibration.h"
#include "analysis/roi.h"
#include "core/run_state.h"
#include "tests/ui/plot_test_support.h"
#include "ui/commands.h"
#include "ui/host_events.h"

namespace {
using Regions = std::vector<std::pair<int, int>>;

class Navigation : public PlotTest {
  protected:
    void SetUp() override {
        PlotTest::SetUp();
        dataLength[WND_HEIGHT] = 384;  // zoom 1: pixel x is bin x
        UpdateScrollBar(WND_HEIGHT);
    }

    static const HeadlessWindow& Window(int window) { return Headless().windows[window]; }

    // The used slots of a channel as (start, end) pairs in slot order.
    static Regions Rois(int channel) {
        Regions out;
        for (const RoiRecord& roi : settings.roi[channel])
            if (roi.startBin >= 0) out.emplace_back(roi.startBin, roi.endBin);
        return out;
    }

    // A key in the pulse height window with the cursor at a bin.
    static void Key(int key, int cursorBin) {
        viewState[WND_HEIGHT].cursorBin = cursorBin;
        OnKeyDown(WND_HEIGHT, key);
    }
};

// Each key in one of the windows, from a run state: the commands it sends and the run-state bits it
// flips. Windows outside 0-6 take no keys. Q shows the Information dialog of its window.
TEST_F(Navigation, CommandAndToggleKeys) {
    const std::tuple<int, int, uint32_t, std::vector<int>, uint32_t> cases[] = {
        {WND_WIDTH, 'A', 0, {}, 0},
        {WND_RATE_TIME, 'A', RS_INPUT_READY, {IDM_START}, 0},
        {WND_AUDIO_INPUT, 'C', RS_INPUT_READY, {IDM_CONTINUE}, 0},
        {WND_PULSES, 'S', RS_INPUT_READY, {}, 0},
        {WND_PULSES, 'S', RS_ACQUIRING, {IDM_STOP}, 0},
        {WND_INTERVAL, VK_SPACE, 0, {IDM_SOUND}, 0},
        {WND_INTERVAL, 'Q', 0, {IDM_INFORMATION}, 0},
        {WND_HEIGHT, 'Q', 0, {IDM_INFORMATION}, 0},
        {WND_PULSES, 'L', 0, {}, RS_FOLLOW_LATEST},
        {WND_AUDIO_INPUT, 'T', 0, {}, RS_INPUT_FREE_RUN},
        {WND_HEIGHT, 'R', RS_ROI_SUM, {}, RS_ROI_SUM},
        {WND_INTERVAL, 'R', 0, {}, 0},
        {7, 'A', RS_INPUT_READY, {}, 0},
        {-1, VK_SPACE, 0, {}, 0},
    };
    for (const auto& [window, key, state, commands, flipped] : cases) {
        ResetDispatcher();
        runState = state;
        std::snprintf(informationText[WND_HEIGHT], INFORMATION_TEXT_SIZE, "Bin \r\n%d",
                      key);  // names the key
        HostKeyDown(window, key);
        EXPECT_EQ(DispatchedCommands(), commands) << window << " " << key;
        if (commands.empty()) {
            EXPECT_EQ(runState ^ state, flipped) << window << " " << key;
        }
    }
    EXPECT_EQ(Headless().dialogs[IDD_INFORMATION].owner, WND_HEIGHT);  // Q again passes the dialog on
    EXPECT_EQ(HeadlessItemText(IDD_INFORMATION, IDC_INFORMATION_TEXT), "Bin \r\n81");
}

// During a capture F1 enables Save; once Save has named a file (autosave), F2 switches the hourly
// writes on (with one write at once) and off; F1 then cancels saving and the hourly timer.
TEST_F(Navigation, SavingSwitchesF1AndF2) {
    constexpr uint32_t SAVING = RS_DATA_READY | RS_AUTOSAVE | RS_HOURLY_SAVE;
    const std::tuple<int, uint32_t, uint32_t> steps[] = {
        // key, bits set before, saving bits after
        {VK_F1, 0, 0},  // not acquiring: nothing to enable
        {VK_F1, RS_ACQUIRING, RS_DATA_READY},
        {VK_F2, 0, RS_DATA_READY},  // no file named yet: the hourly save stays off
        {VK_F2, RS_AUTOSAVE, SAVING},
        {VK_F2, 0, RS_DATA_READY | RS_AUTOSAVE},
        {VK_F2, 0, SAVING},
        {VK_F1, 0, 0},
    };
    for (const auto& [key, set, saving] : steps) {
        runState |= set;
        HostKeyDown(WND_HEIGHT, key);
        bool hourly = saving & RS_HOURLY_SAVE;
        EXPECT_EQ(runState & SAVING, saving);
        EXPECT_EQ(Headless().timers.count(TIMER_HOURLY), hourly ? 1u : 0u);
        if (hourly) {
            EXPECT_EQ(Headless().timers[TIMER_HOURLY], 3600000u);
        }
        EXPECT_EQ(Headless().menuEnabled[IDM_SAVE], (saving & RS_DATA_READY) != 0);
        EXPECT_EQ(Headless().menuChecked[IDM_SAVE], hourly);
    }
    EXPECT_EQ(DispatchedCommands(), (std::vector<int>{IDM_WRITE_DATA_FILE, IDM_WRITE_DATA_FILE}));
}

enum Value { PITCH, DENSITY, GAIN, ZOOM, CURSOR };

std::array<double, 5> Values() {
    return {static_cast<double>(pitchOffset), static_cast<double>(clickDensity),
            viewState[WND_HEIGHT].verticalGain, viewState[WND_RATE_TIME].zoom,
            static_cast<double>(viewState[WND_WIDTH].cursorBin)};
}

// Keys pressed some times in a window (with or without Shift) and the value they leave: the pitch
// within 0-98, the click density within 1-128, the vertical gain within 1-1024, the zoom at least one
// unit per pixel, the cursor within the extent. The Audio Input window has no view keys.
TEST_F(Navigation, ClickAndViewKeysStayWithinTheirBounds) {
    dataLength[WND_RATE_TIME] = 100000;
    dataLength[WND_WIDTH] = 3;  // extent 5
    const std::tuple<int, int, bool, int, Value, double> steps[] = {
        // window, key, Shift, times, value
        {WND_PULSES, VK_OEM_COMMA, false, 1, PITCH, 0},
        {WND_PULSES, VK_OEM_PERIOD, false, 120, PITCH, 98},
        {WND_PULSES, VK_OEM_COMMA, false, 1, PITCH, 97},
        {WND_AUDIO_INPUT, VK_OEM_PERIOD, true, 1, DENSITY, 32},
        {WND_AUDIO_INPUT, VK_OEM_PERIOD, true, 5, DENSITY, 128},
        {WND_AUDIO_INPUT, VK_OEM_COMMA, true, 10, DENSITY, 1},
        {WND_HEIGHT, VK_OEM_COMMA, true, 1, PITCH, 97},
        {WND_HEIGHT, VK_PRIOR, false, 1, GAIN, 1.284},
        {WND_HEIGHT, VK_NEXT, false, 2, GAIN, 1.0},
        {WND_HEIGHT, VK_PRIOR, false, 40, GAIN, 1024},
        {WND_RATE_TIME, VK_UP, false, 1, ZOOM, 1.284},
        {WND_RATE_TIME, VK_DOWN, false, 2, ZOOM, 1.0},
        {WND_WIDTH, VK_LEFT, false, 1, CURSOR, 0},
        {WND_WIDTH, VK_RIGHT, false, 10, CURSOR, 5},
        {WND_WIDTH, VK_LEFT, false, 1, CURSOR, 4},
        {WND_AUDIO_INPUT, VK_RIGHT, false, 1, CURSOR, 4},
    };
    for (const auto& [window, key, shift, times, value, expected] : steps) {
        Headless().keysDown[VK_SHIFT] = shift;
        for (int i = 0; i < times; ++i) HostKeyDown(window, key);
        EXPECT_DOUBLE_EQ(Values()[value], expected) << window << " " << key;
    }
    EXPECT_EQ(Window(WND_AUDIO_INPUT).invalidations, 0);
}

// Line, page and thumb requests move within the extent; paging right stops with the last unit at the
// right edge; other codes and the Audio Input window are ignored.
TEST_F(Navigation, ScrollingStaysWithinTheExtent) {
    dataLength[WND_RATE_TIME] = 1000;  // extent 1002, page 400
    UpdateScrollBar(WND_RATE_TIME);
    const double lineStep = 0.1 * 400.0 / 1002.0;
    const std::pair<int, int64_t> steps[] = {
        {SB_PAGERIGHT, 400},
        {SB_PAGERIGHT, 602},
        {SB_PAGERIGHT, 602},
        {SB_LINELEFT, 562},
        {SB_PAGELEFT, 162},
        {SB_PAGELEFT, 0},
        {SB_LINERIGHT, 40},
        {SB_ENDSCROLL, 40},
        {-1, 40},
        {SB_THUMBTRACK, static_cast<int64_t>(1002 * ((0.2 * lineStep + 1) * 0.25))}};
    for (const auto& [code, position] : steps) {
        OnHorizontalScroll(WND_RATE_TIME, code, 2500);
        EXPECT_EQ(viewState[WND_RATE_TIME].scrollPosition, position) << code;
    }
    EXPECT_EQ(std::make_pair(Window(WND_RATE_TIME).scrollPosition, Window(WND_RATE_TIME).scrollPage),
              std::make_pair(2514, 3992 + 2 + 1));  // 252 and 400 of 1002 in ten thousandths
    OnHorizontalScroll(WND_AUDIO_INPUT, SB_PAGERIGHT, 0);
    EXPECT_EQ(Window(WND_AUDIO_INPUT).scrollUpdates, 0);

    MakeStore(4);  // the pulses view scrolls over the sample clock
    sampleClock = 10000;
    OnHorizontalScroll(WND_PULSES, SB_THUMBPOSITION, 10000);
    EXPECT_EQ(viewState[0].scrollPosition, 10002 - 400);
}

// A window without width (minimised) keeps a finite zoom; given its width again, data fewer than its
// pixels are stretched over it.
TEST_F(Navigation, AWindowWithoutWidthKeepsAFiniteZoom) {
    dataLength[WND_WIDTH] = 50;
    Headless().windows[WND_WIDTH].clientWidth = 0;
    viewState[WND_WIDTH].zoom = 3.0;
    UpdateScrollBar(WND_WIDTH);
    OnHorizontalScroll(WND_WIDTH, SB_PAGERIGHT, 0);
    OnKeyDown(WND_WIDTH, VK_DOWN);
    HeadlessPaint(WND_WIDTH);  // a minimised window paints nothing harmful
    EXPECT_TRUE(std::isfinite(viewState[WND_WIDTH].zoom));
    EXPECT_GE(viewState[WND_WIDTH].scrollPosition, 0);
    Headless().windows[WND_WIDTH].clientWidth = 400;
    UpdateScrollBar(WND_WIDTH);
    EXPECT_DOUBLE_EQ(viewState[WND_WIDTH].zoom, 52.0 / 400.0);
}

// A click sets the cursor (drawn when the button is released), never left of bin 0; the wheel
// changes the vertical gain within 1 to 1024.
TEST_F(Navigation, MouseSetsTheCursorAndTheWheelTheGain) {
    dataLength[WND_RATE_HIST] = 5000;
    viewState[WND_RATE_HIST].scrollPosition = 50;
    viewState[WND_RATE_HIST].zoom = 2.0;
    const std::tuple<int, int, int, int> clicks[] = {{WM_LBUTTONDOWN, 100, 250, 0},
                                                     {WM_LBUTTONUP, 101, 252, 1},
                                                     {WM_LBUTTONUP, -200, 0, 2},
                                                     {WM_MOUSEMOVE, 300, 0, 2}};
    for (const auto& [message, x, cursorBin, invalidations] : clicks) {
        HostMouse(WND_RATE_HIST, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, x, 20, 0);
        EXPECT_EQ(std::make_pair(viewState[WND_RATE_HIST].cursorBin, Window(WND_RATE_HIST).invalidations),
                  std::make_pair(cursorBin, invalidations));
    }
    const std::pair<int, double> wheel[] = {{-120, 1.0}, {120, std::exp(0.25)}, {120 * 100, 1024.0}};
    for (const auto& [delta, gain] : wheel) {
        OnMouse(WND_RATE_HIST, WM_MOUSEWHEEL, 0, 10, delta);
        EXPECT_DOUBLE_EQ(viewState[WND_RATE_HIST].verticalGain, gain) << delta;
    }
    EXPECT_EQ(Window(WND_RATE_HIST).invalidations, 4) << "no redraw when the gain stays at 1";
}

constexpr uint32_t BOTH_MARKS = RS_ROI_BEGIN_SET | RS_ROI_END_SET;

TEST_F(Navigation, CtrlDragMarksARegionReplacingWhatItOverlaps) {
    ASSERT_TRUE(AddRoi(0, 100, 110));
    ASSERT_TRUE(AddRoi(0, 200, 210));
    HostMouse(WND_HEIGHT, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, 120, 50, 0);
    EXPECT_EQ(runState & BOTH_MARKS, RS_ROI_BEGIN_SET);
    HostMouse(WND_HEIGHT, WM_LBUTTONUP, MK_CONTROL, 80, 50, 0);
    EXPECT_EQ(Rois(0), (Regions{{80, 120}, {200, 210}}));
    EXPECT_EQ(runState & BOTH_MARKS, 0u);
    EXPECT_EQ(viewState[WND_HEIGHT].cursorBin, 80);
}

// A session of ROI keys, step by step: the key, the cursor bin, and the left channel's regions and
// the marks afterwards.
TEST_F(Navigation, MarkingAndDeletingRegions) {
    dataLength[WND_HEIGHT] = 32767;  // extent 32783: the cursor may stand beyond bin 32767
    const std::tuple<int, int, Regions, uint32_t> steps[] = {
        {'B', 40, {}, RS_ROI_BEGIN_SET},
        {'E', 30, {{30, 40}}, 0},  // the order of the marks does not matter
        {'B', 60, {{30, 40}}, RS_ROI_BEGIN_SET},
        {'E', 60, {{30, 40}}, BOTH_MARKS},  // equal marks wait for a different one
        {'E', 70, {{30, 40}, {60, 70}}, 0},
        {'B', 100, {{30, 40}, {60, 70}}, RS_ROI_BEGIN_SET},
        {VK_DELETE, 100, {{30, 40}, {60, 70}}, RS_ROI_BEGIN_SET},  // no region here: the mark stays
        {VK_DELETE, 35, {{60, 70}}, 0},
        {'B', 32700, {{60, 70}}, RS_ROI_BEGIN_SET},
        {'E', 32783, {{32700, 32767}, {60, 70}}, 0},  // a mark beyond the spectrum is its last bin
        {'B', 32770, {{32700, 32767}, {60, 70}}, RS_ROI_BEGIN_SET},
        {'E', 32780, {{32700, 32767}, {60, 70}}, 0},  // both beyond: no region
    };
    for (const auto& [key, cursorBin, left, marks] : steps) {
        Key(key, cursorBin);
        EXPECT_EQ(Rois(0), left) << key << " at " << cursorBin;
        EXPECT_EQ(runState & BOTH_MARKS, marks) << key << " at " << cursorBin;
    }
    EXPECT_TRUE(Headless().messages.empty());
    viewState[WND_WIDTH].cursorBin = 5;  // marks in another window do nothing
    OnKeyDown(WND_WIDTH, 'B');
    EXPECT_EQ(runState & BOTH_MARKS, 0u);
}

TEST_F(Navigation, AThirtyThirdRegionIsRefusedWithAMessage) {
    for (int r = 0; r < ROI_SLOTS; ++r) ASSERT_TRUE(AddRoi(0, 10 * r, 10 * r + 5));
    Key('B', 1000);
    Key('E', 1005);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text,
              "Maximum number of ROIs already selected.\nDelete one and try again!");
    EXPECT_EQ(Headless().messages[0].style, MB_ICONHAND);
    EXPECT_EQ(std::make_pair(Rois(0).size(), runState & BOTH_MARKS), std::make_pair(size_t{32}, 0u));
}

// Shift+Delete clears the displayed channel only; K copies left to right whatever is displayed; U
// switches the displayed channel's calibration.
TEST_F(Navigation, ShiftDeleteCopyAndCalibrationSwitch) {
    ASSERT_TRUE(AddRoi(0, 10, 20) && AddRoi(1, 30, 40) && AddRoi(1, 50, 60));
    settings.channelSelection = 3;  // "Right All"
    Headless().keysDown[VK_SHIFT] = true;
    Key(VK_DELETE, 300);
    EXPECT_EQ(std::make_pair(Rois(0).size(), Rois(1).size()), std::make_pair(size_t{1}, size_t{0}));
    Headless().keysDown[VK_SHIFT] = false;
    OnKeyDown(WND_HEIGHT, 'K');
    EXPECT_EQ(Rois(1), (Regions{{10, 20}}));
    OnKeyDown(WND_HEIGHT, 'U');
    EXPECT_EQ(std::make_pair(settings.options[0].useCalibration, settings.options[1].useCalibration),
              std::make_pair(uint8_t{0}, uint8_t{1}));
    OnKeyDown(WND_HEIGHT, 'U');
    EXPECT_EQ(settings.options[1].useCalibration, 0);
    EXPECT_EQ(Headless().windows[WND_HEIGHT].invalidations, 4);
}

// F, D, G and H mark a factor 1, 1.5, 0.5 and 0.25 of the zero-crossing distance on each side of the
// correlation peak next to the cursor, cut at the spectrum ends; nothing at a zero or without a
// valid correlation.
TEST_F(Navigation, PeakMarkingFromTheCorrelation) {
    settings.options[0].gaussianCorrelation = gaussianValid[0] = 1;
    double* g = seriesData[SERIES_CORRELATION];
    for (int i = 0; i < 10; ++i) g[i] = 2.0;  // no crossing down to bin 0
    for (int i = 80; i < 120; ++i) g[i] = i >= 95 && i <= 105 ? 10.0 - std::abs(i - 100) : -1.0;
    for (int i = 32700; i < 32768; ++i) g[i] = i == 32760 ? 5.0 : 1.0;  // no crossing up to the end
    const std::tuple<int, int, Regions> cases[] = {
        {'F', 98, {{88, 112}}},  // left of the peak: the walk finds bin 100; crossings 94, 106
        {'D', 98, {{82, 118}}},         {'G', 98, {{94, 106}}}, {'H', 98, {{97, 103}}},
        {'F', 32750, {{32691, 32767}}}, {'G', 3, {{0, 8}}},     {'F', 200, {}}};
    for (const auto& [key, cursorBin, region] : cases) {
        for (RoiRecord& roi : settings.roi[0]) roi = EMPTY_ROI;
        Key(key, cursorBin);
        EXPECT_EQ(Rois(0), region) << static_cast<char>(key) << " at " << cursorBin;
        EXPECT_EQ(runState & BOTH_MARKS, 0u);
    }
    gaussianValid[0] = 0;
    Key('F', 100);
    gaussianValid[0] = 1;
    settings.options[0].gaussianCorrelation = 0;
    Key('F', 100);
    EXPECT_TRUE(Rois(0).empty());
}
}  // namespace
