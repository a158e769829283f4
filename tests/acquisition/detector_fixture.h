// Fixture of the detector tests: generated signals (detector-like and rectangular pulses, noise) packed
// into interleaved 16-, 24- or 32-bit blocks, a small pulse store, a live input format of choice.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "acquisition/audio_interface.h"
#include "acquisition/detector.h"
#include "acquisition/pulse_store.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "tests/support/test_support.h"

// One channel's signal: one value per frame in the 32-bit sample scale (full scale 2^31).
using Signal = std::vector<double>;

// Percent of full scale in sample units (the unit of the height settings).
constexpr double PercentOfFullScale(double percent) { return percent * 21474836.47; }

// A detector-like pulse of peak 1 from t = 0 on (in frames): the difference of a slow and a fast exponential.
inline double DetectorPulse(double t, double rise, double decay) {
    double peakTime = std::log(decay / rise) * rise * decay / (decay - rise);
    double peak = std::exp(-peakTime / decay) - std::exp(-peakTime / rise);
    return t < 0.0 ? 0.0 : (std::exp(-t / decay) - std::exp(-t / rise)) / peak;
}

inline void AddDetectorPulse(Signal& s, double start, double amplitude, double rise = 1.5, double decay = 6.0) {
    for (double f = std::fmax(0.0, std::floor(start)); f < static_cast<double>(s.size()) && f < start + 20 * decay; ++f)
        s[static_cast<size_t>(f)] += amplitude * DetectorPulse(f - start, rise, decay);
}

inline void AddRectangle(Signal& s, int64_t start, int64_t width, double amplitude) {
    for (int64_t f = std::max<int64_t>(start, 0); f < start + width && f < static_cast<int64_t>(s.size()); ++f)
        s[static_cast<size_t>(f)] += amplitude;
}

// Adds reproducible noise: a sum of 12 uniforms, approximately Gaussian with the given deviation.
inline void AddNoise(Signal& s, double sd, uint32_t seed) {
    uint32_t state = seed * 2654435761u + 1u;
    for (double& value : s) {
        double sum = -6.0;
        for (int i = 0; i < 12; ++i) sum += static_cast<double>((state = state * 1664525u + 1013904223u) >> 8) / 16777216.0;
        value += sum * sd;
    }
}

// The value a b-byte sample holds: rounded onto its grid (steps of 2^(32 - 8b)) within its range.
inline double SampleValue(double value, int b) {
    double step = std::ldexp(1.0, 32 - 8 * b);
    return std::fmin(std::fmax(std::nearbyint(value / step) * step, -2147483648.0), 2147483648.0 - step);
}

// Interleaves the channels into a block of b-byte little-endian samples. The vector holds exactly the
// block's bytes, so that a read outside it is caught by ASan.
inline std::vector<uint8_t> PackBlock(const std::vector<Signal>& channels, int b) {
    std::vector<uint8_t> bytes;
    for (size_t f = 0; !channels.empty() && f < channels[0].size(); ++f) {
        for (const Signal& channel : channels) {
            auto word = static_cast<uint32_t>(static_cast<int32_t>(SampleValue(channel[f], b))) >> (32 - 8 * b);
            for (int i = 0; i < b; ++i) bytes.push_back(static_cast<uint8_t>(word >> (8 * i)));
        }
    }
    return bytes;
}

// Records compare byte for byte.
inline bool operator==(const PulseRecord& a, const PulseRecord& b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

class DetectorTest : public TikTest {
public:
    // Whether the latest Detect reported a limit (its caller would then stop the capture).
    static inline bool limitReported = false;

protected:
    void SetUp() override {
        TikTest::SetUp();
        settings.channel[0].maxPulses = settings.channel[1].maxPulses = 1000;
        QuantizeSettings(true);
        AllocatePulseStore(true, false);
        UseLiveFormat(2, 2);
        runState |= RS_ACQUIRING;
    }

    // A live input of 1 or 2 channels and 2, 3 or 4 bytes per sample at 48000 Hz.
    static void UseLiveFormat(int channels, int bytesPerSample) {
        inputWaveFormat = BuildWaveFormat(0, channels == 2 ? 2 : settings.inputChannels, 1,
                                          static_cast<uint16_t>(bytesPerSample - 2));
    }

    // Changes one channel setting and re-derives the working parameters, as the dialog's Apply does.
    static void SetChannelField(int c, int field, double value) {
        ChannelFieldRef(settings.channel[c], field) = value;
        QuantizeSettings(false);
    }

    // Runs one pass and remembers whether it reported a limit.
    static void Detect(const std::vector<Signal>& channels, int bytesPerSample) {
        std::vector<uint8_t> block = PackBlock(channels, bytesPerSample);
        limitReported = DetectPulses(block.data(), static_cast<uint32_t>(block.size()));
    }

    // What Continue does to the detector before capturing again.
    static void ContinueCapture() {
        runState &= ~RS_LIMIT_REACHED;
        DropOpenPulses();
        ResetShapeHistory();
    }

    static const PulseRecord& Record(int c, uint32_t i) { return pulseStore[PulseIndex(c, i)]; }

    static std::vector<PulseRecord> Records(int c) {
        std::vector<PulseRecord> out;
        for (uint32_t i = 0; i < pulseCount[c]; ++i) out.push_back(Record(c, i));
        return out;
    }
};
