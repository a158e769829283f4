// Settings by name: the field names of the settings record and the NAME=VALUE parser.
#include "files/setting_names.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "core/settings.h"

const char* const AUDIO_SETTING_NAMES[AUDIO_SETTING_COUNT] = {
    "inputDevice",  "inputRateIndex",  "inputBitsCode",  "inputChannels",  "inputFormat",
    "outputDevice", "outputRateIndex", "outputBitsCode", "outputChannels", "outputFormat"};

const char* const CHANNEL_FIELD_NAMES[CHANNEL_FIELD_COUNT] = {
    "minHeight", "maxDistortion", "correction",      "boostGain", "acquisitionTime", "maxPulses",    "beginTime",
    "durationTime", "timeStep",  "rateBinSize", "intervalBinSize", "sFold", "widthBinSize", "heightBinSize"};

const char* const CHANNEL_OPTION_NAMES[CHANNEL_OPTION_COUNT] = {
    "useShapeMethod",       "useAdvancedFilter",  "logRateVsTime",       "logRateHistogram",
    "logIntervalHistogram", "logWidthHistogram",  "subtractBackground",  "useCalibration",
    "gaussianCorrelation",  "logHeightHistogram", "sumQuantity"};

namespace {
constexpr int MAX_LIST_POSITION = 9999;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool NameIs(const char* name, size_t length, const char* wanted) {
    return std::strlen(wanted) == length && std::memcmp(name, wanted, length) == 0;
}

int FindName(const char* name, size_t length, const char* const* names, int count) {
    for (int i = 0; i < count; ++i)
        if (NameIs(name, length, names[i])) return i;
    return -1;
}

// A plain decimal number: optional sign, digits with an optional point, optional exponent.
bool IsDecimalNumber(const char* text) {
    const char* p = text;
    if (*p == '+' || *p == '-') ++p;
    int digits = 0;
    while (IsDigit(*p)) ++p, ++digits;
    if (*p == '.') {
        ++p;
        while (IsDigit(*p)) ++p, ++digits;
    }
    if (digits == 0) return false;
    if (*p == 'e' || *p == 'E') {
        ++p;
        if (*p == '+' || *p == '-') ++p;
        if (!IsDigit(*p)) return false;
        while (IsDigit(*p)) ++p;
    }
    return *p == '\0';
}

// A list position: digits only, at most MAX_LIST_POSITION.
bool ReadPosition(const char* text, double* value) {
    if (!*text) return false;
    long position = 0;
    for (const char* p = text; *p; ++p) {
        if (!IsDigit(*p)) return false;
        position = position * 10 + (*p - '0');
        if (position > MAX_LIST_POSITION) return false;
    }
    *value = static_cast<double>(position);
    return true;
}

// Resolves the name; false when it is unknown.
bool ResolveName(const char* name, size_t length, SettingAssignment* a) {
    if (NameIs(name, length, "channelSelection")) {
        a->target = SETTING_CHANNEL_SELECTION;
        a->channel = 0;
        a->index = 0;
        return true;
    }
    int audio = FindName(name, length, AUDIO_SETTING_NAMES, AUDIO_SETTING_COUNT);
    if (audio >= 0) {
        a->target = SETTING_AUDIO;
        a->channel = 0;
        a->index = audio;
        return true;
    }
    size_t prefix = 0;
    if (length > 5 && std::memcmp(name, "left.", 5) == 0) {
        a->channel = 0;
        prefix = 5;
    } else if (length > 6 && std::memcmp(name, "right.", 6) == 0) {
        a->channel = 1;
        prefix = 6;
    } else {
        return false;
    }
    int field = FindName(name + prefix, length - prefix, CHANNEL_FIELD_NAMES, CHANNEL_FIELD_COUNT);
    if (field >= 0) {
        a->target = SETTING_CHANNEL_FIELD;
        a->index = field;
        return true;
    }
    int option = FindName(name + prefix, length - prefix, CHANNEL_OPTION_NAMES, CHANNEL_OPTION_COUNT);
    if (option < 0) return false;
    a->target = SETTING_CHANNEL_OPTION;
    a->index = option;
    return true;
}
}  // namespace

bool ParseSettingAssignment(const char* text, size_t length, SettingAssignment* assignment) {
    if (!text || !assignment) return false;
    const void* found = std::memchr(text, '=', length);
    if (!found) return false;
    size_t nameLength = static_cast<size_t>(static_cast<const char*>(found) - text);
    size_t valueLength = length - nameLength - 1;
    if (valueLength == 0 || valueLength >= static_cast<size_t>(SETTING_VALUE_CAPACITY)) return false;

    SettingAssignment a{};
    if (!ResolveName(text, nameLength, &a)) return false;
    std::memcpy(a.text, text + nameLength + 1, valueLength);
    a.text[valueLength] = '\0';
    if (std::memchr(a.text, '\0', valueLength)) return false;

    switch (a.target) {
        case SETTING_CHANNEL_FIELD:
            if (!IsDecimalNumber(a.text)) return false;
            // from_chars reads the same text whatever the locale of the process (it takes no '+').
            if (std::from_chars(a.text + (a.text[0] == '+' ? 1 : 0), a.text + valueLength, a.number).ec !=
                    std::errc() ||
                !std::isfinite(a.number))
                return false;
            break;
        case SETTING_CHANNEL_OPTION:
            if (std::strcmp(a.text, "0") != 0 && std::strcmp(a.text, "1") != 0) return false;
            a.number = a.text[0] == '1' ? 1.0 : 0.0;
            break;
        case SETTING_CHANNEL_SELECTION:
            if (!ReadPosition(a.text, &a.number) || a.number > 5) return false;
            break;
        case SETTING_AUDIO:
            if (!ReadPosition(a.text, &a.number)) return false;
            break;
    }
    *assignment = a;
    return true;
}
