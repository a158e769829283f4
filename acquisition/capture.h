// The capture controller: Start, Continue, Stop and Start Pulse Shape Acquisition, four input buffers
// cycling through the input device, the watchdog, hourly and restart timers, and comment stamps.
#pragma once

#include "core/ids.h"

// Period of the hourly data-file write (timer 2, armed by the hourly-save key).
constexpr unsigned HOURLY_SAVE_PERIOD_MS = 3600000;

void StartAcquisition();
void ContinueAcquisition();
void StopAcquisition();
void StartShapeAcquisition();

// A filled input buffer came back from the device.
void OnInputBufferFilled(int index);

// Timers 1 (watchdog), 2 (hourly data-file write) and 3 (automatic restart).
void OnCaptureTimer(int id);

// Appends a start ("<" … ",") or stop (" " … ">") time stamp to the comment.
void StampComment(bool stop);

void ResetCaptureState();
