// The tik-cli command line: a table of subcommands and the options each takes, and their parser.
#include "cli/batch_options.h"

#include <cstdlib>
#include <cstring>

#include "ui/commands.h"

namespace {
// Option bits; each subcommand names the options it takes.
constexpr unsigned OPT_SETTINGS = 1u << 0;
constexpr unsigned OPT_SET = 1u << 1;
constexpr unsigned OPT_BACKGROUND = 1u << 2;
constexpr unsigned OPT_SAVE = 1u << 3;
constexpr unsigned OPT_EXPORT = 1u << 4;
constexpr unsigned OPT_SUMMARY = 1u << 5;
constexpr unsigned OPT_DEVICE = 1u << 6;
constexpr unsigned OPT_SECONDS = 1u << 7;
constexpr unsigned OPT_ROI = 1u << 8;
constexpr unsigned OPT_CLEAR_ROIS = 1u << 9;
constexpr unsigned OPT_SAVE_SETTINGS = 1u << 10;
constexpr unsigned SETTING_OPTIONS = OPT_SETTINGS | OPT_SET | OPT_ROI | OPT_CLEAR_ROIS;
constexpr unsigned RUN_OPTIONS = SETTING_OPTIONS | OPT_BACKGROUND | OPT_SAVE | OPT_EXPORT | OPT_SUMMARY;

struct SubcommandDefinition {
    const char* name;
    BatchCommand command;
    unsigned options;
};

constexpr SubcommandDefinition SUBCOMMANDS[] = {
    {"defaults", BATCH_DEFAULTS, 0},
    {"replay", BATCH_REPLAY, RUN_OPTIONS},
    {"open", BATCH_OPEN, RUN_OPTIONS},
    {"load", BATCH_LOAD, RUN_OPTIONS},
    {"capture", BATCH_CAPTURE, RUN_OPTIONS | OPT_DEVICE | OPT_SECONDS},
    {"shape", BATCH_SHAPE, OPT_SETTINGS | OPT_SET | OPT_SAVE_SETTINGS},
};

struct OptionDefinition {
    const char* name;
    unsigned bit;
    bool takesValue;
};

constexpr OptionDefinition OPTIONS[] = {
    {"--settings", OPT_SETTINGS, true}, {"--set", OPT_SET, true},         {"--background", OPT_BACKGROUND, true},
    {"--save", OPT_SAVE, true},         {"--export", OPT_EXPORT, true},   {"--summary", OPT_SUMMARY, false},
    {"--device", OPT_DEVICE, true},     {"--seconds", OPT_SECONDS, true}, {"--roi", OPT_ROI, true},
    {"--clear-rois", OPT_CLEAR_ROIS, false}, {"--save-settings", OPT_SAVE_SETTINGS, true},
};

bool TakeAssignment(const std::string& value, BatchOptions* options, std::string* error) {
    SettingAssignment assignment;
    std::string reason;
    if (!ParseSettingAssignment(value.data(), value.size(), &assignment, &reason)) {
        *error = "--set " + value + ": " + reason;
        return false;
    }
    options->assignments.push_back(assignment);
    options->assignmentTexts.push_back(value);
    return true;
}

struct ExportKind {
    const char* name;
    int command;
};

constexpr ExportKind EXPORT_KINDS[] = {
    {"rate-time", IDM_EXPORT_RATE_TIME}, {"rate-hist", IDM_EXPORT_RATE_HIST},
    {"interval", IDM_EXPORT_INTERVAL},   {"width", IDM_EXPORT_WIDTH},
    {"height", IDM_EXPORT_HEIGHT},       {"height-time", IDM_EXPORT_HEIGHT_TIME},
    {"roi", IDM_EXPORT_ROI},             {"roi-time", IDM_EXPORT_ROI_TIME},
    {"coincident", IDM_EXPORT_COINCIDENT},
    {"n42", IDM_EXPORT_N42},             {"npes", IDM_EXPORT_NPES},
    {"spe", IDM_EXPORT_SPE},             {"spectrum-csv", IDM_EXPORT_SPECTRUM_CSV},
    {"peaks", BATCH_EXPORT_PEAKS},
};

bool ParseExport(const std::string& value, BatchExport* out) {
    size_t equals = value.find('=');
    if (equals == std::string::npos || equals + 1 >= value.size()) return false;
    std::string kind = value.substr(0, equals);
    for (const ExportKind& k : EXPORT_KINDS) {
        if (kind == k.name) {
            *out = {k.command, value.substr(equals + 1)};
            return true;
        }
    }
    return false;
}

// Stores one option's value; false with a reason for a malformed one.
bool TakeOption(const OptionDefinition& option, const std::string& value, BatchOptions* options,
                std::string* error) {
    switch (option.bit) {
        case OPT_SETTINGS:
            options->settingsFile = value;
            return true;
        case OPT_SET:
            return TakeAssignment(value, options, error);
        case OPT_ROI: {
            RoiRequest request;
            std::string reason;
            if (!ParseRoiRequest(value, &request, &reason)) {
                *error = "--roi " + value + ": " + reason;
                return false;
            }
            options->rois.push_back(request);
            options->roiTexts.push_back(value);
            return true;
        }
        case OPT_CLEAR_ROIS:
            options->clearRois = true;
            return true;
        case OPT_SAVE_SETTINGS:
            options->saveSettings = value;
            return true;
        case OPT_BACKGROUND:
            options->background = value;
            return true;
        case OPT_SAVE:
            options->save = value;
            return true;
        case OPT_EXPORT: {
            BatchExport exportRequest;
            if (!ParseExport(value, &exportRequest)) {
                *error = "--export " + value + ": expected KIND=FILE with KIND one of rate-time, rate-hist, "
                         "interval, width, height, height-time, roi, roi-time, coincident, n42, npes, spe, spectrum-csv, peaks";
                return false;
            }
            options->exports.push_back(exportRequest);
            return true;
        }
        case OPT_SUMMARY:
            options->summary = true;
            return true;
        case OPT_DEVICE:
            options->device = value;
            return true;
        case OPT_SECONDS: {
            char* end = nullptr;
            double seconds = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0' || !(seconds > 0.0) || seconds > 3155692600.0) {
                *error = "--seconds " + value + ": expected a number of seconds above 0";
                return false;
            }
            options->seconds = seconds;
            return true;
        }
        default:
            return false;
    }
}

