// Fuzz target: replaying a file of any content as a WAV file (its first bytes are made "RIFF", so
// every input reaches the chunk walk and the replay), as a plain replay and as a pulse-shape
// acquisition.
#include <cstring>
#include <vector>

#include "fuzz/fuzz_file_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    if (bytes.size() >= 4) std::memcpy(bytes.data(), "RIFF", 4);
    FuzzOpenFile(bytes.data(), bytes.size(), ".wav", IDM_OPEN_NAMED_FILE);
    FuzzOpenFile(bytes.data(), bytes.size(), ".wav", IDM_OBTAIN_SHAPE);
    return 0;
}
