// Block summaries of the stored pulses: level 0 holds the largest height and the first time of every
// complete block of 16 pulses, level l + 1 the same of every complete group of 16 level-l blocks.
// Searches and maxima then read at most a few dozen neighbouring entries per level, so their cost
// does not grow with the number of pulses they span.
#include "ui/pulse_view_index.h"

#include <algorithm>
#include <vector>

#include "acquisition/pulse_store.h"

namespace {
constexpr uint64_t FAN_OUT = 16;
constexpr int MAX_LEVELS = 8;  // 16^8 pulses exceed any store
// Ranges up to this many entries are read in one pass (independent loads), longer ones bisected.
constexpr uint64_t LINEAR_RANGE = 64;

// A few records whose time and height tell whether the indexed pulses are still those in the store.
struct Fingerprint {
    int64_t time;
    uint32_t height;
};

struct ChannelIndex {
    const PulseRecord* base = nullptr;  // the channel's first record when indexed
    uint32_t indexed = 0;               // pulses covered by level 0 (a multiple of FAN_OUT)
    Fingerprint probes[3]{};
    std::vector<uint32_t> largest[MAX_LEVELS];  // largest height of each block
    std::vector<int64_t> start[MAX_LEVELS];     // time of the first pulse of each block
};

ChannelIndex channelIndex[2];

uint64_t BlockSize(int level) {
    uint64_t size = FAN_OUT;
    for (int l = 0; l < level; ++l) size *= FAN_OUT;
    return size;
}

uint32_t ProbePosition(uint32_t indexed, int k) {
    return k == 0 ? 0 : (k == 1 ? indexed / 2 : indexed - 1);
}

bool StillMatches(const ChannelIndex& index, int channel) {
    if (index.indexed == 0) return true;
    for (int k = 0; k < 3; ++k) {
        const PulseRecord& pulse = Pulse(channel, ProbePosition(index.indexed, k));
        if (pulse.time != index.probes[k].time || pulse.height != index.probes[k].height) return false;
    }
    return true;
}

void Clear(ChannelIndex& index, int channel) {
    index.base = pulseStore ? &Pulse(channel, 0) : nullptr;
    index.indexed = 0;
    // Room for the whole capacity at once, so that a growing store is not indexed by reallocations.
    size_t entries = pulseStore ? pulseCapacity[channel] / FAN_OUT : 0;
    for (int level = 0; level < MAX_LEVELS; ++level) {
        index.largest[level].clear();
        index.start[level].clear();
        index.largest[level].reserve(entries);
        index.start[level].reserve(entries);
        entries /= FAN_OUT;
    }
}

// Number of entries in [from, to] whose time is not after `time` (the times ascend).
template <typename TimeOf>
uint64_t CountNotAfter(uint64_t from, uint64_t to, int64_t time, TimeOf timeOf) {
    if (from > to) return 0;
    if (to - from < LINEAR_RANGE) {
        uint64_t count = 0;
        for (uint64_t i = from; i <= to; ++i) count += timeOf(i) <= time ? 1 : 0;
        return count;
    }
    uint64_t low = from, high = to + 1;  // first entry after `time` lies in [low, high]
    while (low < high) {
        uint64_t middle = low + (high - low) / 2;
        if (timeOf(middle) <= time)
            low = middle + 1;
        else
            high = middle;
    }
    return low - from;
}

uint32_t EntryHeight(int channel, int level, uint64_t position) {
    if (level < 0) return Pulse(channel, static_cast<uint32_t>(position)).height;
    return channelIndex[channel].largest[level][position];
}
}  // namespace

