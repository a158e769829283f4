// Click sound output. Switched off: no output is opened and no clicks are mixed yet.
#include "acquisition/click_output.h"

int32_t clickDensity = 16;
int32_t pitchOffset = 0;

void BuildClickTones() {}
void ToggleSound() {}
void CloseClickOutput() {}
void OnOutputBlockDone(int) {}
void MixClicks(int64_t, uint32_t) {}

void ResetClickOutputState() {
    clickDensity = 16;
    pitchOffset = 0;
}
