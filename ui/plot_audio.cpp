// The Audio Input window (6): the latest input samples of the chosen channels as an oscilloscope trace
// around the trigger, with the detection threshold of each channel.
#include <cstdint>

#include "acquisition/detector.h"
#include "core/settings.h"
#include "platform/canvas.h"
#include "ui/plot_internal.h"
#include "ui/plot_math.h"

namespace {
constexpr double FULL_SCALE = 2147483647.0;
constexpr int THRESHOLD_COLOR[2] = {COLOR_YELLOW, COLOR_BLUE};
constexpr int DOT_SIZE = 5;
}  // namespace

void DrawAudioInput(const PlotArea& area) {
    int centre = (area.plotTop + area.plotBottom) / 2;
    double fullHeight = area.plotHeight;
    for (int c = 0; c < 2; ++c) {
        int64_t offset = TruncToInt64(
            fullHeight * static_cast<double>(workingParameters[c][FIELD_MIN_HEIGHT]) / FULL_SCALE);
        int y = ToPixel(centre - static_cast<double>(offset / 2));
        CanvasSelectPen(THRESHOLD_COLOR[c]);
        CanvasMoveTo(0, y);
        CanvasLineTo(area.width, y);
    }
    for (int c = 0; c < 2; ++c) {
        if (settings.inputChannels != static_cast<uint32_t>(c) && settings.inputChannels != 2) continue;
        CanvasSelectPen(c == 0 ? COLOR_RED : COLOR_GREEN);
        CanvasSelectBrush(c == 0 ? COLOR_RED : COLOR_GREEN);
        for (int j = 0; j < INPUT_RING_LENGTH; ++j) {
            // The ring position as a non-negative remainder, whatever the trigger holds.
            int64_t position =
                (static_cast<int64_t>(snapshotTrigger) + j - SNAPSHOT_PRE_TRIGGER) % INPUT_RING_LENGTH;
            if (position < 0) position += INPUT_RING_LENGTH;
            double sample = inputSnapshot[c][position];
            int x = static_cast<int>(static_cast<int64_t>(j) * area.width / INPUT_RING_LENGTH);
            int y = ToPixel(centre - fullHeight * sample / FULL_SCALE * 0.5);
            if (j == 0) CanvasMoveTo(0, y);
            CanvasLineTo(x + 2, y + 2);
            CanvasEllipse(x, y, x + DOT_SIZE, y + DOT_SIZE);
        }
    }
}
