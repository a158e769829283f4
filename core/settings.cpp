// The settings record: defaults, limit tables, QuantizeSettings, the settings file and its path.
#include "core/settings.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/run_state.h"
#include "platform/system.h"
#include "platform/ui.h"

SettingsRecord settings;
const uint32_t sampleRateTable[8] = {44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};
uint32_t dataSampleRate = 48000;
int64_t workingParameters[2][CHANNEL_FIELD_COUNT];

double fieldMinimum[CHANNEL_FIELD_COUNT];
double fieldMaximum[CHANNEL_FIELD_COUNT];
const int fieldDecimals[CHANNEL_FIELD_COUNT] = {4, 3, 3, 4, 4, 0, 4, 2, 4, 4, 1, 0, 1, 4};
double fieldScale[CHANNEL_FIELD_COUNT];

namespace {
constexpr double YEARS_100 = 3155692600.0;
constexpr double INITIAL_MINIMUM[CHANNEL_FIELD_COUNT] = {
    -100, 0, 0, 1, 0.01, 10, 0, 0, 0.0001, 0.0001, 1e6 / 48000, 1, 1e6 / 48000, 0.00001};
constexpr double INITIAL_MAXIMUM[CHANNEL_FIELD_COUNT] = {
    100, 100, 1000, 100, YEARS_100, 100000000, YEARS_100, YEARS_100, 86400, 10000, 10000000, 10000, 10000000, 100};
constexpr double INITIAL_SCALE[CHANNEL_FIELD_COUNT] = {
    HEIGHT_SCALE, 10000, 10000, 100000, 48000, 1, 48000, 48000, 48000, 1.0, 0.048, 1, 0.048, HEIGHT_SCALE};
constexpr double DEFAULT_CHANNEL[CHANNEL_FIELD_COUNT] = {
    1.0, 10.0, 0.0, 1.0, 86400, 1000000, 0, 86400, 1.0, 1.0, 1e6 / 48000, 1, 1e6 / 48000, 0.1};

// Default pulse shape: values of points 1-60 in runs.
struct ShapeRun {
    int count;
    double value;
};
constexpr ShapeRun DEFAULT_SHAPE[] = {{4, -0.113544}, {4, -0.112678}, {4, -0.112886}, {4, -0.111314},
                                      {4, -0.114151}, {4, -0.068427}, {4, 0.117597},  {2, 0.310804},
                                      {4, 0.382528},  {4, 0.32301},   {4, 0.178923},  {4, 0.017796},
                                      {4, -0.11068},  {4, -0.184253}, {4, -0.206677}, {2, -0.196045}};

constexpr const char* DEFAULT_QUANTITY = "Energy /keV";

std::string settingsPath;
std::string helpPath;

const char SETTINGS_FILTERS_LOAD[] =
    "Load settings file (*.ini)\0*.ini\0Settings file (*.ini)\0*.ini\0All Files (*.*)\0*.*\0";
const char SETTINGS_FILTERS_SAVE[] =
    "Save settings file (*.ini)\0*.ini\0Settings file (*.ini)\0*.ini\0All Files (*.*)\0*.*\0";

// Replaces the extension of the program's file name (or appends one when it has none).
std::string WithExtension(const std::string& path, const char* extension) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    std::string stem = (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ? path.substr(0, dot)
                                                                                                  : path;
    return stem + "." + extension;
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool TextTerminated(const char* text, size_t capacity) { return std::memchr(text, '\0', capacity) != nullptr; }

// Converts a non-negative or negative double already limited to a sane range into int64.
int64_t TruncateToInt64(double x) {
    if (!(x == x)) return 0;
    if (x >= 9.2e18) return static_cast<int64_t>(9.2e18);
    if (x <= -9.2e18) return static_cast<int64_t>(-9.2e18);
    return static_cast<int64_t>(x);
}
}  // namespace

double& ChannelFieldRef(ChannelSettings& channel, int k) {
    double* fields[CHANNEL_FIELD_COUNT] = {&channel.minHeight,    &channel.maxDistortion,   &channel.correction,
                                           &channel.boostGain,    &channel.acquisitionTime, &channel.maxPulses,
                                           &channel.beginTime,    &channel.durationTime,    &channel.timeStep,
                                           &channel.rateBinSize,  &channel.intervalBinSize, &channel.sFold,
                                           &channel.widthBinSize, &channel.heightBinSize};
    return *fields[k];
}

double ChannelFieldValue(const ChannelSettings& channel, int k) {
    return ChannelFieldRef(const_cast<ChannelSettings&>(channel), k);
}

uint8_t& ChannelOptionRef(ChannelOptions& options, int k) {
    uint8_t* switches[CHANNEL_OPTION_COUNT] = {
        &options.useShapeMethod,       &options.useAdvancedFilter,  &options.logRateVsTime,
        &options.logRateHistogram,     &options.logIntervalHistogram, &options.logWidthHistogram,
        &options.subtractBackground,   &options.useCalibration,     &options.gaussianCorrelation,
        &options.logHeightHistogram,   &options.sumQuantity};
    return *switches[k];
}

void SetDefaultSettings(SettingsRecord& record) {
    std::memset(&record, 0, sizeof(record));
    record.inputRateIndex = 1;
    record.outputRateIndex = 1;
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < CHANNEL_FIELD_COUNT; ++k) ChannelFieldRef(record.channel[c], k) = DEFAULT_CHANNEL[k];
        record.filterLimits[c][FILTER_HEIGHT_MIN] = 0.0;
        record.filterLimits[c][FILTER_HEIGHT_MAX] = 4294967295.0;
        record.filterLimits[c][FILTER_DISTORTION_MIN] = 0.0;
        record.filterLimits[c][FILTER_DISTORTION_MAX] = 4294967295.0;
        record.filterLimits[c][FILTER_WIDTH_MIN] = 0.0;
        record.filterLimits[c][FILTER_WIDTH_MAX] = 100.0;
        int j = 0;
        for (const ShapeRun& run : DEFAULT_SHAPE)
            for (int i = 0; i < run.count; ++i) record.pulseShape[c][j++] = run.value;
        for (int p = 0; p < SHAPE_POINTS; ++p) record.shapePointUsed[c][p] = 1;
        record.calibration[c][CALIBRATION_ROWS - 1] = {23.0, 1.0, 662.0};
        std::strcpy(record.quantityUnits[c], DEFAULT_QUANTITY);
        for (RoiRecord& roi : record.roi[c]) roi = {-1, -1, -1.0, -1.0, 0, 0, 0, 0};
    }
    for (int i = 0; i < PLOT_WINDOW_COUNT; ++i) {
        WindowPlacementRecord& w = record.windowPlacement[i];
        w.length = 44;
        w.flags = 0;
        w.showCommand = i == 0 ? 1 : 0;
        w.minPositionX = w.minPositionY = 0;
        w.maxPositionX = w.maxPositionY = -1;
        w.normalLeft = 400 * (i % 2);
        w.normalTop = 150 * (i / 2);
        w.normalRight = w.normalLeft + 400;
        w.normalBottom = w.normalTop + 150;
    }
}

