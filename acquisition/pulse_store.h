// The pulse store: one flat allocation of 24-byte pulse records, the left channel's first, with the
// per-channel counters, the frame clock, AllocatePulseStore and ClearAcquisition.
#pragma once
#include <cstddef>
#include <cstdint>

struct PulseRecord {
    int64_t time;         // frame of the pulse's first sample since the acquisition began
    uint32_t width;       // frames
    uint32_t height;      // largest detection value, 32-bit sample scale
    uint32_t distortion;  // shape distortion x 4294967295 (0 for the threshold method)
    uint32_t partner;     // index of the coincident pulse in the other channel; 0 = none, and an
                          // index at or beyond the other channel's count names no pulse either
};
static_assert(sizeof(PulseRecord) == 24);
static_assert(offsetof(PulseRecord, width) == 8);
static_assert(offsetof(PulseRecord, height) == 12);
static_assert(offsetof(PulseRecord, distortion) == 16);
static_assert(offsetof(PulseRecord, partner) == 20);

constexpr uint32_t MAX_PULSES_PER_CHANNEL = 100000000;
constexpr uint32_t DEFAULT_PULSES_PER_CHANNEL = 1000000;

extern PulseRecord* pulseStore;
extern uint32_t storeSize;
extern uint32_t pulseCapacity[2];
extern uint32_t pulseCount[2];
extern uint32_t bufferFirstPulse[2];
extern int64_t sampleClock;
extern double acquisitionSeconds;

// Index of channel c's record i in the store.
inline size_t PulseIndex(int c, uint32_t i) {
    return static_cast<size_t>(pulseCapacity[1 - c]) * static_cast<size_t>(c) + i;
}

inline PulseRecord& Pulse(int c, uint32_t i) { return pulseStore[PulseIndex(c, i)]; }

// Makes the store fit the maxPulses settings (asks before discarding data, refuses during a capture).
// False only when not even the default store could be allocated.
bool AllocatePulseStore(bool force, bool askAndClear);

// Empties the store and everything derived from it before a new acquisition.
void ClearAcquisition();

// Releases the store and zeroes the counters (start-up state of the tests).
void ResetPulseStoreState();

// Test hook: the largest store (in records) that an allocation may obtain; 0 = no limit.
void SetPulseStoreAllocationLimit(uint64_t records);
