// Recording implementations of the host entry points, linked into the Qt tests instead of the core.
#include <algorithm>

#include "platform/canvas.h"
#include "tests/qt/qt_fixture.h"
#include "ui/host_events.h"

namespace {
RecordingHost host;

void Record(HostCall::Kind kind, int window, int a = 0, int b = 0, int c = 0, int d = 0, int e = 0,
            const char* text = "") {
    host.calls.push_back({kind, window, a, b, c, d, e, IsKeyDown(VK_SHIFT), IsKeyDown(VK_CONTROL), text});
    if (host.reaction) host.reaction(HostCall(host.calls.back()));
}
}  // namespace

int RecordingHost::Count(HostCall::Kind kind) const {
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [&](const HostCall& c) { return c.kind == kind; }));
}

const HostCall* RecordingHost::Last(HostCall::Kind kind) const {
    auto it = std::find_if(calls.rbegin(), calls.rend(), [&](const HostCall& c) { return c.kind == kind; });
    return it == calls.rend() ? nullptr : &*it;
}

RecordingHost& Host() { return host; }
void ResetHost() { host = RecordingHost(); }

std::vector<int> LastCall(HostCall::Kind kind, size_t fields) {
    const HostCall* call = host.Last(kind);
    if (!call) return {};
    std::vector<int> all = {call->window, call->a, call->b, call->c, call->d, call->e};
    all.resize(fields);
    return all;
}
void HostPaint(int window) {
    Record(HostCall::PAINT, window);
    host.paint ? host.paint(window) : CanvasClear();
}
void HostSize(int window, int width, int height) { Record(HostCall::SIZE, window, width, height); }
void HostClose(int window) { Record(HostCall::CLOSE, window); }
void HostKeyDown(int window, int virtualKey) { Record(HostCall::KEY, window, virtualKey); }
void HostMouse(int window, int message, unsigned keys, int x, int y, int wheelDelta) {
    Record(HostCall::MOUSE, window, message, static_cast<int>(keys), x, y, wheelDelta);
}
void HostHorizontalScroll(int window, int code, int position) { Record(HostCall::SCROLL, window, code, position); }
void HostCommand(int window, int command) { Record(HostCall::COMMAND, window, command); }
void HostTimer(int timerId) { Record(HostCall::TIMER, -1, timerId); }
void HostDropFile(int window, const char* path) { Record(HostCall::DROP, window, 0, 0, 0, 0, 0, path ? path : ""); }
void OnAudioInputBufferFilled(int index) { Record(HostCall::INPUT_FILLED, -1, index); }
void OnAudioOutputBlockDone(int index) { Record(HostCall::OUTPUT_DONE, -1, index); }
