// Fuzz target: the lenient number parser and the formatter on whatever it returns.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/number_text.h"
#include "platform/headless/headless.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HeadlessReset();  // keep the recorded warnings from piling up
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    double value = ParseNumber(text.data(), static_cast<int>(text.size()));
    char out[64];
    for (int decimals : {0, 3, 6, 12}) FormatNumber(value, decimals, 31, out, true);
    FormatNumber(value, 4, 5, out, false);
    return 0;
}
