// The pulse-height spectrum: histogram of heights with distortion correction, background
// subtraction, sum quantity and Gaussian correlation (series 4 and 5), and the stored background.
#pragma once
#include <cstdint>

constexpr int32_t HEIGHT_BINS = 32768;

// Selected pulses of the analysed channel per height bin; bin i spans [i, i + 1) x heightBinSize.
extern double heightCounts[HEIGHT_BINS];

// Background per bin and channel in counts per sample of acquisition time (set only by
// SetDataAsBackground; all zero when there is none). Subtracting it scales it by the time the
// spectrum covers: the analysed window within the acquisition.
extern double backgroundSpectrum[2][HEIGHT_BINS];

// Height bin of a pulse of `channel`: its height raised by `correction` percent per unit of relative
// distortion, divided by the channel's height bin and truncated; heights beyond the last bin count in
// bin 32767.
int32_t PulseHeightBin(int channel, uint32_t height, uint32_t distortion);

// Builds heightCounts and series 4 (counts, or summed quantity, after background subtraction) in full
// or from the pulses of the latest detector pass; unless countsOnly, also series 5 (the Gaussian
// correlation, when the channel's kernels are valid and the correlation is switched on) and the
// display halves of both. Maintains dataLength[WND_HEIGHT], entryCount[4] and RS_HEIGHT_CHANGED.
void BuildHeightSpectrum(bool incremental, bool countsOnly);

// BuildHeightSpectrum(false, true) over the analysed channel's pulses first to end - 1 only. When
// every pulse of the analysed time window lies in that range (the store is in time order), the
// result is that of the full build at a fraction of the cost.
void BuildHeightSpectrumCounts(uint32_t first, uint32_t end);

// Stores the current spectra of both channels (selected pulses per bin, divided by the samples of
// the channel's analysed window within the acquisition, i.e. by sampleClock with the default window)
// as the background; a channel without such time (sampleClock 0) gets an empty background.
void SetDataAsBackground();

void ResetHeightSpectrumState();
