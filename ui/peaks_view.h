// The "Peaks and Nuclides" dialog (the peak table per channel, nuclide candidates, counting
// statistics, Copy as tab-separated text) and the peak labels of the pulse height window.
#pragma once

#include "ui/plot_internal.h"

// Opens the dialog without owner (the plot windows stay usable), or brings it to the top.
void OpenPeaksDialog();

// Whether the height window labels its peaks (energy or height and best nuclide); key N toggles.
extern bool peakLabelsShown;

// Draws a short mark and a label above each peak of the channel found in the data in memory. The
// peaks are searched again when the data or the settings changed since the last search, but not
// while a capture runs (the labels are then left out).
void DrawPeakLabels(int channel, const PlotArea& area);

void ResetPeaksView();
