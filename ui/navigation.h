// Navigation and input of the plot windows: scroll bars, zoom, cursor, mouse and keys.
#pragma once

// Clamps the window's view state to its data and applies it to the window's scroll bar.
void UpdateScrollBar(int window);
