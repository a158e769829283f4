// Filling the pulse store directly with records, as an acquisition leaves it.
#include "tests/support/store_fill.h"

#include <gtest/gtest.h>

#include "core/run_state.h"
#include "core/settings.h"

void MakeStore(uint32_t perChannel) {
    settings.channel[0].maxPulses = perChannel;
    settings.channel[1].maxPulses = perChannel;
    ASSERT_TRUE(AllocatePulseStore(true, false));
    pulseCount[0] = pulseCount[1] = 0;
    bufferFirstPulse[0] = bufferFirstPulse[1] = 0;
    sampleClock = 0;
}

uint32_t AddPulse(int c, int64_t time, uint32_t width, uint32_t height, uint32_t distortion, uint32_t partner) {
    uint32_t index = pulseCount[c]++;
    Pulse(c, index) = PulseRecord{time, width, height, distortion, partner};
    if (sampleClock < time + width) sampleClock = time + width;
    return index;
}

void AddHeights(int c, int count, uint32_t height, uint32_t distortion) {
    for (int i = 0; i < count; ++i) {
        int64_t time = pulseCount[c] ? Pulse(c, pulseCount[c] - 1).time + 1 : 0;
        AddPulse(c, time, 5, height, distortion);
    }
}

void FillStore(const std::vector<PulseRecord>& left, const std::vector<PulseRecord>& right, int64_t clock) {
    for (uint32_t i = 0; i < left.size(); ++i) Pulse(0, i) = left[i];
    for (uint32_t i = 0; i < right.size(); ++i) Pulse(1, i) = right[i];
    pulseCount[0] = static_cast<uint32_t>(left.size());
    pulseCount[1] = static_cast<uint32_t>(right.size());
    sampleClock = clock;
    runState |= RS_DATA_READY;
}
