// The canvas seam on QPainter: seven pens and brushes, lines without their last pixel, filled
// rectangles, ellipses and opaque text in the condensed plot font, drawn into a window's back buffer.
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "platform/canvas.h"
#include "platform/qt/qt_platform.h"
#include "ui/host_events.h"

namespace {

const QColor COLORS[CANVAS_COLOR_COUNT] = {QColor(192, 0, 0),   QColor(0, 192, 0),   QColor(0, 0, 192),
                                           QColor(0, 192, 192), QColor(176, 0, 192), QColor(224, 208, 0),
                                           QColor(0, 0, 0)};

// Far beyond any window, small enough for the rasteriser's fixed-point arithmetic.
constexpr int COORDINATE_LIMIT = 1000000;

// What each window's drawing context keeps between paints, as a window's own device context does.
struct CanvasState {
    int pen = 6;
    int brush = 6;
    QPoint position;
};

CanvasState states[7];
QPainter* painter = nullptr;
int current = -1;
int clientWidth = 0, clientHeight = 0;

int Clamp(int value) { return std::clamp(value, -COORDINATE_LIMIT, COORDINATE_LIMIT); }

CanvasState* State() { return painter && current >= 0 && current < 7 ? &states[current] : nullptr; }

// One-pixel lines with flat caps: a line covers its start point but not its end point.
void ApplyPen(const CanvasState& state) {
    QPen pen(COLORS[state.pen]);
    pen.setCosmetic(true);
    pen.setWidth(1);
    pen.setCapStyle(Qt::FlatCap);
    painter->setPen(pen);
}

}  // namespace

const QFont& PlotFont() {
    // The legends were laid out for narrow fonts of about 5.5 pixels per character in a 14-pixel
    // cell; a face of normal width cuts the longest ones (the height window's region values) in an
    // 800-pixel window. DejaVu Sans Condensed at 11 pixels is that narrow and stays readable; where
    // it is missing, the nearest condensed sans-serif face stands in.
    static const QFont font = [] {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setStyleHint(QFont::SansSerif);
        f.setStretch(QFont::SemiCondensed);
        f.setPixelSize(11);
        return f;
    }();
    return font;
}

namespace {
const QFontMetrics& PlotMetrics() {
    static const QFontMetrics metrics(PlotFont());
    return metrics;
}
}  // namespace

void BeginCanvas(int window, QPainter* target, int width, int height) {
    painter = target;
    current = window;
    clientWidth = width;
    clientHeight = height;
    if (CanvasState* state = State()) {
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setFont(PlotFont());
        ApplyPen(*state);
    }
}

void EndCanvas() {
    painter = nullptr;
    current = -1;
    clientWidth = clientHeight = 0;
}

void PaintPlotWindowInto(int window, QImage& image, QSize clientSize) {
    QPainter target(&image);
    BeginCanvas(window, &target, clientSize.width(), clientSize.height());
    HostPaint(window);
    EndCanvas();
}

void CanvasClientSize(int* width, int* height) {
    if (width) *width = clientWidth;
    if (height) *height = clientHeight;
}

void CanvasClear() {
    if (State()) painter->fillRect(0, 0, clientWidth, clientHeight, Qt::white);
}

void CanvasSelectPen(int color) {
    CanvasState* state = State();
    if (!state || color < 0 || color >= CANVAS_COLOR_COUNT) return;
    state->pen = color;
    ApplyPen(*state);
}

void CanvasSelectBrush(int color) {
    CanvasState* state = State();
    if (state && color >= 0 && color < CANVAS_COLOR_COUNT) state->brush = color;
}

void CanvasMoveTo(int x, int y) {
    if (CanvasState* state = State()) state->position = QPoint(Clamp(x), Clamp(y));
}

void CanvasLineTo(int x, int y) {
    CanvasState* state = State();
    if (!state) return;
    QPoint from = state->position, to(Clamp(x), Clamp(y));
    state->position = to;
    if (from != to) painter->drawLine(from, to);
}

void CanvasFillRect(int left, int top, int right, int bottom) {
    if (!State()) return;
    int x0 = Clamp(std::min(left, right)), x1 = Clamp(std::max(left, right));
    int y0 = Clamp(std::min(top, bottom)), y1 = Clamp(std::max(top, bottom));
    if (x1 > x0 && y1 > y0) painter->fillRect(QRect(x0, y0, x1 - x0, y1 - y0), COLORS[states[current].brush]);
}

void CanvasEllipse(int left, int top, int right, int bottom) {
    CanvasState* state = State();
    if (!state) return;
    int x0 = Clamp(std::min(left, right)), x1 = Clamp(std::max(left, right));
    int y0 = Clamp(std::min(top, bottom)), y1 = Clamp(std::max(top, bottom));
    if (x1 - x0 < 2 || y1 - y0 < 2) return;
    painter->setBrush(COLORS[state->brush]);
    painter->drawEllipse(QRect(x0, y0, x1 - x0 - 1, y1 - y0 - 1));
    painter->setBrush(Qt::NoBrush);
}

void CanvasText(int x, int y, const char* text, int length) {
    CanvasState* state = State();
    if (!state || !text || length <= 0) return;
    QString line = AnsiToQString(text, length);
    const QFontMetrics& metrics = PlotMetrics();
    // Black text on an opaque white cell, the defaults of a fresh drawing context.
    painter->fillRect(QRect(Clamp(x), Clamp(y), metrics.horizontalAdvance(line), metrics.height()), Qt::white);
    painter->setPen(Qt::black);
    painter->drawText(QPoint(Clamp(x), Clamp(y) + metrics.ascent()), line);
    ApplyPen(*state);
}

int CanvasTextWidth(const char* text, int length) {
    if (!text || length <= 0) return 0;
    return PlotMetrics().horizontalAdvance(AnsiToQString(text, length));
}
