// Test helpers for the histogram and selection tests: plot windows shown or hidden, and generated
// pulse streams fed whole or buffer by buffer.
#pragma once
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "acquisition/pulse_store.h"
#include "tests/support/store_fill.h"
#include "core/settings.h"
#include "platform/headless/headless.h"

inline void ShowAllWindows(bool visible = true) {
    for (HeadlessWindow& w : Headless().windows) {
        w.created = true;
        w.visible = visible;
    }
}

// One pulse of a generated recording; `link` is the position in the stream of its coincident partner
// (in the other channel), or -1.
struct StreamPulse {
    int channel;
    int64_t time;
    uint32_t width, height, distortion;
    int link;
};

// A recording of both channels: Poisson arrivals at about `ratePerSecond` per channel at 48 kHz over
// `seconds`, a share of them coincident (same frame in both channels), with random widths, heights
// and distortions.
inline std::vector<StreamPulse> GenerateStream(unsigned seed, double seconds, double ratePerSecond,
                                               double coincidentShare) {
    std::mt19937_64 random(seed);
    std::exponential_distribution<double> gap(ratePerSecond / 48000.0);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<uint32_t> width(1, 200);
    std::uniform_int_distribution<uint32_t> height(1000000, 2000000000);
    std::uniform_int_distribution<uint32_t> distortion(0, 400000000);
    std::vector<StreamPulse> stream;
    double end = seconds * 48000.0;
    double t = 0.0;
    int64_t lastTime[2] = {-1, -1};
    while (true) {
        t += gap(random) + 1.0;
        if (t >= end) break;
        int64_t frame = static_cast<int64_t>(t);
        double kind = unit(random);
        if (kind < coincidentShare) {
            if (frame <= lastTime[0] || frame <= lastTime[1]) continue;
            int left = static_cast<int>(stream.size());
            stream.push_back({0, frame, width(random), height(random), distortion(random), left + 1});
            stream.push_back({1, frame, width(random), height(random), distortion(random), left});
            lastTime[0] = lastTime[1] = frame;
        } else {
            int c = kind < coincidentShare + (1.0 - coincidentShare) / 2 ? 0 : 1;
            if (frame <= lastTime[c]) continue;
            stream.push_back({c, frame, width(random), height(random), distortion(random), -1});
            lastTime[c] = frame;
        }
    }
    return stream;
}

// Stores the pulses of `stream` with time in [from, to) and advances the sample clock to `to`, as one
// detector pass does (bufferFirstPulse marks the start of the pass). Partners get their store index;
// both ends of a coincident pair are stored in the same pass.
inline void StorePass(const std::vector<StreamPulse>& stream, std::vector<uint32_t>& indexOf, size_t& next,
                      int64_t to) {
    bufferFirstPulse[0] = pulseCount[0];
    bufferFirstPulse[1] = pulseCount[1];
    size_t first = next;
    while (next < stream.size() && stream[next].time < to) {
        const StreamPulse& p = stream[next];
        indexOf[next] = AddPulse(p.channel, p.time, p.width, p.height, p.distortion, 0);
        ++next;
    }
    for (size_t i = first; i < next; ++i)
        if (stream[i].link >= 0) Pulse(stream[i].channel, indexOf[i]).partner = indexOf[stream[i].link];
    sampleClock = to;
}