void SanitizeSettings(SettingsRecord& record) {
    if (record.inputRateIndex < 0 || record.inputRateIndex > 7) record.inputRateIndex = 1;
    if (record.outputRateIndex < 0 || record.outputRateIndex > 7) record.outputRateIndex = 1;
    if (record.inputBitsCode > 2) record.inputBitsCode = 0;
    if (record.outputBitsCode > 2) record.outputBitsCode = 0;
    if (record.inputFormat > 1) record.inputFormat = 0;
    if (record.outputFormat > 1) record.outputFormat = 0;
    if (record.inputChannels > 2) record.inputChannels = 0;
    if (record.outputChannels > 2) record.outputChannels = 0;
    if (record.channelSelection < 0 || record.channelSelection > 5) record.channelSelection = 0;
    for (int c = 0; c < 2; ++c) {
        if (!TextTerminated(record.quantityUnits[c], QUANTITY_UNITS_CAPACITY))
            record.quantityUnits[c][QUANTITY_UNITS_CAPACITY - 1] = '\0';
    }
    if (!TextTerminated(record.comments, COMMENT_CAPACITY)) record.comments[COMMENT_MAX_LENGTH] = '\0';
}

void QuantizeSettings(bool rateChanged) {
    if (rateChanged) {
        double rate = dataSampleRate ? static_cast<double>(dataSampleRate) : 48000.0;
        for (int k : {FIELD_ACQUISITION_TIME, FIELD_BEGIN_TIME, FIELD_DURATION_TIME, FIELD_TIME_STEP,
                      FIELD_RATE_BIN_SIZE})
            fieldScale[k] = rate;
        fieldScale[FIELD_INTERVAL_BIN_SIZE] = rate * 1e-6;
        fieldScale[FIELD_WIDTH_BIN_SIZE] = rate * 1e-6;
        fieldMinimum[FIELD_INTERVAL_BIN_SIZE] = 1e6 / rate;
        fieldMinimum[FIELD_WIDTH_BIN_SIZE] = 1e6 / rate;
        for (ChannelSettings& channel : settings.channel) {
            channel.intervalBinSize = 1e6 / rate;
            channel.widthBinSize = 1e6 / rate;
        }
    }
    for (int c = 0; c < 2; ++c) {
        ChannelSettings& channel = settings.channel[c];
        double sign = channel.minHeight < 0 ? -1.0 : 1.0;
        for (int k = 0; k < CHANNEL_FIELD_COUNT; ++k)
            ChannelFieldRef(channel, k) = QuantizeChannelField(c, k, ChannelFieldRef(channel, k), sign);
    }
}