// "settings show [FILE]" and "settings set FILE NAME=VALUE... [--roi ...] [--clear-rois]".
bool ParseSettingsCommand(int argc, const char* const* argv, BatchOptions* options, std::string* error) {
    std::string action = argc >= 3 ? argv[2] : "";
    if (action == "show") {
        options->command = BATCH_SETTINGS_SHOW;
        if (argc > 4 || (argc == 4 && (argv[3][0] == '\0' || std::strncmp(argv[3], "--", 2) == 0))) {
            *error = "settings show takes at most one file";
            return false;
        }
        if (argc == 4) options->file = argv[3];
        return true;
    }
    if (action != "set") {
        *error = "settings: expected show or set";
        return false;
    }
    options->command = BATCH_SETTINGS_SET;
    if (argc < 4 || argv[3][0] == '\0' || std::strncmp(argv[3], "--", 2) == 0) {
        *error = "settings set: missing settings file";
        return false;
    }
    options->file = argv[3];
    for (int i = 4; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--clear-rois") {
            options->clearRois = true;
        } else if (argument == "--roi" || argument == "--set") {
            if (i + 1 >= argc) {
                *error = argument + ": missing value";
                return false;
            }
            OptionDefinition option = {argument == "--roi" ? "--roi" : "--set", argument == "--roi" ? OPT_ROI : OPT_SET,
                                       true};
            if (!TakeOption(option, argv[++i], options, error)) return false;
        } else if (argument.rfind("--", 0) == 0) {
            *error = "settings set does not take " + argument;
            return false;
        } else if (!TakeAssignment(argument, options, error)) {
            error->erase(0, 6);  // the assignment was given without "--set "
            return false;
        }
    }
    if (options->assignments.empty() && options->rois.empty() && !options->clearRois) {
        *error = "settings set: no NAME=VALUE given";
        return false;
    }
    return true;
}
}  // namespace

bool ParseBatchArguments(int argc, const char* const* argv, BatchOptions* options, std::string* error) {
    if (argc < 2) {
        *error = "missing subcommand";
        return false;
    }
    if (std::strcmp(argv[1], "settings") == 0) return ParseSettingsCommand(argc, argv, options, error);
    const SubcommandDefinition* subcommand = nullptr;
    for (const SubcommandDefinition& s : SUBCOMMANDS)
        if (std::strcmp(argv[1], s.name) == 0) subcommand = &s;
    if (!subcommand) {
        *error = std::string("unknown subcommand ") + argv[1];
        return false;
    }
    options->command = subcommand->command;
    int first = 2;
    if (subcommand->command != BATCH_CAPTURE) {
        if (argc < 3 || argv[2][0] == '\0' || std::strncmp(argv[2], "--", 2) == 0) {
            *error = std::string(subcommand->name) + ": missing file argument";
            return false;
        }
        options->file = argv[2];
        first = 3;
    }
    for (int i = first; i < argc; ++i) {
        const OptionDefinition* option = nullptr;
        for (const OptionDefinition& o : OPTIONS)
            if (std::strcmp(argv[i], o.name) == 0) option = &o;
        if (!option) {
            *error = std::string("unknown argument ") + argv[i];
            return false;
        }
        if (!(subcommand->options & option->bit)) {
            *error = std::string(subcommand->name) + " does not take " + option->name;
            return false;
        }
        std::string value;
        if (option->takesValue) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                *error = std::string(option->name) + ": missing value";
                return false;
            }
            value = argv[++i];
        }
        if (!TakeOption(*option, value, options, error)) return false;
    }
    return true;
}

