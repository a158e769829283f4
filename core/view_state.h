// View state of the plot windows (zoom, vertical gain, scroll position, cursor bin, scroll fractions),
// how far their data reach, their plain titles, the information texts of their legends, and the shared
// scroll-bar record. Kept in core: the capture, the store and the file readers write parts of it.
#pragma once
#include <cstdint>

struct ViewState {
    double zoom = 1.0;           // data units per pixel column
    double verticalGain = 1.0;   // 1 to 1024
    int64_t scrollPosition = 0;  // first data unit at the left edge
    int32_t cursorBin = 0;       // windows 1-5
    // Kept between scroll operations: scroll position / extent, visible part / extent, line step.
    double positionFraction = 0.0;
    double pageFraction = 0.8;
    double lineStep = 0.1;
};

extern ViewState viewState[6];

// Per plot window 0-5: positions holding data (the series builders set them).
extern int64_t dataLength[7];

// The one scroll-bar record reused for every window: range 0-10000 with page and position.
struct ScrollBarRecord {
    uint32_t cbSize = 28;
    uint32_t fMask = 23;  // SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL
    int32_t nMin = 0;
    int32_t nMax = 10000;
    uint32_t nPage = 10001;
    int32_t nPos = 0;
    int32_t nTrackPos = 0;
};

extern ScrollBarRecord scrollBarRecord;

// The titles of the seven plot windows without appended file names (0-5 end in three blanks).
extern const char* const plainTitles[7];

// The legend of each plot window as two lines of text, rebuilt at every paint (Information dialog):
// the labels joined by tabs and ended by CR LF, then the values joined by a tab and a blank.
// Window 6 has no legend; its text stays empty.
constexpr int INFORMATION_TEXT_SIZE = 260;
extern char informationText[7][INFORMATION_TEXT_SIZE];

// The window on which key Q was last pressed: the Information dialog shows its text.
extern int informationWindow;

// Resets window 0's horizontal view: zoom 1, scroll position 0, scroll bar at 0 with page 10001.
void ResetPulsesView();

// Gives plot windows 0-5 their plain titles.
void RestorePlainTitles();

void ResetViewState();
