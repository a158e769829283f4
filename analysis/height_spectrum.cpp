// The pulse-height spectrum builder. Switched off: it builds nothing yet.
#include "analysis/height_spectrum.h"

void BuildHeightSpectrum(bool, bool) {}

void ResetHeightSpectrumState() {}
