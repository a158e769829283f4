// The canvas seam: what painting a plot window may do. The host selects the window being painted;
// the Qt host draws into a back buffer, the headless host records every call.
#pragma once

// The seven drawing colours, index 0-6: red, green, blue, cyan, purple, yellow, black.
constexpr int CANVAS_COLOR_COUNT = 7;

void CanvasClientSize(int* width, int* height);
void CanvasClear();  // fills the client area with the window background (white)
void CanvasSelectPen(int color);
void CanvasSelectBrush(int color);
void CanvasMoveTo(int x, int y);
void CanvasLineTo(int x, int y);
// Fills [left, right) x [top, bottom) with the selected brush.
void CanvasFillRect(int left, int top, int right, int bottom);
void CanvasEllipse(int left, int top, int right, int bottom);
// Text (Windows-1252) with its top-left corner at (x, y), drawn in the 14-pixel font.
void CanvasText(int x, int y, const char* text, int length);
int CanvasTextWidth(const char* text, int length);
