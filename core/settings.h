// The settings record: every persistent setting in one 7184-byte structure that is also the settings
// file and part of the data-file header, its defaults, the value grid (QuantizeSettings) and its file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Indices of the 14 numeric channel parameters (ChannelSettings, in record order).
enum ChannelField {
    FIELD_MIN_HEIGHT = 0,
    FIELD_MAX_DISTORTION = 1,
    FIELD_CORRECTION = 2,
    FIELD_BOOST_GAIN = 3,
    FIELD_ACQUISITION_TIME = 4,
    FIELD_MAX_PULSES = 5,
    FIELD_BEGIN_TIME = 6,
    FIELD_DURATION_TIME = 7,
    FIELD_TIME_STEP = 8,
    FIELD_RATE_BIN_SIZE = 9,
    FIELD_INTERVAL_BIN_SIZE = 10,
    FIELD_S_FOLD = 11,
    FIELD_WIDTH_BIN_SIZE = 12,
    FIELD_HEIGHT_BIN_SIZE = 13,
    CHANNEL_FIELD_COUNT = 14
};

struct ChannelSettings {
    double minHeight;
    double maxDistortion;
    double correction;
    double boostGain;
    double acquisitionTime;
    double maxPulses;
    double beginTime;
    double durationTime;
    double timeStep;
    double rateBinSize;
    double intervalBinSize;
    double sFold;
    double widthBinSize;
    double heightBinSize;
};
static_assert(sizeof(ChannelSettings) == 112);

// Field k of a channel, by index (the fields are 14 consecutive doubles).
double& ChannelFieldRef(ChannelSettings& channel, int k);
double ChannelFieldValue(const ChannelSettings& channel, int k);

// Indices of the 11 channel switches (ChannelOptions, in record order).
enum ChannelOption {
    OPT_USE_SHAPE_METHOD = 0,
    OPT_USE_ADVANCED_FILTER = 1,
    OPT_LOG_RATE_VS_TIME = 2,
    OPT_LOG_RATE_HISTOGRAM = 3,
    OPT_LOG_INTERVAL_HISTOGRAM = 4,
    OPT_LOG_WIDTH_HISTOGRAM = 5,
    OPT_SUBTRACT_BACKGROUND = 6,
    OPT_USE_CALIBRATION = 7,
    OPT_GAUSSIAN_CORRELATION = 8,
    OPT_LOG_HEIGHT_HISTOGRAM = 9,
    OPT_SUM_QUANTITY = 10,
    CHANNEL_OPTION_COUNT = 11
};

struct ChannelOptions {
    uint8_t useShapeMethod;
    uint8_t useAdvancedFilter;
    uint8_t logRateVsTime;
    uint8_t logRateHistogram;
    uint8_t logIntervalHistogram;
    uint8_t logWidthHistogram;
    uint8_t subtractBackground;
    uint8_t useCalibration;
    uint8_t gaussianCorrelation;
    uint8_t logHeightHistogram;
    uint8_t sumQuantity;
};
static_assert(sizeof(ChannelOptions) == 11);

// Switch k of a channel, by index.
uint8_t& ChannelOptionRef(ChannelOptions& options, int k);

// The 44-byte window placement of one plot window; showCommand 0 means hidden.
struct WindowPlacementRecord {
    uint32_t length;
    uint32_t flags;
    uint32_t showCommand;
    int32_t minPositionX, minPositionY;
    int32_t maxPositionX, maxPositionY;
    int32_t normalLeft, normalTop, normalRight, normalBottom;
};
static_assert(sizeof(WindowPlacementRecord) == 44);

struct CalibrationRow {
    double mean;
    double sd;
    double quantity;
};
static_assert(sizeof(CalibrationRow) == 24);

struct RoiRecord {
    int32_t startBin;  // -1 = slot empty
    int32_t endBin;
    double startValue;
    double endValue;
    double mean;
    double sd;
    double gross;
    double net;
};
static_assert(sizeof(RoiRecord) == 56);

constexpr int FILTER_HEIGHT_MIN = 0, FILTER_HEIGHT_MAX = 1, FILTER_DISTORTION_MIN = 2,
              FILTER_DISTORTION_MAX = 3, FILTER_WIDTH_MIN = 4, FILTER_WIDTH_MAX = 5;
constexpr int SHAPE_POINTS = 60;
constexpr int CALIBRATION_ROWS = 16;
constexpr int ROI_SLOTS = 32;
constexpr int PLOT_WINDOW_COUNT = 7;
constexpr int COMMENT_CAPACITY = 995;      // bytes of the field, terminator included
constexpr int COMMENT_MAX_LENGTH = 994;    // characters
constexpr int QUANTITY_UNITS_CAPACITY = 31;

