// The pulse-height spectrum: histogram of heights with distortion correction, background
// subtraction, sum quantity and Gaussian correlation (series 4 and 5), and the stored background.
#pragma once

// Builds series 4 (and, unless countsOnly, its Gaussian correlation, series 5) in full or from the
// pulses of the latest detector pass.
void BuildHeightSpectrum(bool incremental, bool countsOnly);

void ResetHeightSpectrumState();