const char* BatchUsage() {
    return "usage:\n"
           "  tik-cli defaults OUT.ini          write the default settings record\n"
           "  tik-cli replay IN.wav [options]   replay a WAV file through the detector\n"
           "  tik-cli open IN.pls [options]     open a data file with its stored settings\n"
           "  tik-cli load IN.pls [options]     open a data file keeping the current settings\n"
           "  tik-cli capture [options]         live acquisition from an audio device without a display:\n"
           "    --device N|NAME                 the input device by number or by name\n"
           "    --seconds S                     the acquisition time; Ctrl+C (SIGINT) or SIGTERM also stops,\n"
           "                                    and the data file of --save is then written whole\n"
           "  tik-cli settings show [FILE]      every field of the settings record as NAME=VALUE (of FILE.ini,\n"
           "                                    the settings stored in FILE.pls, or the program's settings file)\n"
           "  tik-cli settings set FILE.ini NAME=VALUE... [--roi ...] [--clear-rois]\n"
           "                                    change fields of a settings file in place\n"
           "  tik-cli shape IN.wav [--settings F] [--set N=V] [--save-settings OUT.ini]\n"
           "                                    the pulse-shape template from a sound file (printed, and\n"
           "                                    written with the settings to OUT.ini)\n"
           "  tik-cli --help | --version        this text, or the program's name and version\n"
           "options (applied in this order):\n"
           "  --settings FILE.ini               load this settings file first\n"
           "  --set NAME=VALUE                  change one setting before the run (repeatable; names below)\n"
           "  --clear-rois                      free every region of interest\n"
           "  --roi CHANNEL=START:END           add a region (left or right; arb.u, or the calibrated\n"
           "                                    quantity such as keV while the channel's calibration is used)\n"
           "  --background FILE                 use the pulses of FILE (pls or wav) as background\n"
           "  --save OUT.pls                    write the data file after the run\n"
           "  --export KIND=OUT.txt             rate-time, rate-hist, interval, width, height, height-time,\n"
           "                                    roi, roi-time, coincident, peaks (repeatable)\n"
           "  --export KIND=FILE                the spectrum for other programs: n42 (N42 XML), npes (NPES\n"
           "                                    JSON), spe (IAEA SPE), spectrum-csv (CSV)\n"
           "  --summary                         print the results as one JSON object (with peaks,\n"
           "                                    nuclides and counting statistics)\n"
           "setting names (as \"settings show\" prints them; CH is left or right):\n"
           "  inputDevice inputRateIndex inputBitsCode inputFormat inputChannels outputDevice\n"
           "  outputRateIndex outputBitsCode outputFormat outputChannels   list positions of Audio Interface\n"
           "  CH.minHeight CH.maxDistortion CH.correction CH.boostGain CH.acquisitionTime CH.maxPulses\n"
           "  CH.beginTime CH.durationTime CH.timeStep CH.rateBinSize CH.intervalBinSize CH.sFold\n"
           "  CH.widthBinSize CH.heightBinSize      numbers in the units of Data Acquisition and Analysis\n"
           "  CH.useShapeMethod CH.useAdvancedFilter CH.logRateVsTime CH.logRateHistogram\n"
           "  CH.logIntervalHistogram CH.logWidthHistogram CH.subtractBackground CH.useCalibration\n"
           "  CH.gaussianCorrelation CH.logHeightHistogram CH.sumQuantity      0 or 1\n"
           "  channelSelection                  0 Left All ... 5 Right Anticoincidence\n"
           "  comments                          a text, plain or \"quoted\" with \\\" \\\\ \\r \\n \\t \\xHH\n"
           "  CH.filterHeight CH.filterDistortion CH.filterWidth                0 or 1 (Advanced Pulse Filter)\n"
           "  CH.filterHeightMin/Max CH.filterDistortionMin/Max (arb.u) CH.filterWidthMin/Max (us)\n"
           "  windowN.length windowN.flags windowN.showCommand windowN.minPosition=X,Y\n"
           "  windowN.maxPosition=X,Y windowN.normalPosition=LEFT,TOP,RIGHT,BOTTOM   N = 0..6\n"
           "  CH.pulseShape=60 numbers   CH.shapePointUsed=60 digits 0/1   (as stored)\n"
           "  CH.calibration=MEAN:SD:QUANTITY,...   CH.quantityUnits=TEXT   CH.calibrationMode=0|1|2\n"
           "  CH.roiN=START_BIN:END_BIN:START:END:MEAN:SD:GROSS:NET   region slot N = 0..31 as stored\n"
           "Values go through the rules of the dialog that edits the field (clamped, on its grid, rounded to\n"
           "the decimals shown); a value the dialog refuses, an unknown name or a malformed value stops with\n"
           "exit status 2 before anything runs or is written.\n"
           "The program starts from its settings file (TIK_SETTINGS names another one). \"open\" takes the\n"
           "settings stored in the data file, which replace those of --settings, --set and --roi.\n";
}
