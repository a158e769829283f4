// Settings by name, as scripts give them to the batch tool ("--set NAME=VALUE"): the names of the
// settings record's fields and the parser that turns one assignment into a checked target and value.
// The values are applied by the batch tool through the settings dialogs, so they are clamped and
// quantised as there.
#pragma once
#include <cstddef>

enum SettingTarget {
    SETTING_CHANNEL_FIELD,      // "left." or "right." + a ChannelSettings field: a decimal number
    SETTING_CHANNEL_OPTION,     // "left." or "right." + a ChannelOptions switch: 0 or 1
    SETTING_CHANNEL_SELECTION,  // "channelSelection": 0 to 5
    SETTING_AUDIO,              // an "Audio Interface" field such as "inputChannels": a list position
};

constexpr int SETTING_VALUE_CAPACITY = 64;

struct SettingAssignment {
    SettingTarget target;
    int channel;                       // 0 left, 1 right (channel fields and switches)
    int index;                         // ChannelField, ChannelOption, or the position in AUDIO_SETTING_NAMES
    double number;                     // the value as a number
    char text[SETTING_VALUE_CAPACITY]; // the value as given (terminated)
};

// The audio fields in the order of the "Audio Interface" dialog's lists.
constexpr int AUDIO_SETTING_COUNT = 10;
extern const char* const AUDIO_SETTING_NAMES[AUDIO_SETTING_COUNT];

// Names of the channel fields and switches (without "left."/"right."), in record order.
extern const char* const CHANNEL_FIELD_NAMES[];
extern const char* const CHANNEL_OPTION_NAMES[];

// Parses "NAME=VALUE" of `length` bytes (no terminator needed). False for an unknown name, a missing
// '=', or a value that is not of the target's kind: a finite decimal number for channel fields, 0 or
// 1 for switches, a whole number from 0 (to 5 for channelSelection) for list positions.
bool ParseSettingAssignment(const char* text, size_t length, SettingAssignment* assignment);
