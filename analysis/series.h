// The six histogram series with their raw and display halves, the per-window data lengths, and the
// statistics derived from them. Storage is allocated once for the life of the process.
#pragma once
#include <cstdint>

#include "core/view_state.h"

constexpr int SERIES_RATE_TIME = 0;
constexpr int SERIES_RATE_HIST = 1;
constexpr int SERIES_INTERVAL = 2;
constexpr int SERIES_WIDTH = 3;
constexpr int SERIES_HEIGHT = 4;
constexpr int SERIES_CORRELATION = 5;
constexpr int SERIES_COUNT = 6;

constexpr int64_t RATE_TIME_LENGTH = 1048576;
constexpr int64_t HISTOGRAM_LENGTH = 32768;
constexpr double DISPLAY_MAX_FLOOR = 1e-34;

// seriesData[s]: 2 x seriesLength[s] values; [0, L) raw values, [L, 2L) display values.
extern double* seriesData[SERIES_COUNT];
extern int64_t seriesLength[SERIES_COUNT];
extern double displayMax[SERIES_COUNT];
extern double rawMax[SERIES_COUNT];

// Per plot window 0-5: positions shown beyond the data (dataLength, core/view_state.h).
extern const int32_t extraUnits[7];

extern int64_t entryCount[SERIES_COUNT];  // entries 1-4 used
extern int32_t intervalPeakBin;
extern int32_t filteredPulseCount;
extern double rateHistMean, rateHistSd;
extern double widthHistMean, widthHistSd;

// Incremental cursors of the two time-step series: the next pulse (index within the analysed channel)
// each has not consumed yet, and the number of time steps each has completed.
extern uint32_t rateTimeCursor;
extern int64_t rateTimeSteps;
extern uint32_t rateHistCursor;
extern int64_t rateHistSteps;

// Per series, the leading raw entries that a build may have made non-zero; all later ones are zero.
// Clearing only these spares every full rebuild and every new acquisition the untouched storage (the
// rate-vs-time series alone is 8 MB), which a short replay then never has to bring into memory.
extern int64_t rawExtent[SERIES_COUNT];

// Zeroes the raw entries of a series that may be non-zero.
void ClearRawSeries(int series);

// Binds the series arrays to their lengths (once; later calls keep the storage).
void BindSeries();

// A new acquisition: windows 1-5 get data length 0, the raw halves of series 0-4 and their entry
// counts are cleared and the step cursors start again at the first pulse (so that an incremental
// update cannot skip the new acquisition's pulses).
// (The cursor bins of the views are reset by the view state.)
void ClearSeriesForNewAcquisition();

// Zeroes every series and statistic (start-up state).
void ResetSeriesState();
