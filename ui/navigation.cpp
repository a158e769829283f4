// Navigation and input of the plot windows: scroll bars, scrolling, mouse, and the keys shared by all
// windows (commands, toggles, saving switches, click parameters) and by windows 0-5 (view keys).
#include "ui/navigation.h"

#include <cmath>

#include "acquisition/capture.h"
#include "acquisition/click_output.h"
#include "acquisition/pulse_store.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/view_state.h"
#include "platform/ui.h"
#include "ui/commands.h"
#include "ui/host_events.h"
#include "ui/navigation_roi.h"
#include "ui/plot_math.h"

int32_t roiBeginMark = 0;
int32_t roiEndMark = 0;

namespace {
constexpr double GAIN_STEP = 1.284;
constexpr double GAIN_STEP_INVERSE = 0.778816199376947;
constexpr double MAX_VERTICAL_GAIN = 1024.0;

bool IsScrollWindow(int window) {
    return window >= 0 && window <= 5;
}

int ClientWidth(int window) {
    int width = 0, height = 0;
    GetClientSize(window, &width, &height);
    return width > 0 ? width : 0;
}

// The part of the extent that fills the width at the current zoom, in data units.
int64_t VisibleUnits(int window, int width) {
    return TruncToInt64(width * viewState[window].zoom);
}

// Commands, toggles, the saving switches F1/F2 and the click parameters: any of the seven windows.
// Returns true when the key was one of them.
bool HandleCommonKey(int window, int key) {
    switch (key) {
        case 'A':
            if (runState & RS_INPUT_READY) SendCommand(window, IDM_START);
            return true;
        case 'C':
            if (runState & RS_INPUT_READY) SendCommand(window, IDM_CONTINUE);
            return true;
        case 'S':
            if (runState & RS_ACQUIRING) SendCommand(window, IDM_STOP);
            return true;
        case VK_SPACE:
            SendCommand(window, IDM_SOUND);
            return true;
        case 'Q':
            informationWindow = window;
            SendCommand(window, IDM_INFORMATION);
            return true;
        case 'L':
            runState ^= RS_FOLLOW_LATEST;
            return true;
        case 'T':
            runState ^= RS_INPUT_FREE_RUN;
            return true;
        case VK_F1:
            if (runState & RS_AUTOSAVE) {
                runState &= ~(RS_DATA_READY | RS_AUTOSAVE | RS_HOURLY_SAVE);
                KillTimer(TIMER_HOURLY);
            } else if (runState & RS_ACQUIRING) {
                runState |= RS_DATA_READY;
            }
            UpdateMenuState();
            return true;
        case VK_F2:
            runState ^= RS_HOURLY_SAVE;
            if ((runState & RS_HOURLY_SAVE) && (runState & RS_AUTOSAVE)) {
                StartTimer(TIMER_HOURLY, HOURLY_SAVE_PERIOD_MS);
                SendCommand(window, IDM_WRITE_DATA_FILE);
            } else {
                KillTimer(TIMER_HOURLY);
                runState &= ~RS_HOURLY_SAVE;
            }
            UpdateMenuState();
            return true;
        case VK_OEM_COMMA:
            if (IsKeyDown(VK_SHIFT)) {
                if (clickDensity > 1) clickDensity /= 2;
            } else if (pitchOffset > 0) {
                --pitchOffset;
            }
            return true;
        case VK_OEM_PERIOD:
            if (IsKeyDown(VK_SHIFT)) {
                if (clickDensity < 128) clickDensity *= 2;
            } else if (pitchOffset < 98) {
                ++pitchOffset;
            }
            return true;
        default:
            return false;
    }
}

// Vertical gain, zoom and cursor keys of windows 0-5. Returns true when the key was one of them.
bool HandleViewKey(int window, int key) {
    ViewState& view = viewState[window];
    switch (key) {
        case VK_PRIOR:
            view.verticalGain *= GAIN_STEP;
            if (view.verticalGain > MAX_VERTICAL_GAIN) view.verticalGain = MAX_VERTICAL_GAIN;
            break;
        case VK_NEXT:
            view.verticalGain *= GAIN_STEP_INVERSE;
            if (view.verticalGain < 1.0) view.verticalGain = 1.0;
            break;
        case VK_UP:
            view.zoom *= GAIN_STEP;
            break;
        case VK_DOWN:
            view.zoom *= GAIN_STEP_INVERSE;
            break;
        case VK_LEFT:
            if (view.cursorBin > 0) --view.cursorBin;
            break;
        case VK_RIGHT:
            if (view.cursorBin < DataExtent(window) && view.cursorBin < INT32_MAX) ++view.cursorBin;
            break;
        default:
            return false;
    }
    UpdateScrollBar(window);
    InvalidateWindow(window);
    return true;
}
}  // namespace

