// Navigation and input of the plot windows: the horizontal scroll bars, zoom and vertical gain, the
// cursor bin, mouse and keyboard handling, ROI marking in the pulse height window, and the keys that
// send commands or toggle run-state bits.
#pragma once
#include <cstdint>

#include "core/upcalls.h"  // UpdateScrollBar

// The ROI marks set by keys B and E (or a Ctrl-drag), valid while RS_ROI_BEGIN_SET / RS_ROI_END_SET.
extern int32_t roiBeginMark;
extern int32_t roiEndMark;

// Positions of window i that can be scrolled over: its data length plus its extra units
// (for window 0 the data length is the sample clock).
int64_t DataExtent(int window);

// A scroll-bar request (SB_* code) for window 0-5; position is the thumb position for
// SB_THUMBPOSITION and SB_THUMBTRACK.
void OnHorizontalScroll(int window, int code, int position);

// A mouse message for window 0-5: button down/up sets the cursor bin (windows 1-5; with Ctrl in the
// pulse height window it marks an ROI), the wheel changes the vertical gain. Moves do nothing.
void OnMouse(int window, int message, unsigned keys, int x, int wheelDelta);

// A key for any plot window: commands and toggles (all windows), view keys (windows 0-5), ROI keys
// and peak marking (pulse height window).
void OnKeyDown(int window, int virtualKey);

void ResetNavigationState();
