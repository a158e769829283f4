// The seam upwards: the few requests that core/, acquisition/, analysis/ and files/ make of the user
// interface. Declared here, defined in ui/ and resolved at link time (like platform/), so that no file
// below ui/ includes ui/.
#pragma once

// Runs a command synchronously, as if the window had received it. Only the low 16 bits are the id.
// Defined by the dispatcher (ui/dispatch.cpp).
void SendCommand(int window, int command);

// Clamps the view state of window 0-5 to its data (zoom at least 1 unless all data fit, stretched
// over the full width; scroll position within the extent) and applies it to the window's scroll bar.
// Defined by the navigation (ui/navigation.cpp).
void UpdateScrollBar(int window);

// The pulse store changed: rebuild the series of the visible windows (incremental after a detector
// pass, full otherwise), then update their scroll bars and redraw what changed.
void RefreshPlotWindows(bool incremental);

// The store was emptied for a new acquisition: the series and cursors of windows 1-5 start again, so
// that no window shows or continues from the old data.
void ForgetPlotWindowData();
