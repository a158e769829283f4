// The host entry points as the Qt tests see them: every call the window side makes into the program
// is recorded in order; painting runs a drawing the test chooses.
#pragma once
#include <functional>
#include <string>
#include <vector>

struct HostCall {
    enum Kind { PAINT, SIZE, CLOSE, KEY, MOUSE, SCROLL, COMMAND, TIMER, DROP, INPUT_FILLED, OUTPUT_DONE } kind;
    int window;
    int a, b, c, d;          // key code; mouse message, keys, x, y; scroll code, position; size; id
    int e;                   // mouse wheel delta
    bool shiftDown, controlDown;  // IsKeyDown(VK_SHIFT / VK_CONTROL) during the call
    std::string text;        // dropped path
};

struct RecordingHost {
    std::vector<HostCall> calls;
    // Runs inside HostPaint; the default clears the client area.
    std::function<void(int window)> paint;
    // Runs inside the scroll, audio and timer entry points after recording, when set.
    std::function<void(const HostCall&)> reaction;

    int Count(HostCall::Kind kind) const;
    const HostCall* Last(HostCall::Kind kind) const;
};

RecordingHost& Host();
void ResetHost();
// The window and the first `fields - 1` numbers of the last call of `kind`; empty when there was none.
std::vector<int> LastCall(HostCall::Kind kind, size_t fields = 2);
