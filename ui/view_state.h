// View state of the plot windows (zoom, vertical gain, scroll position, cursor bin), their plain
// titles, and the shared scroll-bar record of the 0-10000 model.
#pragma once
#include <cstdint>

struct ViewState {
    double zoom = 1.0;           // data units per pixel column
    double verticalGain = 1.0;   // 1 to 1024
    int64_t scrollPosition = 0;  // first data unit at the left edge
    int32_t cursorBin = 0;       // windows 1-5
};

extern ViewState viewState[6];

// The titles of the seven plot windows without appended file names (0-5 end in three blanks).
extern const char* const plainTitles[7];

// The legend of each plot window as two lines of text, rebuilt at every paint (Information dialog).
constexpr int INFORMATION_TEXT_SIZE = 260;
extern char informationText[7][INFORMATION_TEXT_SIZE];

// Resets window 0's horizontal view: zoom 1, scroll position 0, scroll bar at 0 with page 10001.
void ResetPulsesView();

// Gives plot windows 0-5 their plain titles.
void RestorePlainTitles();

void ResetViewState();
