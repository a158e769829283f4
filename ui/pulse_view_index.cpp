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

struct BlockSummary {
    int64_t start;
    uint32_t largest;
};

struct ChannelIndex {
    const PulseRecord* base = nullptr;  // the channel's first record when indexed
    uint32_t indexed = 0;               // pulses covered by level 0 (a multiple of FAN_OUT)
    Fingerprint probes[3]{};
    // Per level and block the time of its first pulse and its largest height, side by side: a search
    // for a column's end reads the entries that the column's largest height needs next.
    std::vector<BlockSummary> blocks[MAX_LEVELS];
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
    for (std::vector<BlockSummary>& level : index.blocks) {
        level.clear();
        level.reserve(entries);
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
    return channelIndex[channel].blocks[level][position].largest;
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
        index.blocks[0].push_back({Pulse(channel, first).time, top});
    }
    index.indexed = static_cast<uint32_t>(index.blocks[0].size() * FAN_OUT);
    for (int level = 1; level < MAX_LEVELS; ++level) {
        const std::vector<BlockSummary>& below = index.blocks[level - 1];
        std::vector<BlockSummary>& above = index.blocks[level];
        for (size_t first = above.size() * FAN_OUT; below.size() - first >= FAN_OUT; first += FAN_OUT) {
            uint32_t top = 0;
            for (size_t i = first; i < first + FAN_OUT; ++i) top = std::max(top, below[i].largest);
            above.push_back({below[first].start, top});
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
        if (level + 1 >= MAX_LEVELS || upperHigh >= index.blocks[level + 1].size()) {
            for (uint64_t i = low; i <= high; ++i) top = std::max(top, EntryHeight(channel, level, i));
            return top;
        }
        low /= FAN_OUT;
        high = upperHigh;
    }
}

void LastPulsesNotAfter(int channel, uint32_t first, uint32_t last, const int64_t* times, uint32_t* ends,
                        int count) {
    for (int i = 0; i < count; ++i) ends[i] = first;
    if (channel < 0 || channel > 1 || first >= last || count <= 0 || count > PULSE_SEARCH_BATCH) return;
    const ChannelIndex& index = channelIndex[channel];
    // Per search the answer lies in [low, high], and low is not after its time (or is `first`, when
    // none is). Each level narrows all searches before the next level is read, so the reads of the
    // different searches do not wait for one another.
    uint64_t low[PULSE_SEARCH_BATCH], high[PULSE_SEARCH_BATCH];
    for (int i = 0; i < count; ++i) {
        low[i] = first;
        high[i] = last;
    }
    for (int level = MAX_LEVELS - 1; level >= 0; --level) {
        const std::vector<BlockSummary>& start = index.blocks[level];
        if (start.empty()) continue;
        uint64_t size = BlockSize(level);
        auto startOf = [&start](uint64_t b) { return start[b].start; };
        for (int i = 0; i < count; ++i) {
            // The blocks that begin inside (low, high].
            uint64_t from = low[i] / size + 1;
            uint64_t to = std::min<uint64_t>(high[i] / size, start.size() - 1);
            uint64_t found = CountNotAfter(from, to, times[i], startOf);
            if (found > 0) low[i] = (from + found - 1) * size;
            if (from + found <= to) high[i] = (from + found) * size - 1;
        }
    }
    auto timeOf = [channel](uint64_t i) { return Pulse(channel, static_cast<uint32_t>(i)).time; };
    for (int i = 0; i < count; ++i)
        ends[i] = static_cast<uint32_t>(low[i] + CountNotAfter(low[i] + 1, high[i], times[i], timeOf));
}

uint32_t LastPulseNotAfter(int channel, uint32_t first, uint32_t last, int64_t time) {
    uint32_t end = first;
    LastPulsesNotAfter(channel, first, last, &time, &end, 1);
    return end;
}

void ResetPulseViewIndex() {
    for (ChannelIndex& index : channelIndex) {
        index.base = nullptr;
        index.indexed = 0;
        for (std::vector<BlockSummary>& level : index.blocks) level.clear();
    }
}
