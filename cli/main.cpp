// tik-cli: the batch tool. Runs the same core and command handlers as the desktop program headless.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/batch_options.h"
#include "cli/batch_run.h"

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(BatchUsage(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs("tik-cli " TIK_VERSION "\n", stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    BatchOptions options;
    std::string error;
    if (!ParseBatchArguments(argc, argv, &options, &error)) {
        std::fprintf(stderr, "tik-cli: %s\n%s", error.c_str(), BatchUsage());
        return 2;
    }
    return RunBatch(options);
}
