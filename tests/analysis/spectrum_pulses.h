// Test helpers for the spectrum tests: bins and series of the height spectrum, and a generated
// spectrum of Gaussian peaks on a sloping background.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "acquisition/pulse_store.h"
#include "analysis/series.h"
#include "core/settings.h"
#include "tests/support/store_fill.h"

// The height in sample units at the middle of bin `bin` of channel c.
inline uint32_t HeightOfBin(int c, double bin) {
    return static_cast<uint32_t>((bin + 0.5) * static_cast<double>(workingParameters[c][FIELD_HEIGHT_BIN_SIZE]));
}

inline const double* RawHeight() { return seriesData[SERIES_HEIGHT]; }
inline const double* DisplayHeight() { return seriesData[SERIES_HEIGHT] + HISTOGRAM_LENGTH; }
inline const double* RawCorrelation() { return seriesData[SERIES_CORRELATION]; }

// One generating peak: centre and standard deviation in arb.u, number of pulses.
struct GeneratedPeak {
    double centre;
    double sd;
    int count;
};

// Heights (sample units) of Gaussian peaks whose widths follow the default calibration's width model
// (sd = sqrt(x / 23) arb.u), on a background that falls linearly from `backgroundStart` pulses per
// arb.u at 0 to `backgroundEnd` at 200 arb.u. Deterministic for a seed.
inline std::vector<uint32_t> GeneratePeakHeights(const std::vector<GeneratedPeak>& peaks, double backgroundStart,
                                                 double backgroundEnd, unsigned seed) {
    std::mt19937_64 random(seed);
    std::vector<uint32_t> heights;
    for (const GeneratedPeak& peak : peaks) {
        std::normal_distribution<double> spread(peak.centre, peak.sd);
        for (int i = 0; i < peak.count; ++i) {
            double x = spread(random);
            if (x > 0.0 && x < 200.0) heights.push_back(static_cast<uint32_t>(x * HEIGHT_SCALE));
        }
    }
    // Background density d(x) = s + (e - s) x / 200: inverse-transform sampling of the trapezoid.
    double total = (backgroundStart + backgroundEnd) * 0.5 * 200.0;
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double slope = (backgroundEnd - backgroundStart) / 200.0;
    for (int i = 0; i < static_cast<int>(total); ++i) {
        double area = unit(random) * total;
        double x = slope == 0.0 ? area / backgroundStart
                                : (-backgroundStart + std::sqrt(backgroundStart * backgroundStart + 2.0 * slope * area)) /
                                      slope;
        if (x > 0.0 && x < 200.0) heights.push_back(static_cast<uint32_t>(x * HEIGHT_SCALE));
    }
    std::shuffle(heights.begin(), heights.end(), random);
    return heights;
}
