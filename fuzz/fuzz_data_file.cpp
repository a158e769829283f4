// Fuzz target: opening a file of any content as a data file (or, with "RIFF", a WAV file), then
// recomputing every histogram from what was read.
#include "fuzz/fuzz_file_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzOpenFile(data, size, ".pls");
    return 0;
}
