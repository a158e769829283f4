// The histogram builders of the analysed channel (counting rate vs time, counting-rate, interval and
// pulse-width histograms), their finishing step, the dead-time estimate and RecomputeAll.
//
// Every builder works in full (incremental false: clear the series and consume every stored pulse) or
// incrementally (consume only the pulses of the latest detector pass, bufferFirstPulse on, and the time
// steps completed since the previous call). Incremental updates after every detector pass give exactly
// the series of one full rebuild. Each builder clears its RS_..._CHANGED bit on entry and sets it when
// the series changed, then calls FinishHistogram.
#pragma once

// Series 0: selected pulses per completed time step (a step [B + (k-1)T, B + kT) is complete once its
// end lies at or before min(B + D, sampleClock)). After 1048575 stored steps each further step
// overwrites the last entry.
void BuildRateVsTime(bool incremental);

// Series 1: number of completed time steps per counting-rate bin; rateHistMean and rateHistSd.
void BuildRateHistogram(bool incremental);

// Series 2: pairs (i, i + sFold) of selected pulses per interval bin.
void BuildIntervalHistogram(bool incremental);

// Series 3: selected pulses per width bin; widthHistMean and widthHistSd.
void BuildWidthHistogram(bool incremental);

// Display half (natural log of raw + 1 with the window's log switch), displayMax, rawMax (never below
// 1e-34) and, for series 2, intervalPeakBin, over the first dataLength + extraUnits entries.
void FinishHistogram(int series, int channel);

// Dead time from the interval histogram (sFold 1 only), in microseconds. False when there is no
// estimate (3 x intervalPeakBin beyond the data, an empty middle block, or a result not above 0).
bool EstimateDeadTime(double* microseconds);

// Rebuilds the series of the visible windows (full or incremental), the filtered pulse count, and
// updates the scroll bars and redraws the windows whose series changed. Does nothing when a recompute
// is already running (RS_RECOMPUTING).
void RecomputeAll(bool incremental);
