// Fuzz target: the batch tool's NAME=VALUE parser on any bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "files/setting_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SettingAssignment assignment;
    if (ParseSettingAssignment(reinterpret_cast<const char*>(data), size, &assignment)) {
        // A parsed value is always a terminated text of the value's length.
        if (std::strlen(assignment.text) >= static_cast<size_t>(SETTING_VALUE_CAPACITY)) __builtin_trap();
    }
    return 0;
}
