// Click sound output. Switched off: no clicks are mixed yet.
#include "acquisition/click_output.h"

void MixClicks(int64_t, uint32_t) {}
