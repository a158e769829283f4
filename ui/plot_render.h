// Painting of the seven plot windows through the canvas seam: the pulses view, the five histogram
// windows with legend, cursor, ROIs and Gaussian curve, the tick scales, and the Audio Input trace.
#pragma once

// Paints plot window 0-6 completely (nothing while a recompute runs). Windows 0-5 first bring their
// view state into line with the data (UpdateScrollBar) and rebuild their information text.
void PaintPlotWindow(int window);

void ResetPlotRenderState();