double QuantizeChannelField(int c, int k, double value, double sign) {
    if (!(value >= fieldMinimum[k])) value = fieldMinimum[k];
    if (value > fieldMaximum[k]) value = fieldMaximum[k];
    double scaled = value * fieldScale[k] + (k == FIELD_MIN_HEIGHT ? sign * 0.5 : 0.5);
    int64_t n = TruncateToInt64(scaled);
    workingParameters[c][k] = n;
    return static_cast<double>(n) / fieldScale[k];
}

namespace {
// Reads a settings file of exactly the record's size over the live record (through a copy, so a
// short read leaves it whole). False when it cannot be opened, has another size or cannot be read.
bool ReadSettingsFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    if (std::fseek(file, 0, SEEK_END) != 0 || std::ftell(file) != static_cast<long>(SETTINGS_RECORD_SIZE) ||
        std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return false;
    }
    SettingsRecord loaded;
    size_t n = std::fread(&loaded, 1, SETTINGS_RECORD_SIZE, file);
    std::fclose(file);
    if (n != SETTINGS_RECORD_SIZE) return false;
    SanitizeSettings(loaded);
    settings = loaded;
    return true;
}
}  // namespace

bool LoadSettingsFile(bool ask) {
    if (!ask) return ReadSettingsFile(settingsPath);
    char chosen[261] = {0};
    FileDialogRequest request{"Open Settings File", SETTINGS_FILTERS_LOAD, "ini", OFN_FILEMUSTEXIST | OFN_HIDEREADONLY};
    if (!AskOpenFileName(request, chosen, sizeof(chosen))) return false;
    // A file the user chose that cannot be taken over is reported; the record stays as it was.
    if (ReadSettingsFile(chosen)) return true;
    ShowMessage((std::string(SETTINGS_NOT_READ_MESSAGE) + "\n" + chosen).c_str(), MB_ICONHAND);
    return false;
}

