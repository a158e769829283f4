// tik-cli's settings commands ("settings show", "settings set") and the settings part of every run:
// the settings file, the assignments, and the regions of interest, applied in that order.
#pragma once
#include <string>
#include <vector>

#include "cli/batch_options.h"
#include "core/settings.h"

// Prints NAME=VALUE lines of the keys on standard output.
void PrintSettings(const SettingsRecord& record, uint32_t rate, const std::vector<SettingKey>& keys);

// "settings show [FILE]": exit status 0, or 1 when the file holds no settings.
int ShowSettings(const BatchOptions& options);

// "settings set FILE NAME=VALUE...": 0, 1 when the file cannot be read or written, 2 when a value
// was refused (the file is then left as it was).
int SetSettings(const BatchOptions& options);

// --settings, --set, --clear-rois and --roi on the running program; false after the reason was
// printed.
bool ApplyBatchSettings(const BatchOptions& options);

// Writes the live record to a settings file (temporary file, then renamed over it).
bool SaveSettingsRecord(const std::string& path);
