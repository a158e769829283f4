// Shared pieces of the plot painting: the plot area of a window, the legend being built (pieces that
// alternate label and value), and the drawing steps of the single windows and of the tick scale.
#pragma once
#include <cstdint>

// Drawing colours (pen and brush indices of the canvas).
constexpr int COLOR_RED = 0;
constexpr int COLOR_GREEN = 1;
constexpr int COLOR_BLUE = 2;
constexpr int COLOR_YELLOW = 5;
constexpr int COLOR_BLACK = 6;

struct PlotArea {
    int width;       // client width
    int height;      // client height
    int plotTop;     // client top + top margin
    int plotBottom;  // client bottom - bottom margin
    int plotHeight;  // plotBottom - plotTop
};

constexpr int LEGEND_CAPACITY = 4096;
constexpr int LEGEND_MAX_PIECES = 512;

// A legend: pieces alternate label, value, label, value; pieceEnd[i] is where piece i ends in text.
// Pieces that no longer fit are dropped whole.
struct Legend {
    char text[LEGEND_CAPACITY];
    int length;
    int pieceEnd[LEGEND_MAX_PIECES];
    int pieceCount;
};

void BeginLegend(Legend& legend);
// A label piece (at most `length` characters of text; -1 for the whole terminated text).
void AddLegendLabel(Legend& legend, const char* text, int length = -1);
// A value piece formatted with FormatNumber (20 characters at most).
void AddLegendValue(Legend& legend, double value, int decimals, bool trim);

// Draws the pulses of the displayed channel and builds window 0's legend.
void DrawPulsesView(const PlotArea& area, Legend& legend);

// Draws the histogram of window 1-5 (bars, cursor, ROIs, Gaussian curve) and builds its legend.
// Tells the tick scale its axis unit per bin and whether the calibrated energy axis is used.
void DrawHistogramWindow(int window, const PlotArea& area, Legend& legend, double* axisUnit,
                         bool* energyAxis);

// Draws the Audio Input window: both threshold lines and the traces of the chosen input channels.
void DrawAudioInput(const PlotArea& area);

// Draws the tick marks and labels under the plot of window 0-5; `unit` is the axis unit per data unit.
// With the energy axis the ticks are values of the calibrated quantity of `channel`; when that mapping
// is not usable (not finite or not increasing), the plain axis is drawn instead.
void DrawTickScale(int window, const PlotArea& area, double unit, bool energyAxis, int channel);

// The first value of the series 0.001, 0.002, 0.005, 0.01, ... that is not below span.
double TickStep(double span);
