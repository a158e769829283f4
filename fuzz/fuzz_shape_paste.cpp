// Fuzz target: the "Pulse Shape" dialog's parser of pasted clipboard text on any bytes.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "acquisition/pulse_shape_dialog.h"
#include "platform/headless/headless.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HeadlessReset();  // the number parser's warnings would pile up otherwise
    double values[SHAPE_POINTS];
    int rows = ParsePulseShapePaste(reinterpret_cast<const char*>(data), size, values);
    if (rows < 0 || rows > SHAPE_POINTS) __builtin_trap();
    // Every filled row holds a value inside the limits of a displayed point.
    for (int row = 0; row < rows; ++row)
        if (!(std::fabs(values[row]) <= 1000000.0)) __builtin_trap();
    return 0;
}
