// tik-cli: the batch tool. Runs the same core and command handlers as the desktop program headless.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/settings.h"
#include "platform/headless/headless.h"
#include "ui/program_state.h"

namespace {
int Usage() {
    std::fprintf(stderr,
                 "usage: tik-cli defaults OUT.ini      write the default settings record\n");
    return 2;
}

int WriteDefaults(const char* path) {
    SetSettingsFilePath(path);
    if (!SaveSettingsFile(false)) {
        std::fprintf(stderr, "Cannot write %s\n", path);
        return 1;
    }
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    Headless().echoMessagesToStderr = true;
    ResetProgramState();
    if (argc < 2) return Usage();
    std::string command = argv[1];
    if (command == "defaults" && argc == 3) return WriteDefaults(argv[2]);
    return Usage();
}
