// The command line of tik-cli: subcommands, their options in the order they are applied, and the
// parser that checks them before anything runs.
#pragma once
#include <string>
#include <vector>

#include "cli/setting_apply.h"
#include "files/setting_names.h"

enum BatchCommand {
    BATCH_DEFAULTS,  // defaults OUT.ini
    BATCH_REPLAY,    // replay IN.wav
    BATCH_OPEN,      // open IN.pls (the file's settings)
    BATCH_LOAD,      // load IN.pls (the current settings)
    BATCH_CAPTURE,   // capture (live acquisition from an input device)
    BATCH_SETTINGS_SHOW,  // settings show [FILE]
    BATCH_SETTINGS_SET,   // settings set FILE NAME=VALUE...
    BATCH_SHAPE,          // shape IN.wav (the pulse-shape template from a sound file)
};

// The peak table: no menu command writes it.
constexpr int BATCH_EXPORT_PEAKS = 0;

struct BatchExport {
    int command;  // IDM_EXPORT_*, or BATCH_EXPORT_PEAKS
    std::string path;
};

struct BatchOptions {
    BatchCommand command = BATCH_DEFAULTS;
    std::string file;  // the subcommand's file argument
    std::string settingsFile;
    std::vector<SettingAssignment> assignments;
    std::vector<std::string> assignmentTexts;  // as given, for messages
    bool clearRois = false;
    std::vector<RoiRequest> rois;
    std::vector<std::string> roiTexts;
    std::string saveSettings;  // shape: the settings file written with the template
    std::string background;
    std::string save;
    std::vector<BatchExport> exports;
    bool summary = false;
    std::string device;   // capture: the input device by number or name (empty: the settings' device)
    double seconds = 0;   // capture: the acquisition time (0: the settings' time)
};

// Parses argv[1..]. False with a one-line reason in *error for an unknown subcommand or option, a
// missing or extra argument, an option the subcommand does not take, or a malformed value.
bool ParseBatchArguments(int argc, const char* const* argv, BatchOptions* options, std::string* error);

// The usage text: printed for --help and after a bad command line.
const char* BatchUsage();
