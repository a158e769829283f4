// Fuzz target: opening a file of any content as a data file (or, with "RIFF", a WAV file) with
// "Open" (all settings taken over) and with "Load Data" (capacities and channels only), each time
// recomputing every histogram from what was read.
#include "fuzz/fuzz_file_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzOpenFile(data, size, ".pls", IDM_OPEN_NAMED_FILE);
    FuzzOpenFile(data, size, ".pls", IDM_LOAD_DATA);
    return 0;
}