int64_t DataExtent(int window) {
    if (!IsScrollWindow(window)) return 0;
    int64_t length = window == WND_PULSES ? sampleClock : dataLength[window];
    return length + extraUnits[window];
}

void UpdateScrollBar(int window) {
    if (!IsScrollWindow(window)) return;
    ViewState& view = viewState[window];
    int width = ClientWidth(window);
    if (!(view.zoom >= 1.0)) view.zoom = 1.0;
    int64_t extent = DataExtent(window);
    double extentUnits = static_cast<double>(extent);
    // All data fit: stretch them over the full width. A window without width (minimised) keeps its zoom.
    if (width > 0 && extentUnits <= width * view.zoom) view.zoom = extentUnits / width;
    int64_t visible = VisibleUnits(window, width);
    if (view.scrollPosition > extent - visible) view.scrollPosition = extent - visible;
    if (view.scrollPosition < 0) view.scrollPosition = 0;

    int64_t length = window == WND_PULSES ? sampleClock : dataLength[window];
    if (length == 0 || extent <= 0) {
        view.positionFraction = 0.0;
        view.pageFraction = 1.0;
    } else {
        view.positionFraction = static_cast<double>(view.scrollPosition) / extentUnits;
        view.pageFraction = width * view.zoom / extentUnits;
    }
    view.lineStep = 0.1 * view.pageFraction;
    scrollBarRecord.nPos = TruncToInt32(view.positionFraction * 10000.0);
    int32_t page = TruncToInt32(view.pageFraction * 10000.0 + extraUnits[window] + 1);
    scrollBarRecord.nPage = page > 0 ? static_cast<uint32_t>(page) : 0u;
    SetScrollBar(window, scrollBarRecord.nPos, page, true);
}

void OnHorizontalScroll(int window, int code, int position) {
    if (!IsScrollWindow(window) || code < SB_LINELEFT || code > SB_THUMBTRACK) return;
    ViewState& view = viewState[window];
    double p = view.positionFraction;
    switch (code) {
        case SB_LINELEFT:
            p -= view.lineStep;
            break;
        case SB_LINERIGHT:
            p += view.lineStep;
            break;
        case SB_PAGELEFT:
            p -= view.pageFraction;
            break;
        case SB_PAGERIGHT:
            p += view.pageFraction;
            break;
        default:
            p = (0.2 * view.lineStep + 1.0) * position / 10000.0;
            break;
    }
    bool atEnd = false;
    if (p >= 1.0 - view.pageFraction) {
        p = 1.0 - view.pageFraction;
        atEnd = true;
    }
    if (!(p >= 0.0)) p = 0.0;
    view.positionFraction = p;
    scrollBarRecord.nPos = TruncToInt32(10000.0 * p);

    int64_t extent = DataExtent(window);
    if (atEnd)
        view.scrollPosition = extent - VisibleUnits(window, ClientWidth(window));
    else
        view.scrollPosition = TruncToInt64(static_cast<double>(extent) * p);
    UpdateScrollBar(window);
    InvalidateWindow(window);
}

void OnMouse(int window, int message, unsigned keys, int x, int wheelDelta) {
    if (!IsScrollWindow(window)) return;
    ViewState& view = viewState[window];
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) {
        if (window != WND_PULSES) {
            double bin = x * view.zoom + static_cast<double>(view.scrollPosition);
            view.cursorBin = TruncToInt32(bin < 0.0 ? 0.0 : bin);
            // Ctrl-drag in the pulse height window marks an ROI from the press to the release bin.
            if (window == WND_HEIGHT && (keys & MK_CONTROL)) {
                OnKeyDown(window, message == WM_LBUTTONDOWN ? 'B' : 'E');
                return;
            }
        }
        if (message == WM_LBUTTONUP) InvalidateWindow(window);
    } else if (message == WM_MOUSEWHEEL) {
        double gain = ClampDouble(view.verticalGain * std::exp(wheelDelta / 480.0), 1.0, MAX_VERTICAL_GAIN);
        if (gain != view.verticalGain) {
            view.verticalGain = gain;
            InvalidateWindow(window);
        }
    }
}

void OnKeyDown(int window, int virtualKey) {
    if (window < WND_PULSES || window > WND_AUDIO_INPUT) return;
    if (HandleCommonKey(window, virtualKey)) return;
    if (!IsScrollWindow(window) || HandleViewKey(window, virtualKey)) return;
    if (window == WND_HEIGHT) HandleHeightWindowKey(virtualKey);
}

void ResetNavigationState() {
    roiBeginMark = 0;
    roiEndMark = 0;
}
