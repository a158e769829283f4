// Filling the pulse store directly with records, as an acquisition leaves it: the one helper of every
// test of what reads recorded pulses (spectra, histograms, plots, files).
#pragma once
#include <cstdint>
#include <vector>

#include "acquisition/pulse_store.h"

// Allocates a store of `perChannel` records per channel: both channels empty, sample clock at 0.
void MakeStore(uint32_t perChannel);

// Appends a record to channel c and returns its index; the sample clock moves past the record's end.
uint32_t AddPulse(int c, int64_t time, uint32_t width = 5, uint32_t height = 100000000, uint32_t distortion = 0,
                  uint32_t partner = 0);

// Appends `count` records of one height to channel c, one per frame after the channel's last record.
void AddHeights(int c, int count, uint32_t height, uint32_t distortion = 0);

// Puts whole channels into the (allocated) store with the sample clock given and marks the data ready.
void FillStore(const std::vector<PulseRecord>& left, const std::vector<PulseRecord>& right, int64_t clock);
