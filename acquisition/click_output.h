// Click sound output: tone bursts whose pitch follows the pulse height, mixed into four output blocks.
#pragma once
#include <cstdint>

// Mixes the clicks of the pulses found by the latest detector pass into the output.
void MixClicks(int64_t clockAtStart, uint32_t sampleCount);
