// tik-cli: the batch tool. Runs the same core and command handlers as the desktop program headless.
#include <cstdio>
#include <string>

#include "cli/batch_options.h"
#include "cli/batch_run.h"

int main(int argc, char** argv) {
    BatchOptions options;
    std::string error;
    if (!ParseBatchArguments(argc, argv, &options, &error)) {
        std::fprintf(stderr, "tik-cli: %s\n%s", error.c_str(), BatchUsage());
        return 2;
    }
    return RunBatch(options);
}
