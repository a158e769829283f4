// Fuzz target: the batch tool's NAME=VALUE parser on any bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "files/setting_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SettingAssignment assignment;
    if (ParseSettingAssignment(reinterpret_cast<const char*>(data), size, &assignment)) {
        // A parsed value is the text after the first '=', and its name prints back as given.
        const void* equals = std::memchr(data, '=', size);
        size_t nameLength = static_cast<size_t>(static_cast<const uint8_t*>(equals) - data);
        if (assignment.text.size() != size - nameLength - 1) __builtin_trap();
        if (SettingName(assignment.key) != std::string(reinterpret_cast<const char*>(data), nameLength)) __builtin_trap();
    }
    return 0;
}
