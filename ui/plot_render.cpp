// Painting of the plot windows: the common frame (background, plot area, scroll bar, legend with its
// information text, tick scale) around the drawing of the single windows.
#include "ui/plot_render.h"

#include <cstring>

#include "analysis/selection.h"
#include "core/number_text.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "platform/canvas.h"
#include "ui/commands.h"
#include "ui/navigation.h"
#include "ui/plot_internal.h"
#include "ui/pulse_view_index.h"

namespace {
// Top and bottom margins of the plot area per window.
constexpr int MARGIN_TOP[7] = {20, 20, 20, 20, 20, 20, 0};
constexpr int MARGIN_BOTTOM[7] = {20, 20, 20, 20, 20, 20, 0};

Legend legend;

// Appends up to `length` characters to the information text, keeping room for the terminator.
void AppendInformation(char* text, int& used, const char* source, int length) {
    for (int i = 0; i < length && used < INFORMATION_TEXT_SIZE - 1; ++i) text[used++] = source[i];
}

// Line 1: every label joined by a tab, ended by CR LF; line 2: every value joined by a tab and a
// blank. At most 259 characters; the rest is cut.
void WriteInformationText(int window, const Legend& source) {
    char* text = informationText[window];
    int used = 0;
    for (int pass = 0; pass < 2; ++pass) {
        bool first = true;
        for (int i = pass; i < source.pieceCount; i += 2) {
            int start = i == 0 ? 0 : source.pieceEnd[i - 1];
            if (!first) AppendInformation(text, used, pass == 0 ? "\t" : "\t ", pass == 0 ? 1 : 2);
            AppendInformation(text, used, source.text + start, source.pieceEnd[i] - start);
            first = false;
        }
        if (pass == 0) AppendInformation(text, used, "\r\n", 2);
    }
    text[used] = '\0';
}
}  // namespace

void BeginLegend(Legend& target) {
    target.length = 0;
    target.pieceCount = 0;
    target.text[0] = '\0';
}

void AddLegendLabel(Legend& target, const char* text, int length) {
    if (length < 0) length = static_cast<int>(std::strlen(text));
    if (target.pieceCount >= LEGEND_MAX_PIECES || target.length + length >= LEGEND_CAPACITY) return;
    std::memcpy(target.text + target.length, text, static_cast<size_t>(length));
    target.length += length;
    target.text[target.length] = '\0';
    target.pieceEnd[target.pieceCount++] = target.length;
}

void AddLegendValue(Legend& target, double value, int decimals, bool trim) {
    constexpr int MAX_NUMBER = 20;
    if (target.pieceCount >= LEGEND_MAX_PIECES || target.length + MAX_NUMBER >= LEGEND_CAPACITY) return;
    target.length += FormatNumber(value, decimals, MAX_NUMBER, target.text + target.length, trim);
    target.pieceEnd[target.pieceCount++] = target.length;
}

void PaintPlotWindow(int window) {
    if (window < WND_PULSES || window > WND_AUDIO_INPUT) return;
    if (runState & RS_RECOMPUTING) return;
    PlotArea area{};
    CanvasClientSize(&area.width, &area.height);
    if (area.width < 0) area.width = 0;
    if (area.height < 0) area.height = 0;
    CanvasClear();
    area.plotTop = MARGIN_TOP[window];
    area.plotBottom = area.height - MARGIN_BOTTOM[window];
    area.plotHeight = area.plotBottom - area.plotTop;
    if (window == WND_AUDIO_INPUT) {
        DrawAudioInput(area);
        return;
    }

    UpdateScrollBar(window);
    CanvasSelectPen(COLOR_BLACK);
    CanvasSelectBrush(COLOR_BLACK);
    BeginLegend(legend);
    double axisUnit = 0.0;
    bool energyAxis = false;
    if (window == WND_PULSES) {
        DrawPulsesView(area, legend);
        axisUnit = dataSampleRate > 0 ? 1.0 / dataSampleRate : 0.0;
    } else {
        DrawHistogramWindow(window, area, legend, &axisUnit, &energyAxis);
    }
    WriteInformationText(window, legend);
    CanvasText(2, 2, legend.text, legend.length);
    DrawTickScale(window, area, axisUnit, energyAxis, AnalysedChannel());
}

void ResetPlotRenderState() {
    ResetPulseViewIndex();
}
