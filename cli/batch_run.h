// Runs a parsed tik-cli command line through the program's own command handlers on the headless
// window side: settings dialogs for --set, the open path, Save and the exports with scripted file
// dialog answers, every message box on standard error.
#pragma once
#include "cli/batch_options.h"

// Exit status: 0 success, 1 when a file could not be read or written or was refused ("Wrong format
// or file is corrupted"), or a setting could not be applied.
int RunBatch(const BatchOptions& options);
