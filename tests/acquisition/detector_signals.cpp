// Generated test signals for the detector.
#include "tests/acquisition/detector_signals.h"

#include <cmath>

double DetectorPulse(double t, double riseFrames, double decayFrames) {
    if (t < 0.0) return 0.0;
    // Peak of exp(-t/decay) - exp(-t/rise), for normalisation.
    double peakTime = std::log(decayFrames / riseFrames) * riseFrames * decayFrames / (decayFrames - riseFrames);
    double peak = std::exp(-peakTime / decayFrames) - std::exp(-peakTime / riseFrames);
    return (std::exp(-t / decayFrames) - std::exp(-t / riseFrames)) / peak;
}

void AddDetectorPulse(Signal& signal, double start, double amplitude, double riseFrames, double decayFrames) {
    int64_t first = static_cast<int64_t>(std::floor(start));
    if (first < 0) first = 0;
    int64_t last = first + static_cast<int64_t>(decayFrames * 20.0) + 2;
    for (int64_t f = first; f <= last && f < static_cast<int64_t>(signal.size()); ++f)
        signal[static_cast<size_t>(f)] += amplitude * DetectorPulse(static_cast<double>(f) - start, riseFrames, decayFrames);
}

void AddRectangle(Signal& signal, int64_t start, int64_t width, double amplitude) {
    for (int64_t f = start; f < start + width && f < static_cast<int64_t>(signal.size()); ++f)
        if (f >= 0) signal[static_cast<size_t>(f)] += amplitude;
}

void AddNoise(Signal& signal, double sd, uint32_t seed) {
    uint32_t state = seed * 2654435761u + 1u;
    for (double& value : signal) {
        // Sum of 12 uniforms minus 6: mean 0, standard deviation 1.
        double sum = 0.0;
        for (int i = 0; i < 12; ++i) {
            state = state * 1664525u + 1013904223u;
            sum += static_cast<double>(state >> 8) / 16777216.0;
        }
        value += (sum - 6.0) * sd;
    }
}

void QuantizeToWidth(Signal& signal, int bytesPerSample) {
    double step = std::ldexp(1.0, 32 - 8 * bytesPerSample);
    for (double& value : signal) {
        double q = std::nearbyint(value / step) * step;
        if (q < -2147483648.0) q = -2147483648.0;
        if (q > 2147483648.0 - step) q = 2147483648.0 - step;
        value = q;
    }
}

std::vector<uint8_t> PackBlock(const std::vector<Signal>& channels, int bytesPerSample) {
    size_t frames = channels.empty() ? 0 : channels[0].size();
    std::vector<uint8_t> bytes(frames * channels.size() * static_cast<size_t>(bytesPerSample));
    size_t at = 0;
    int shift = 32 - 8 * bytesPerSample;
    for (size_t f = 0; f < frames; ++f) {
        for (const Signal& channel : channels) {
            Signal one{channel[f]};
            QuantizeToWidth(one, bytesPerSample);
            auto word = static_cast<uint32_t>(static_cast<int32_t>(one[0]));
            word >>= shift;
            for (int i = 0; i < bytesPerSample; ++i) bytes[at++] = static_cast<uint8_t>(word >> (8 * i));
        }
    }
    return bytes;
}

double SampleValue(double value, int bytesPerSample) {
    Signal one{value};
    QuantizeToWidth(one, bytesPerSample);
    return one[0];
}
