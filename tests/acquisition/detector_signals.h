// Generated test signals for the detector: pulse trains of a detector-like shape, rectangular
// pulses and noise in the 32-bit sample scale, packed into interleaved 16-, 24- or 32-bit blocks.
#pragma once
#include <cstdint>
#include <vector>

// One channel's signal: one value per frame in the 32-bit sample scale (full scale 2^31).
using Signal = std::vector<double>;

// Percent of full scale in sample units (the unit of the height settings).
constexpr double PercentOfFullScale(double percent) { return percent * 21474836.47; }

// A detector-like pulse, peak-normalised: difference of a slow and a fast exponential, starting at
// t = 0 (in frames; 0 before).
double DetectorPulse(double t, double riseFrames, double decayFrames);

// Adds a detector-like pulse starting at frame `start` (fractional) with the given peak amplitude.
void AddDetectorPulse(Signal& signal, double start, double amplitude, double riseFrames = 1.5,
                      double decayFrames = 6.0);

// Adds a rectangular pulse of `width` frames from frame `start`.
void AddRectangle(Signal& signal, int64_t start, int64_t width, double amplitude);

// Adds reproducible noise (approximately Gaussian, the given standard deviation).
void AddNoise(Signal& signal, double sd, uint32_t seed);

// Rounds every value onto the grid of b-byte samples (steps of 2^(32 - 8b)), limited to its range.
void QuantizeToWidth(Signal& signal, int bytesPerSample);

// Interleaves the channels into a block of b-byte little-endian samples (all channels as long as the
// first). The vector holds exactly the block's bytes, so a read outside it is caught by ASan.
std::vector<uint8_t> PackBlock(const std::vector<Signal>& channels, int bytesPerSample);

// The value the detector reads for each value of a packed block: the sample standing in the top
// bytes of the 32-bit word (without the low-order bytes that belong to the previous sample).
double SampleValue(double value, int bytesPerSample);
