// The tick scale under the plots of windows 0-5: ticks every 60 pixels or more at values of the
// series 1, 2, 5 times a power of ten, labelled in axis units or in the calibrated quantity.
#include <cmath>
#include <cstdint>

#include "analysis/calibration.h"
#include "core/number_text.h"
#include "core/view_state.h"
#include "platform/canvas.h"
#include "ui/plot_internal.h"
#include "ui/plot_math.h"

namespace {
constexpr double TICK_SPACING_PIXELS = 60.0;
// Bounds the tick walk whatever the mapping does; an ordinary scale needs a few hundred ticks at most.
constexpr int64_t MAX_TICKS = 1000000;

struct TickWalk {
    int window;
    const PlotArea* area;
    double unit;
    double step;
    bool energy;
    int channel;
};

// Pixel position (before truncation) of tick k.
double TickPosition(const TickWalk& walk, int64_t k) {
    const ViewState& view = viewState[walk.window];
    double value = static_cast<double>(k) * walk.step;
    if (walk.energy) value = Calibrate(walk.channel, value, true);
    return (value / walk.unit - static_cast<double>(view.scrollPosition)) / view.zoom + 0.5;
}

int64_t FirstTick(const TickWalk& walk) {
    if (walk.energy) return 0;
    return TruncToInt64(static_cast<double>(viewState[walk.window].scrollPosition) * walk.unit / walk.step +
                        0.5);
}

// Walks the ticks that fall into the window, drawing them when `draw` is set. Returns false when the
// pixel positions stop being finite and strictly increasing, or the walk does not reach the right edge.
bool WalkTicks(const TickWalk& walk, bool draw) {
    const PlotArea& area = *walk.area;
    int64_t previous = INT64_MIN;
    char label[24];
    int64_t k = FirstTick(walk);
    for (int64_t n = 0; n < MAX_TICKS; ++n, ++k) {
        double position = TickPosition(walk, k);
        if (!std::isfinite(position)) return false;
        int64_t x = TruncToInt64(position);
        if (x <= previous) return false;
        previous = x;
        if (x < 0) continue;
        if (x >= area.width) return true;
        if (draw) {
            int pixel = static_cast<int>(x);
            CanvasMoveTo(pixel, area.plotBottom);
            CanvasLineTo(pixel, area.height);
            int length = FormatNumber(static_cast<double>(k) * walk.step, 4, 20, label, true);
            CanvasText(pixel + 2, area.plotBottom + 2, label, length);
        }
    }
    return false;
}
}  // namespace

double TickStep(double span) {
    double step = 0.001;
    while (span > step) {
        step *= 2.0;
        if (!(span > step)) break;
        step *= 2.5;
        if (!(span > step)) break;
        step *= 2.0;
    }
    return step;
}

void DrawTickScale(int window, const PlotArea& area, double unit, bool energyAxis, int channel) {
    const ViewState& view = viewState[window];
    if (!(unit > 0.0) || !std::isfinite(unit) || !(view.zoom > 0.0)) return;
    CanvasSelectPen(COLOR_BLACK);
    double span = view.zoom * TICK_SPACING_PIXELS * unit;
    TickWalk walk{window, &area, unit, 0.0, false, channel};
    if (energyAxis) {
        // The calibrated axis only when its ticks come out finite and in increasing order.
        walk.energy = true;
        walk.step = TickStep(span * originSlope[channel]);
        if (!std::isfinite(walk.step) || !WalkTicks(walk, false)) walk.energy = false;
    }
    if (!walk.energy) walk.step = TickStep(span);
    if (!std::isfinite(walk.step)) return;
    WalkTicks(walk, true);
}
