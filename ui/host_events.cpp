// The window procedure's handlers as the host calls them: each message goes to the module that owns it.
#include "ui/host_events.h"

#include "acquisition/capture.h"
#include "acquisition/click_output.h"
#include "core/file_name.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/ui.h"
#include "ui/commands.h"
#include "ui/navigation.h"
#include "ui/plot_render.h"

void HostPaint(int window) { PaintPlotWindow(window); }

void HostSize(int, int, int) {}

void HostClose(int window) {
    if (window < 0 || window > 6) return;
    if (runState & RS_CLOSING) {
        DestroyPlotWindow(window);
        PostQuit(0);
        return;
    }
    if (window == WND_PULSES) {
        runState |= RS_CLOSING;
        SendCommand(WND_PULSES, IDM_EXIT);
        return;
    }
    WindowPlacementRecord& record = settings.windowPlacement[window];
    record.showCommand = 0;
    SetPlotWindowPlacement(window, {0, record.normalLeft, record.normalTop, record.normalRight, record.normalBottom});
}

void HostKeyDown(int window, int virtualKey) { OnKeyDown(window, virtualKey); }

void HostMouse(int window, int message, unsigned keys, int x, int y, int wheelDelta) {
    (void)y;
    OnMouse(window, message, keys, x, wheelDelta);
}

void HostHorizontalScroll(int window, int code, int position) { OnHorizontalScroll(window, code, position); }

void HostCommand(int window, int command) { SendCommand(window, command); }

void HostTimer(int timerId) { OnCaptureTimer(timerId); }

void HostDropFile(int window, const char* path) {
    if (!(runState & RS_FILES_ALLOWED)) return;
    if (!SetFileName(path)) return;
    SendCommand(window, IDM_OPEN_NAMED_FILE);
}

void OnAudioInputBufferFilled(int index) { OnInputBufferFilled(index); }

void OnAudioOutputBlockDone(int index) { OnOutputBlockDone(index); }