bool SaveSettingsFile(bool ask) {
    std::string path = settingsPath;
    if (ask) {
        char chosen[261] = {0};
        FileDialogRequest request{"Save Settings File", SETTINGS_FILTERS_SAVE, "ini",
                                  OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY};
        if (!AskSaveFileName(request, chosen, sizeof(chosen))) return false;
        path = chosen;
    }
    if (runState & RS_READY) CaptureWindowPlacements();
    // Write beside the target and rename, so a failed write never destroys the previous file.
    std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(&settings, 1, SETTINGS_RECORD_SIZE, file) == SETTINGS_RECORD_SIZE;
    ok = (std::fclose(file) == 0) && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

void CaptureWindowPlacements() {
    for (int i = 0; i < PLOT_WINDOW_COUNT; ++i) {
        WindowPlacement placement{};
        GetPlotWindowPlacement(i, &placement);
        WindowPlacementRecord& w = settings.windowPlacement[i];
        w.length = 44;
        w.showCommand = IsPlotWindowVisible(i) ? placement.showCommand : 0;
        w.normalLeft = placement.left;
        w.normalTop = placement.top;
        w.normalRight = placement.right;
        w.normalBottom = placement.bottom;
    }
}

void LoadOrCreateSettingsAtStartup() {
    if (LoadSettingsFile(false)) return;
    // A file that is there but unusable is replaced by the defaults below: say so.
    std::error_code error;
    if (std::filesystem::exists(settingsPath, error))
        ShowMessage((std::string(SETTINGS_DEFAULTS_MESSAGE) + "\n" + settingsPath).c_str(), MB_ICONEXCLAMATION);
    WorkArea area = GetWorkArea();
    int32_t halfWidth = (area.right - area.left) / 2;
    int32_t quarterHeight = (area.bottom - area.top) / 4;
    for (int i = 0; i < PLOT_WINDOW_COUNT; ++i) {
        WindowPlacementRecord& w = settings.windowPlacement[i];
        // On the work area: rectangles are in screen pixels, and a panel may take the screen's edge.
        w.normalLeft = area.left + (i % 2) * halfWidth;
        w.normalTop = area.top + (i / 2) * quarterHeight;
        w.normalRight = w.normalLeft + halfWidth;
        w.normalBottom = w.normalTop + quarterHeight;
    }
    SaveSettingsFile(false);
}

void InitialiseSettingsPaths() {
    std::string module = ModulePath();
    const ProgramFolders& folders = GetProgramFolders();
    helpPath = folders.installed ? folders.documentation + "/tik.pdf" : WithExtension(module, "pdf");
    std::string overridePath = GetEnvironment("TIK_SETTINGS");
    if (!overridePath.empty()) {
        settingsPath = overridePath;
        return;
    }
    // Beside the program: a file placed there on purpose, or the build folder's own file. An
    // installed program never writes into its (system) folder.
    settingsPath = WithExtension(module, "ini");
    if (IsFileWritable(settingsPath)) return;
    if (!folders.installed && IsDirectoryWritable(DirectoryOf(settingsPath))) return;
    // The user's configuration folder; a relative XDG_CONFIG_HOME is invalid and ignored.
    std::string base = GetEnvironment("XDG_CONFIG_HOME");
    if (base.empty() || base[0] != '/') base = GetEnvironment("HOME") + "/.config";
    std::string directory = base + "/tik";
    MakeDirectories(directory);
    settingsPath = directory + "/tik.ini";
}

const std::string& SettingsFilePath() { return settingsPath; }
const std::string& HelpFilePath() { return helpPath; }
void SetSettingsFilePath(const std::string& path) { settingsPath = path; }

void ResetSettingsState() {
    SetDefaultSettings(settings);
    dataSampleRate = 48000;
    std::memset(workingParameters, 0, sizeof(workingParameters));
    for (int k = 0; k < CHANNEL_FIELD_COUNT; ++k) {
        fieldMinimum[k] = INITIAL_MINIMUM[k];
        fieldMaximum[k] = INITIAL_MAXIMUM[k];
        fieldScale[k] = INITIAL_SCALE[k];
    }
}

namespace {
// The record and tables hold their start-up values before main runs.
struct StaticInitialiser {
    StaticInitialiser() { ResetSettingsState(); }
} staticInitialiser;
}  // namespace
