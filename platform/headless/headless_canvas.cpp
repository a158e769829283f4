// Headless canvas: records every drawing call with the pen and brush in effect.
#include <cstring>

#include "platform/canvas.h"
#include "platform/headless/headless.h"

namespace {
int currentPen = 6;
int currentBrush = 6;

void Record(CanvasCall::Kind kind, int a, int b, int c, int d, std::string text = std::string()) {
    Headless().canvasCalls.push_back({kind, a, b, c, d, currentPen, currentBrush, std::move(text)});
}
}  // namespace

void CanvasClientSize(int* width, int* height) { GetClientSize(Headless().paintWindow, width, height); }

void CanvasClear() { Record(CanvasCall::CLEAR, 0, 0, 0, 0); }

void CanvasSelectPen(int color) {
    currentPen = color;
    Record(CanvasCall::PEN, color, 0, 0, 0);
}

void CanvasSelectBrush(int color) {
    currentBrush = color;
    Record(CanvasCall::BRUSH, color, 0, 0, 0);
}

void CanvasMoveTo(int x, int y) { Record(CanvasCall::MOVE, x, y, 0, 0); }
void CanvasLineTo(int x, int y) { Record(CanvasCall::LINE, x, y, 0, 0); }

void CanvasFillRect(int left, int top, int right, int bottom) {
    Record(CanvasCall::RECT, left, top, right, bottom);
}

void CanvasEllipse(int left, int top, int right, int bottom) {
    Record(CanvasCall::ELLIPSE, left, top, right, bottom);
}

void CanvasText(int x, int y, const char* text, int length) {
    Record(CanvasCall::TEXT, x, y, 0, 0, std::string(text, text ? static_cast<size_t>(length) : 0));
}

// A fixed 7-pixel advance, close to the 14-pixel font of the desktop program.
int CanvasTextWidth(const char*, int length) { return 7 * length; }