void RefreshPulseViewIndex(int channel) {
    if (channel < 0 || channel > 1) return;
    ChannelIndex& index = channelIndex[channel];
    const PulseRecord* base = pulseStore ? &Pulse(channel, 0) : nullptr;
    uint32_t count = pulseStore ? pulseCount[channel] : 0;
    if (base != index.base || count < index.indexed || !StillMatches(index, channel)) Clear(index, channel);
    if (!base) return;

    for (uint32_t first = index.indexed; count - first >= FAN_OUT; first += FAN_OUT) {
        uint32_t top = 0;
        for (uint32_t i = first; i < first + FAN_OUT; ++i) top = std::max(top, Pulse(channel, i).height);
        index.largest[0].push_back(top);
        index.start[0].push_back(Pulse(channel, first).time);
    }
    index.indexed = static_cast<uint32_t>(index.largest[0].size() * FAN_OUT);
    for (int level = 1; level < MAX_LEVELS; ++level) {
        const std::vector<uint32_t>& below = index.largest[level - 1];
        std::vector<uint32_t>& above = index.largest[level];
        for (size_t first = above.size() * FAN_OUT; below.size() - first >= FAN_OUT; first += FAN_OUT) {
            above.push_back(*std::max_element(below.begin() + static_cast<ptrdiff_t>(first),
                                              below.begin() + static_cast<ptrdiff_t>(first + FAN_OUT)));
            index.start[level].push_back(index.start[level - 1][first]);
        }
    }
    for (int k = 0; k < 3 && index.indexed > 0; ++k) {
        const PulseRecord& pulse = Pulse(channel, ProbePosition(index.indexed, k));
        index.probes[k] = {pulse.time, pulse.height};
    }
}

uint32_t MaxPulseHeight(int channel, uint32_t first, uint32_t last) {
    if (channel < 0 || channel > 1 || first > last || last >= pulseCount[channel]) return 0;
    const ChannelIndex& index = channelIndex[channel];
    uint32_t top = 0;
    uint64_t low = first, high = last;
    for (int level = -1;; ++level) {
        // Single entries at both ends until [low, high] is made of whole blocks of the next level.
        while (low <= high && low % FAN_OUT != 0) top = std::max(top, EntryHeight(channel, level, low++));
        while (low <= high && high % FAN_OUT != FAN_OUT - 1) {
            top = std::max(top, EntryHeight(channel, level, high));
            if (high == low) return top;
            --high;
        }
        if (low > high) return top;
        uint64_t upperHigh = high / FAN_OUT;
        if (level + 1 >= MAX_LEVELS || upperHigh >= index.largest[level + 1].size()) {
            for (uint64_t i = low; i <= high; ++i) top = std::max(top, EntryHeight(channel, level, i));
            return top;
        }
        low /= FAN_OUT;
        high = upperHigh;
    }
}

uint32_t LastPulseNotAfter(int channel, uint32_t first, uint32_t last, int64_t time) {
    if (channel < 0 || channel > 1 || first >= last) return first;
    const ChannelIndex& index = channelIndex[channel];
    // The answer lies in [low, high], and low is not after `time` (or is `first`, when none is).
    uint64_t low = first, high = last;
    for (int level = MAX_LEVELS - 1; level >= 0; --level) {
        const std::vector<int64_t>& start = index.start[level];
        if (start.empty()) continue;
        uint64_t size = BlockSize(level);
        // The blocks that begin inside (low, high].
        uint64_t from = low / size + 1;
        uint64_t to = std::min<uint64_t>(high / size, start.size() - 1);
        uint64_t count = CountNotAfter(from, to, time, [&start](uint64_t b) { return start[b]; });
        if (count > 0) low = (from + count - 1) * size;
        if (from + count <= to) high = (from + count) * size - 1;
    }
    uint64_t count = CountNotAfter(
        low + 1, high, time, [channel](uint64_t i) { return Pulse(channel, static_cast<uint32_t>(i)).time; });
    return static_cast<uint32_t>(low + count);
}

void ResetPulseViewIndex() {
    for (ChannelIndex& index : channelIndex) {
        index.base = nullptr;
        index.indexed = 0;
        for (int level = 0; level < MAX_LEVELS; ++level) {
            index.largest[level].clear();
            index.start[level].clear();
        }
    }
}
