// Storage of the histogram series and their derived values.
#include "analysis/series.h"

#include <algorithm>
#include <cstring>

namespace {
double rateTimeStorage[2 * RATE_TIME_LENGTH];
double histogramStorage[SERIES_COUNT - 1][2 * HISTOGRAM_LENGTH];
}  // namespace

double* seriesData[SERIES_COUNT] = {rateTimeStorage,     histogramStorage[0], histogramStorage[1],
                                    histogramStorage[2], histogramStorage[3], histogramStorage[4]};
int64_t seriesLength[SERIES_COUNT] = {RATE_TIME_LENGTH, HISTOGRAM_LENGTH, HISTOGRAM_LENGTH,
                                      HISTOGRAM_LENGTH, HISTOGRAM_LENGTH, HISTOGRAM_LENGTH};
double displayMax[SERIES_COUNT] = {DISPLAY_MAX_FLOOR, DISPLAY_MAX_FLOOR, DISPLAY_MAX_FLOOR,
                                   DISPLAY_MAX_FLOOR, DISPLAY_MAX_FLOOR, DISPLAY_MAX_FLOOR};
double rawMax[SERIES_COUNT] = {DISPLAY_MAX_FLOOR, DISPLAY_MAX_FLOOR, DISPLAY_MAX_FLOOR,
                               DISPLAY_MAX_FLOOR, DISPLAY_MAX_FLOOR, DISPLAY_MAX_FLOOR};
const int32_t extraUnits[7] = {2, 2, 2, 4, 2, 16, 0};
int64_t entryCount[SERIES_COUNT] = {};
int32_t intervalPeakBin = 0;
int32_t filteredPulseCount = 0;
double rateHistMean = 0, rateHistSd = 0;
double widthHistMean = 0, widthHistSd = 0;
uint32_t rateTimeCursor = 0;
int64_t rateTimeSteps = 0;
int64_t rawExtent[SERIES_COUNT] = {};
uint32_t rateHistCursor = 0;
int64_t rateHistSteps = 0;

namespace {
void ResetStepCursors() {
    rateTimeCursor = rateHistCursor = 0;
    rateTimeSteps = rateHistSteps = 0;
}
}  // namespace

void BindSeries() {
    seriesData[0] = rateTimeStorage;
    seriesLength[0] = RATE_TIME_LENGTH;
    for (int s = 1; s < SERIES_COUNT; ++s) {
        seriesData[s] = histogramStorage[s - 1];
        seriesLength[s] = HISTOGRAM_LENGTH;
    }
}

void ClearRawSeries(int series) {
    int64_t extent = std::clamp<int64_t>(rawExtent[series], 0, seriesLength[series]);
    std::memset(seriesData[series], 0, sizeof(double) * static_cast<size_t>(extent));
    rawExtent[series] = 0;
}

void ClearSeriesForNewAcquisition() {
    BindSeries();
    for (int s = 0; s <= SERIES_HEIGHT; ++s) {
        dataLength[s + 1] = 0;
        entryCount[s] = 0;
        ClearRawSeries(s);
    }
    ResetStepCursors();
}

void ResetSeriesState() {
    BindSeries();
    for (int s = 0; s < SERIES_COUNT; ++s) {
        std::memset(seriesData[s], 0, sizeof(double) * 2 * static_cast<size_t>(seriesLength[s]));
        displayMax[s] = DISPLAY_MAX_FLOOR;
        rawMax[s] = DISPLAY_MAX_FLOOR;
        entryCount[s] = 0;
    }
    for (int64_t& extent : rawExtent) extent = 0;
    for (int64_t& length : dataLength) length = 0;
    intervalPeakBin = 0;
    filteredPulseCount = 0;
    rateHistMean = rateHistSd = widthHistMean = widthHistSd = 0;
    ResetStepCursors();
}
