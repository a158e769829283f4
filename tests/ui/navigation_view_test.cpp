// Navigation of the plot windows: clamping and stretching in UpdateScrollBar, the scroll-bar
// requests, the view keys, the mouse cursor and wheel, and a window without width.
#include <cmath>

#include "acquisition/pulse_store.h"
#include "analysis/series.h"
#include "core/view_state.h"
#include "platform/headless/headless.h"
#include "tests/ui/plot_test_support.h"
#include "ui/commands.h"
#include "ui/host_events.h"
#include "ui/navigation.h"

namespace {
class Navigation : public PlotTest {
  protected:
    static const HeadlessWindow& Window(int window) { return Headless().windows[window]; }
};

TEST_F(Navigation, FewerDataThanPixelsAreStretchedAndCannotBeZoomedOutFurther) {
    dataLength[WND_RATE_TIME] = 100;  // extent 102 on 400 pixels
    UpdateScrollBar(WND_RATE_TIME);
    EXPECT_DOUBLE_EQ(viewState[WND_RATE_TIME].zoom, 102.0 / 400.0);
    EXPECT_EQ(Window(WND_RATE_TIME).scrollPosition, 0);
    EXPECT_EQ(Window(WND_RATE_TIME).scrollPage, 10003);

    OnKeyDown(WND_RATE_TIME, VK_UP);
    EXPECT_DOUBLE_EQ(viewState[WND_RATE_TIME].zoom, 102.0 / 400.0);
    OnKeyDown(WND_RATE_TIME, VK_DOWN);
    EXPECT_DOUBLE_EQ(viewState[WND_RATE_TIME].zoom, 102.0 / 400.0);
    EXPECT_EQ(Window(WND_RATE_TIME).invalidations, 2);
}

TEST_F(Navigation, ZoomKeysChangeTheDataPerPixel) {
    dataLength[WND_RATE_TIME] = 100000;
    OnKeyDown(WND_RATE_TIME, VK_UP);
    EXPECT_DOUBLE_EQ(viewState[WND_RATE_TIME].zoom, 1.284);
    OnKeyDown(WND_RATE_TIME, VK_DOWN);
    OnKeyDown(WND_RATE_TIME, VK_DOWN);
    EXPECT_DOUBLE_EQ(viewState[WND_RATE_TIME].zoom, 1.0) << "never below one unit per pixel";
}

TEST_F(Navigation, ScrollPositionStaysWithinTheExtent) {
    dataLength[WND_INTERVAL] = 996;  // extent 1000
    viewState[WND_INTERVAL].scrollPosition = 900;
    UpdateScrollBar(WND_INTERVAL);
    EXPECT_EQ(viewState[WND_INTERVAL].scrollPosition, 600);
    EXPECT_EQ(Window(WND_INTERVAL).scrollPosition, 6000);
    EXPECT_EQ(Window(WND_INTERVAL).scrollPage, 4000 + 4 + 1);
    viewState[WND_INTERVAL].scrollPosition = -5;
    UpdateScrollBar(WND_INTERVAL);
    EXPECT_EQ(viewState[WND_INTERVAL].scrollPosition, 0);
}

TEST_F(Navigation, PagingRightStopsWithTheLastUnitAtTheRightEdge) {
    dataLength[WND_RATE_TIME] = 1000;  // extent 1002, page 400
    UpdateScrollBar(WND_RATE_TIME);
    OnHorizontalScroll(WND_RATE_TIME, SB_PAGERIGHT, 0);
    EXPECT_EQ(viewState[WND_RATE_TIME].scrollPosition, 400);
    OnHorizontalScroll(WND_RATE_TIME, SB_PAGERIGHT, 0);
    EXPECT_EQ(viewState[WND_RATE_TIME].scrollPosition, 602);
    OnHorizontalScroll(WND_RATE_TIME, SB_PAGERIGHT, 0);
    EXPECT_EQ(viewState[WND_RATE_TIME].scrollPosition, 602);
    EXPECT_EQ(Window(WND_RATE_TIME).invalidations, 3);

    OnHorizontalScroll(WND_RATE_TIME, SB_LINELEFT, 0);
    EXPECT_EQ(viewState[WND_RATE_TIME].scrollPosition, 562);  // a tenth of the page back
    OnHorizontalScroll(WND_RATE_TIME, SB_PAGELEFT, 0);
    OnHorizontalScroll(WND_RATE_TIME, SB_PAGELEFT, 0);
    EXPECT_EQ(viewState[WND_RATE_TIME].scrollPosition, 0);
    OnHorizontalScroll(WND_RATE_TIME, SB_LINERIGHT, 0);
    EXPECT_EQ(viewState[WND_RATE_TIME].scrollPosition, 40);
}

TEST_F(Navigation, ThumbPositionAndIgnoredCodes) {
    dataLength[WND_RATE_TIME] = 1000;
    UpdateScrollBar(WND_RATE_TIME);
    OnHorizontalScroll(WND_RATE_TIME, SB_THUMBTRACK, 2500);
    double lineStep = 0.1 * 400.0 / 1002.0;
    EXPECT_EQ(viewState[WND_RATE_TIME].scrollPosition,
              static_cast<int64_t>(1002 * ((0.2 * lineStep + 1) * 0.25)));
    int64_t before = viewState[WND_RATE_TIME].scrollPosition;
    for (int code : {SB_LEFT, SB_RIGHT, SB_ENDSCROLL, 99, -1}) OnHorizontalScroll(WND_RATE_TIME, code, 9000);
    EXPECT_EQ(viewState[WND_RATE_TIME].scrollPosition, before);
    OnHorizontalScroll(WND_AUDIO_INPUT, SB_PAGERIGHT, 0);
    EXPECT_EQ(Window(WND_AUDIO_INPUT).scrollUpdates, 0);
}

TEST_F(Navigation, PulsesViewScrollsOverTheSampleClock) {
    MakeStore(4);
    sampleClock = 10000;
    UpdateScrollBar(WND_PULSES);
    EXPECT_DOUBLE_EQ(viewState[0].zoom, 1.0);
    OnHorizontalScroll(WND_PULSES, SB_THUMBPOSITION, 10000);
    EXPECT_EQ(viewState[0].scrollPosition, 10002 - 400);
    EXPECT_EQ(DataExtent(WND_PULSES), 10002);
}

TEST_F(Navigation, AWindowWithoutWidthKeepsAFiniteZoom) {
    dataLength[WND_WIDTH] = 50;
    SetClient(WND_WIDTH, 0, 0);
    viewState[WND_WIDTH].zoom = 3.0;
    UpdateScrollBar(WND_WIDTH);
    EXPECT_DOUBLE_EQ(viewState[WND_WIDTH].zoom, 3.0);
    OnHorizontalScroll(WND_WIDTH, SB_PAGERIGHT, 0);
    OnKeyDown(WND_WIDTH, VK_DOWN);
    EXPECT_TRUE(std::isfinite(viewState[WND_WIDTH].zoom));
    EXPECT_GE(viewState[WND_WIDTH].scrollPosition, 0);
    HeadlessPaint(WND_WIDTH);  // a minimised window paints nothing harmful
    SetClient(WND_WIDTH, 400, 150);
    UpdateScrollBar(WND_WIDTH);
    EXPECT_DOUBLE_EQ(viewState[WND_WIDTH].zoom, 52.0 / 400.0);
}

TEST_F(Navigation, VerticalGainKeysAndWheelStayWithinOneTo1024) {
    OnKeyDown(WND_HEIGHT, VK_PRIOR);
    EXPECT_DOUBLE_EQ(viewState[WND_HEIGHT].verticalGain, 1.284);
    OnKeyDown(WND_HEIGHT, VK_NEXT);
    OnKeyDown(WND_HEIGHT, VK_NEXT);
    EXPECT_DOUBLE_EQ(viewState[WND_HEIGHT].verticalGain, 1.0);
    for (int i = 0; i < 40; ++i) OnKeyDown(WND_HEIGHT, VK_PRIOR);
    EXPECT_DOUBLE_EQ(viewState[WND_HEIGHT].verticalGain, 1024.0);

    int invalidations = Window(WND_RATE_HIST).invalidations;
    OnMouse(WND_RATE_HIST, WM_MOUSEWHEEL, 0, 10, -120);  // already at 1: nothing changes
    EXPECT_EQ(Window(WND_RATE_HIST).invalidations, invalidations);
    OnMouse(WND_RATE_HIST, WM_MOUSEWHEEL, 0, 10, 120);
    EXPECT_DOUBLE_EQ(viewState[WND_RATE_HIST].verticalGain, std::exp(0.25));
    EXPECT_EQ(Window(WND_RATE_HIST).invalidations, invalidations + 1);
    OnMouse(WND_RATE_HIST, WM_MOUSEWHEEL, 0, 10, 120 * 100);
    EXPECT_DOUBLE_EQ(viewState[WND_RATE_HIST].verticalGain, 1024.0);
}

TEST_F(Navigation, ClickSetsTheCursorWhenTheButtonIsReleased) {
    dataLength[WND_RATE_HIST] = 5000;
    viewState[WND_RATE_HIST].scrollPosition = 50;
    viewState[WND_RATE_HIST].zoom = 2.0;
    HostMouse(WND_RATE_HIST, WM_LBUTTONDOWN, MK_LBUTTON, 100, 20, 0);
    EXPECT_EQ(viewState[WND_RATE_HIST].cursorBin, 250);
    EXPECT_EQ(Window(WND_RATE_HIST).invalidations, 0);
    HostMouse(WND_RATE_HIST, WM_LBUTTONUP, 0, 101, 20, 0);
    EXPECT_EQ(viewState[WND_RATE_HIST].cursorBin, 252);
    EXPECT_EQ(Window(WND_RATE_HIST).invalidations, 1);
    HostMouse(WND_RATE_HIST, WM_LBUTTONUP, 0, -200, 20, 0);  // dragged out to the left
    EXPECT_EQ(viewState[WND_RATE_HIST].cursorBin, 0);
    HostMouse(WND_RATE_HIST, WM_MOUSEMOVE, MK_LBUTTON, 300, 20, 0);
    EXPECT_EQ(viewState[WND_RATE_HIST].cursorBin, 0);
}

TEST_F(Navigation, CursorKeysStayWithinTheExtent) {
    dataLength[WND_WIDTH] = 3;  // extent 5
    OnKeyDown(WND_WIDTH, VK_LEFT);
    EXPECT_EQ(viewState[WND_WIDTH].cursorBin, 0);
    for (int i = 0; i < 10; ++i) OnKeyDown(WND_WIDTH, VK_RIGHT);
    EXPECT_EQ(viewState[WND_WIDTH].cursorBin, 5);
    OnKeyDown(WND_WIDTH, VK_LEFT);
    EXPECT_EQ(viewState[WND_WIDTH].cursorBin, 4);
    OnKeyDown(WND_AUDIO_INPUT, VK_RIGHT);  // no view keys in the Audio Input window
    EXPECT_EQ(Window(WND_AUDIO_INPUT).invalidations, 0);
}
}  // namespace
