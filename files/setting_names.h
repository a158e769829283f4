// Settings by name, as scripts give them to the batch tool ("--set NAME=VALUE", "settings set") and
// as "settings show" prints them: the name of every field of the settings record, in record order,
// and the parser that turns one assignment into a checked key and value. The batch tool applies the
// values through the settings dialogs, so they are clamped and quantised as there.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

enum SettingTarget {
    SETTING_AUDIO,              // an "Audio Interface" field such as "inputChannels": a list position
    SETTING_CHANNEL_FIELD,      // "left." or "right." + a ChannelSettings field: a decimal number
    SETTING_CHANNEL_OPTION,     // "left." or "right." + a ChannelOptions switch: 0 or 1
    SETTING_CHANNEL_SELECTION,  // "channelSelection": 0 to 5
    SETTING_FILTER_ENABLE,      // "left.filterHeight", "left.filterDistortion", "left.filterWidth": 0 or 1
    SETTING_COMMENTS,           // "comments": a text
    SETTING_WINDOW,             // "window0.showCommand" ... : whole numbers (part: WindowPart)
    SETTING_FILTER_LIMIT,       // "left.filterHeightMin" ... "left.filterWidthMax": arb.u or µs
    SETTING_PULSE_SHAPE,        // "left.pulseShape": 60 numbers as stored
    SETTING_SHAPE_POINT_USED,   // "left.shapePointUsed": 60 digits 0 or 1
    SETTING_CALIBRATION,        // "left.calibration": MEAN:SD:QUANTITY rows separated by ','
    SETTING_QUANTITY_UNITS,     // "left.quantityUnits": a text of at most 29 characters
    SETTING_CALIBRATION_MODE,   // "left.calibrationMode": 0 to 2
    SETTING_ROI,                // "left.roiN": START_BIN:END_BIN:START:END:MEAN:SD:GROSS:NET as stored
};

// The six pieces of a window placement, in record order.
enum WindowPart {
    WINDOW_LENGTH,
    WINDOW_FLAGS,
    WINDOW_SHOW_COMMAND,
    WINDOW_MIN_POSITION,
    WINDOW_MAX_POSITION,
    WINDOW_NORMAL_POSITION,
    WINDOW_PART_COUNT
};

// Which field a name stands for.
struct SettingKey {
    SettingTarget target;
    int channel;  // 0 left, 1 right (per-channel fields); the window number for SETTING_WINDOW
    int index;    // the field, switch, audio field, filter quantity or limit, window part or ROI slot
};

struct SettingAssignment {
    SettingKey key{};
    std::string text;             // the value as given
    std::vector<double> numbers;  // the value as numbers (every kind but the texts)
    std::string value;            // the texts without quotes
    double number = 0.0;          // numbers[0], for the kinds of one number
};

// The audio fields in the order of the "Audio Interface" dialog's lists.
constexpr int AUDIO_SETTING_COUNT = 10;
extern const char* const AUDIO_SETTING_NAMES[AUDIO_SETTING_COUNT];

// Names of the channel fields and switches (without "left."/"right."), in record order.
extern const char* const CHANNEL_FIELD_NAMES[];
extern const char* const CHANNEL_OPTION_NAMES[];

// Texts of at most this many characters are taken (the comment box; the quantity edit takes 29).
constexpr size_t SETTING_COMMENT_LIMIT = 994;
constexpr size_t SETTING_UNITS_LIMIT = 29;

// The full name of a key, e.g. "left.minHeight", "window3.normalPosition", "right.roi4".
std::string SettingName(const SettingKey& key);

// Parses "NAME=VALUE" of `length` bytes (no terminator needed). False with a one-line reason in
// *error (when given) for an unknown name, a missing '=', or a value that is not of the field's kind:
// a finite decimal number for channel fields and filter limits, 0 or 1 for switches, a whole number
// in range for list positions, modes and window fields, a text of the field's length (quoted with
// "..." and the escapes \" \\ \r \n \t \xHH, or plain), rows of three numbers for the calibration,
// 60 numbers or 60 digits 0/1 for the pulse shape, a region as stored for a ROI slot.
bool ParseSettingAssignment(const char* text, size_t length, SettingAssignment* assignment,
                            std::string* error = nullptr);

// A text quoted as the parser reads it: printable ASCII as it is, \" \\ \r \n \t, other bytes \xHH.
std::string QuoteSettingText(const std::string& text);
