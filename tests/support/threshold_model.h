// A plain model of the threshold method, the reference the detector and the WAV replay are tested
// against: per block and channel the baseline is the mean of the gained samples on the far side of the
// block's mean from the pulses; a pulse runs while the gained sample (limited to full scale) minus the
// baseline, times the polarity, stays at or above the threshold. A right sample while both channels
// have a pulse open links the two. Limits end the capture. Gain, polarity, threshold and limits come
// from the settings.
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "acquisition/pulse_store.h"
#include "core/settings.h"

inline uint32_t ModelHeight(double d) {
    return d <= 0.0 ? 0 : d >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(d);
}

struct ThresholdModel {
    struct Channel {
        bool open = false;
        PulseRecord record{};
        std::vector<PulseRecord> closed;
    };
    Channel channel[2];
    int64_t clock = 0;
    bool stopped = false;

    static double Gain(int c) { return std::clamp(settings.channel[c].boostGain, 1.0, 100.0); }
    static double Sign(int c) { return settings.channel[c].minHeight < 0.0 ? -1.0 : 1.0; }
    static double Threshold(int c) { return static_cast<double>(workingParameters[c][FIELD_MIN_HEIGHT]) * Sign(c); }

    // A block of B-byte samples: each read as the 32-bit word that ends with its last byte.
    void Block(const std::vector<uint8_t>& bytes, int b, int n, const int slotChannel[2]) {
        std::vector<int32_t> words(bytes.size() / static_cast<size_t>(b));
        for (size_t k = 0; k < words.size(); ++k) {
            uint32_t word = 0;
            for (int i = 0; i < 4; ++i) {
                int64_t at = static_cast<int64_t>(k + 1) * b - 4 + i;
                if (at >= 0) word |= static_cast<uint32_t>(bytes[static_cast<size_t>(at)]) << (8 * i);
            }
            words[k] = static_cast<int32_t>(word);
        }
        if (stopped) return;
        double baseline[2] = {0.0, 0.0};
        size_t frames = words.size() / static_cast<size_t>(n);
        for (int slot = 0; slot < n; ++slot) {
            int c = slotChannel[slot];
            int64_t sum = 0;
            for (size_t f = 0; f < frames; ++f) sum += words[f * n + slot];
            double mean = frames ? static_cast<double>(sum) * Gain(c) / static_cast<double>(frames) : 0.0;
            double below = 0.0;
            int64_t count = 0;
            for (size_t f = 0; f < frames; ++f) {
                double v = words[f * n + slot] * Gain(c);
                if ((v - mean) * Sign(c) < 0.0) {
                    below += v;
                    ++count;
                }
            }
            baseline[c] = count ? below / static_cast<double>(count) : 0.0;
            stopped = stopped || channel[c].closed.size() >= settings.channel[c].maxPulses;
        }
        for (size_t k = 0; k < words.size() && !stopped; ++k) {
            int c = slotChannel[k % n];
            if (clock >= workingParameters[c][FIELD_ACQUISITION_TIME]) {
                stopped = true;
                break;
            }
            double v = std::clamp(words[k] * Gain(c), -2147483648.0, 2147483647.0);
            double d = (v - baseline[c]) * Sign(c);
            Channel& p = channel[c];
            if (!p.open && d >= Threshold(c)) {
                p.open = true;
                p.record = {clock, 1, ModelHeight(d), 0, 0};
            } else if (p.open && d < Threshold(c)) {
                p.open = false;
                p.closed.push_back(p.record);
                stopped = p.closed.size() >= settings.channel[c].maxPulses;
                if (stopped) break;
            } else if (p.open) {
                p.record.height = std::max(p.record.height, ModelHeight(d));
                ++p.record.width;
            }
            if (c == 1 && channel[0].open && channel[1].open) {
                channel[0].record.partner = static_cast<uint32_t>(channel[1].closed.size());
                channel[1].record.partner = static_cast<uint32_t>(channel[0].closed.size());
            }
            if (k % n == static_cast<size_t>(n - 1)) ++clock;
        }
    }
};
