// View state of the plot windows.
#include "core/view_state.h"

#include "platform/ui.h"

ViewState viewState[6];
int64_t dataLength[7] = {};
ScrollBarRecord scrollBarRecord;
char informationText[7][INFORMATION_TEXT_SIZE];
int informationWindow = 0;

const char* const plainTitles[7] = {"Pulses View vs Time/s   ",
                                    "CountingRate/(1/s) vs Time/s   ",
                                    "CountingRate/(1/s) Histogram   ",
                                    "Interval/\xB5s Histogram   ",
                                    "PulseWidth/\xB5s Histogram   ",
                                    "PulseHeight Histogram   ",
                                    "Audio Input"};

void ResetPulsesView() {
    viewState[0].zoom = 1.0;
    viewState[0].scrollPosition = 0;
    scrollBarRecord.nPos = 0;
    scrollBarRecord.nPage = 10001;
    SetScrollBar(0, scrollBarRecord.nPos, static_cast<int>(scrollBarRecord.nPage), true);
}

void RestorePlainTitles() {
    for (int w = 0; w < 6; ++w) SetWindowTitle(w, plainTitles[w]);
}

void ResetViewState() {
    for (ViewState& v : viewState) v = ViewState();
    scrollBarRecord = ScrollBarRecord();
    for (auto& text : informationText) text[0] = '\0';
    informationWindow = 0;
}
