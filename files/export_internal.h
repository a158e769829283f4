// Shared pieces of the text exports: units and calibration of a channel, and the two time-series
// exports (kept in their own file).
#pragma once
#include "files/export_writer.h"

// The channel's quantity text when its calibration is in use and valid, else "Arbitrary Units".
const char* ChannelUnits(int channel, int* length);

// Whether the channel's heights are shown calibrated, and a height value (arb.u) as shown.
bool CalibrationInUse(int channel);
double CalibratedValue(int channel, double value);

// Writes one line per time step of the analysed window: the pulse height histogram of each step
// (regionsOnly false) or the gross counts of the defined regions (true). Restores the analysed
// window and the full pulse height histogram afterwards.
void WriteTimeSeriesRows(ExportWriter& writer, bool regionsOnly);
