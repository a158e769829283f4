// Fuzz target: loading a settings file of any content, then using the record as the program does.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "acquisition/audio_interface.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "ui/program_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/tik-fuzz-settings-" + std::to_string(getpid()) + ".ini";
    HeadlessReset();
    ResetProgramState();
    SetSettingsFilePath(path);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    if (LoadSettingsFile(false)) {
        QuantizeSettings(true);
        ValidateAudioFormats();
    }
    return 0;
}
