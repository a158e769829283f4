// Regions of interest of the pulse-height spectrum: the 32 slots per channel (settings.roi), their
// editing operations, their bins following the height bin size, and their statistics.
#pragma once
#include <cstdint>

#include "core/settings.h"

// A free slot: negative bins and bounds, zero statistics.
constexpr RoiRecord EMPTY_ROI = {-1, -1, -1.0, -1.0, 0.0, 0.0, 0.0, 0.0};
constexpr int32_t ROI_LAST_BIN = 32767;

// Makes a region of channel c from two bin marks (either order, clamped to 0..32767). Every used
// region that overlaps it is freed first, so a new region replaces overlapped ones even in a full
// table. Returns false only when no slot is free (the caller shows the message); marks that coincide
// make no region.
bool AddRoi(int channel, int32_t begin, int32_t end);

// Frees every used slot of the channel with startBin <= bin <= endBin, or every slot when all is
// set. Returns the number of used slots freed.
int DeleteRoisAt(int channel, int32_t bin, bool all);

// Copies all 32 slots of the left channel, statistics included, over those of the right channel.
void CopyRoisLeftToRight();

// Orders the channel's slots by ascending startBin (free slots first); equal bins keep their order.
void SortRois(int channel);

// Derives each used slot's bins again from its bounds in arb.u and the current height bin width,
// clamped to 0..32767 (a region beyond the spectrum lands on the last bin, where such heights count).
void RefreshRoiBins(int channel);

// Gross and net content, centroid and standard deviation of slot `slot` of the analysed channel,
// from the raw spectrum (series 4); calibrated when the channel's calibration is in use. Free slots,
// slots whose bins lie wholly outside 0..32767 or are reversed, and slot numbers outside 0..31 are
// left unchanged.
void ComputeRoiStatistics(int slot);