struct SettingsRecord {
    uint32_t inputDevice;
    int32_t inputRateIndex;
    uint16_t inputBitsCode;
    uint16_t inputFormat;
    uint32_t inputChannels;
    uint32_t outputDevice;
    int32_t outputRateIndex;
    uint16_t outputBitsCode;
    uint16_t outputFormat;
    uint32_t outputChannels;
    ChannelSettings channel[2];
    ChannelOptions options[2];
    int8_t channelSelection;
    uint8_t filterEnable[2][3];
    char comments[COMMENT_CAPACITY];
    WindowPlacementRecord windowPlacement[PLOT_WINDOW_COUNT];
    uint8_t padding[4];
    double filterLimits[2][6];
    double pulseShape[2][SHAPE_POINTS];
    uint8_t shapePointUsed[2][SHAPE_POINTS];
    CalibrationRow calibration[2][CALIBRATION_ROWS];
    char quantityUnits[2][QUANTITY_UNITS_CAPACITY];
    uint8_t calibrationMode[2];
    RoiRecord roi[2][ROI_SLOTS];
};

static_assert(sizeof(SettingsRecord) == 7184);
static_assert(offsetof(SettingsRecord, outputDevice) == 16);
static_assert(offsetof(SettingsRecord, outputChannels) == 28);
static_assert(offsetof(SettingsRecord, channel) == 32);
static_assert(offsetof(SettingsRecord, options) == 256);
static_assert(offsetof(SettingsRecord, channelSelection) == 278);
static_assert(offsetof(SettingsRecord, filterEnable) == 279);
static_assert(offsetof(SettingsRecord, comments) == 285);
static_assert(offsetof(SettingsRecord, windowPlacement) == 1280);
static_assert(offsetof(SettingsRecord, filterLimits) == 1592);
static_assert(offsetof(SettingsRecord, pulseShape) == 1688);
static_assert(offsetof(SettingsRecord, shapePointUsed) == 2648);
static_assert(offsetof(SettingsRecord, calibration) == 2768);
static_assert(offsetof(SettingsRecord, quantityUnits) == 3536);
static_assert(offsetof(SettingsRecord, calibrationMode) == 3598);
static_assert(offsetof(SettingsRecord, roi) == 3600);

constexpr size_t SETTINGS_RECORD_SIZE = sizeof(SettingsRecord);

// The one live settings record.
extern SettingsRecord settings;

// The eight selectable sample rates.
extern const uint32_t sampleRateTable[8];

// Sample rate of the data in memory (initially 48000).
extern uint32_t dataSampleRate;

// The channel parameters in integer working units (heights in the 32-bit sample scale, times in frames).
extern int64_t workingParameters[2][CHANNEL_FIELD_COUNT];

// Limit, decimal and scale tables of the 14 channel fields (some entries follow dataSampleRate).
extern double fieldMinimum[CHANNEL_FIELD_COUNT];
extern double fieldMaximum[CHANNEL_FIELD_COUNT];
extern const int fieldDecimals[CHANNEL_FIELD_COUNT];
extern double fieldScale[CHANNEL_FIELD_COUNT];

// One percent of a 32-bit sample's full scale: the unit of every height setting ("arb.u").
constexpr double HEIGHT_SCALE = 21474836.47;

// Fills a record with the record defaults (window rectangles of the 400 x 150 grid, window 0 shown).
void SetDefaultSettings(SettingsRecord& record);

// Range-checks values that the program indexes with (rate, bits, format and channel codes, channel
// selection, text terminators); out-of-range values fall back to their defaults. A calibration mode
// beyond the list is kept: it maps heights unchanged. A record that is already valid is left byte
// for byte unchanged.
void SanitizeSettings(SettingsRecord& record);

// Clamps and snaps both channels' parameters to their grid and fills workingParameters.
void QuantizeSettings(bool rateChanged);

// One field of QuantizeSettings: clamps `value` to field k's limits, rounds it to the nearest step of
// its grid (halves away from zero; `sign` is the pulse polarity, the sign minHeight had before
// clamping), stores the working value in workingParameters[c][k] and returns the value on the grid.
double QuantizeChannelField(int c, int k, double value, double sign);

// Reads the default settings file (ask false) or a file chosen in the open dialog (ask true). A
// chosen file that cannot be read or has the wrong size is reported with SETTINGS_NOT_READ_MESSAGE.
// The audio formats are not touched: the callers renew them (RenewAudioFormats).
bool LoadSettingsFile(bool ask);
constexpr const char* SETTINGS_NOT_READ_MESSAGE = "Settings file could not be read:";

// Writes the record to the default settings file (ask false) or to a file chosen in the save dialog.
bool SaveSettingsFile(bool ask);

// Copies each plot window's placement and visibility into windowPlacement.
void CaptureWindowPlacements();

// Start-up: load the settings file or, when that fails, lay the windows out on the work area and
// write a default file (an unusable file that was there is reported with SETTINGS_DEFAULTS_MESSAGE).
void LoadOrCreateSettingsAtStartup();
constexpr const char* SETTINGS_DEFAULTS_MESSAGE = "Settings file not usable, default settings are used:";

// Paths of the settings file and the help document. Settings: TIK_SETTINGS when set; else the
// program's path with ".ini" when that file exists and is writable, or, for a build-folder run, when
// its folder is writable; else $XDG_CONFIG_HOME/tik/tik.ini (~/.config/tik/tik.ini). Help: the
// program's path with ".pdf", or the installed manual for an installed program.
void InitialiseSettingsPaths();
const std::string& SettingsFilePath();
const std::string& HelpFilePath();
void SetSettingsFilePath(const std::string& path);

// Brings the record, the rate and the tables back to their start-up state.
void ResetSettingsState();
