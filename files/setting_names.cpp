// Settings by name: the field names of the settings record and the NAME=VALUE parser.
#include "files/setting_names.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "analysis/roi.h"
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
const char* const FILTER_ENABLE_NAMES[3] = {"filterHeight", "filterDistortion", "filterWidth"};
const char* const FILTER_LIMIT_NAMES[6] = {"filterHeightMin",     "filterHeightMax", "filterDistortionMin",
                                           "filterDistortionMax", "filterWidthMin",  "filterWidthMax"};
const char* const WINDOW_PART_NAMES[WINDOW_PART_COUNT] = {"length",      "flags",       "showCommand",
                                                          "minPosition", "maxPosition", "normalPosition"};
constexpr int WINDOW_PART_VALUES[WINDOW_PART_COUNT] = {1, 1, 1, 2, 2, 4};

// Channel-less names and per-channel names that are a single word after the prefix.
struct NamedTarget {
    const char* name;
    SettingTarget target;
};
constexpr NamedTarget CHANNEL_WORDS[] = {
    {"pulseShape", SETTING_PULSE_SHAPE},         {"shapePointUsed", SETTING_SHAPE_POINT_USED},
    {"calibration", SETTING_CALIBRATION},        {"quantityUnits", SETTING_QUANTITY_UNITS},
    {"calibrationMode", SETTING_CALIBRATION_MODE},
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int FindName(const std::string& name, const char* const* names, int count) {
    for (int i = 0; i < count; ++i)
        if (name == names[i]) return i;
    return -1;
}

// A small whole number written as digits only (no sign, no leading zeros beyond "0"); -1 otherwise.
int SmallNumber(const std::string& text, int maximum) {
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0')) return -1;
    int value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return -1;
        value = value * 10 + (c - '0');
    }
    return value <= maximum ? value : -1;
}

bool ResolveChannelName(const std::string& rest, SettingKey* key) {
    int i;
    if ((i = FindName(rest, CHANNEL_FIELD_NAMES, CHANNEL_FIELD_COUNT)) >= 0) {
        *key = {SETTING_CHANNEL_FIELD, key->channel, i};
    } else if ((i = FindName(rest, CHANNEL_OPTION_NAMES, CHANNEL_OPTION_COUNT)) >= 0) {
        *key = {SETTING_CHANNEL_OPTION, key->channel, i};
    } else if ((i = FindName(rest, FILTER_ENABLE_NAMES, 3)) >= 0) {
        *key = {SETTING_FILTER_ENABLE, key->channel, i};
    } else if ((i = FindName(rest, FILTER_LIMIT_NAMES, 6)) >= 0) {
        *key = {SETTING_FILTER_LIMIT, key->channel, i};
    } else if (rest.size() > 3 && rest.compare(0, 3, "roi") == 0 && (i = SmallNumber(rest.substr(3), ROI_SLOTS - 1)) >= 0) {
        *key = {SETTING_ROI, key->channel, i};
    } else {
        for (const NamedTarget& word : CHANNEL_WORDS)
            if (rest == word.name) {
                *key = {word.target, key->channel, 0};
                return true;
            }
        return false;
    }
    return true;
}

bool ResolveName(const std::string& name, SettingKey* key) {
    if (name == "channelSelection") {
        *key = {SETTING_CHANNEL_SELECTION, 0, 0};
        return true;
    }
    if (name == "comments") {
        *key = {SETTING_COMMENTS, 0, 0};
        return true;
    }
    int audio = FindName(name, AUDIO_SETTING_NAMES, AUDIO_SETTING_COUNT);
    if (audio >= 0) {
        *key = {SETTING_AUDIO, 0, audio};
        return true;
    }
    if (name.size() > 8 && name.compare(0, 6, "window") == 0 && IsDigit(name[6]) && name[7] == '.') {
        int window = name[6] - '0';
        int part = FindName(name.substr(8), WINDOW_PART_NAMES, WINDOW_PART_COUNT);
        if (window >= PLOT_WINDOW_COUNT || part < 0) return false;
        *key = {SETTING_WINDOW, window, part};
        return true;
    }
    if (name.compare(0, 5, "left.") == 0) {
        key->channel = 0;
        return ResolveChannelName(name.substr(5), key);
    }
    if (name.compare(0, 6, "right.") == 0) {
        key->channel = 1;
        return ResolveChannelName(name.substr(6), key);
    }
    return false;
}

// A plain decimal number: optional sign, digits with an optional point, optional exponent; finite.
bool ReadDecimal(const std::string& text, double* value) {
    const char* p = text.c_str();
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
    if (*p != '\0') return false;
    // from_chars reads the same text whatever the locale of the process (it takes no '+').
    const char* first = text.c_str() + (text[0] == '+' ? 1 : 0);
    return std::from_chars(first, text.c_str() + text.size(), *value).ec == std::errc() && std::isfinite(*value);
}

// A whole number, optionally negative, within [minimum, maximum].
bool ReadWhole(const std::string& text, double minimum, double maximum, double* value) {
    size_t start = text[0] == '-' ? 1 : 0;
    if (start >= text.size() || text.size() - start > 10) return false;
    for (size_t i = start; i < text.size(); ++i)
        if (!IsDigit(text[i])) return false;
    double v = 0;
    for (size_t i = start; i < text.size(); ++i) v = v * 10 + (text[i] - '0');
    if (start) v = -v;
    if (v < minimum || v > maximum) return false;
    *value = v;
    return true;
}

// Splits at `separator`; every piece must be non-empty.
bool Split(const std::string& text, char separator, std::vector<std::string>* pieces) {
    pieces->clear();
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        std::string piece = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (piece.empty()) return false;
        pieces->push_back(piece);
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

int HexDigit(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Characters 0x80-0x9F of Windows-1252 by their code points (0 where the code is not used).
constexpr uint16_t WINDOWS_1252_HIGH[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The record's texts are Windows-1252; a command line in UTF-8 (as terminals give it) is converted.
// Text that is not UTF-8 is taken byte for byte. False for UTF-8 characters Windows-1252 lacks.
bool ToWindows1252(std::string* text) {
    std::string out;
    const std::string& in = *text;
    for (size_t i = 0; i < in.size();) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        uint32_t code;
        size_t length;
        if (c < 0x80) {
            code = c, length = 1;
        } else if (c >= 0xC2 && c < 0xE0) {
            code = c & 0x1Fu, length = 2;
        } else if (c >= 0xE0 && c < 0xF0) {
            code = c & 0x0Fu, length = 3;
        } else if (c >= 0xF0 && c < 0xF5) {
            code = c & 0x07u, length = 4;
        } else {
            return true;  // not UTF-8: bytes as they are
        }
        if (i + length > in.size()) return true;
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(in[i + k]);
            if ((next & 0xC0) != 0x80) return true;
            code = (code << 6) | (next & 0x3Fu);
        }
        i += length;
        if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
            out += static_cast<char>(code);
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32; ++k)
            if (WINDOWS_1252_HIGH[k] == code) found = k;
        if (found < 0) return false;
        out += static_cast<char>(0x80 + found);
    }
    *text = out;
    return true;
}

// A quoted text with its escapes, or a plain text taken as it is.
bool ReadText(const std::string& text, std::string* value) {
    if (text.empty() || text[0] != '"') {
        *value = text;
        return true;
    }
    std::string out;
    for (size_t i = 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            *value = out;
            return i + 1 == text.size();
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'x': {
                int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
                int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
                if (high < 0 || low < 0 || (high == 0 && low == 0)) return false;
                out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default: return false;
        }
    }
    return false;  // no closing quote
}

bool Refuse(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

// The value of a key's kind into the assignment; false with the expected form.
bool ReadValue(const std::string& text, SettingAssignment* a, std::string* error) {
    const SettingKey& key = a->key;
    std::vector<std::string> pieces;
    double v = 0;
    auto one = [&](bool ok, const char* expected) {
        if (!ok) return Refuse(error, std::string("expected ") + expected);
        a->numbers = {v};
        a->number = v;
        return true;
    };
    switch (key.target) {
        case SETTING_CHANNEL_FIELD:
        case SETTING_FILTER_LIMIT:
            return one(ReadDecimal(text, &v), "a decimal number");
        case SETTING_CHANNEL_OPTION:
        case SETTING_FILTER_ENABLE:
            v = text == "1" ? 1.0 : 0.0;
            return one(text == "0" || text == "1", "0 or 1");
        case SETTING_CHANNEL_SELECTION:
            return one(SmallNumber(text, 5) >= 0 && ReadWhole(text, 0, 5, &v), "a selection 0 to 5");
        case SETTING_AUDIO:
            return one(SmallNumber(text, MAX_LIST_POSITION) >= 0 && ReadWhole(text, 0, MAX_LIST_POSITION, &v),
                       "a list position (0, 1, ...)");
        case SETTING_CALIBRATION_MODE:
            return one(SmallNumber(text, 2) >= 0 && ReadWhole(text, 0, 2, &v),
                       "0 (Fit slope), 1 (Fit linear) or 2 (Interpolate)");
        case SETTING_COMMENTS:
        case SETTING_QUANTITY_UNITS: {
            size_t limit = key.target == SETTING_COMMENTS ? SETTING_COMMENT_LIMIT : SETTING_UNITS_LIMIT;
            std::string converted = text;
            if (!ToWindows1252(&converted)) return Refuse(error, "a character that Windows-1252 texts cannot hold");
            if (!ReadText(converted, &a->value) || a->value.find('\0') != std::string::npos)
                return Refuse(error, "expected a text, plain or in double quotes with \\\" \\\\ \\r \\n \\t \\xHH");
            if (a->value.size() > limit)
                return Refuse(error, "at most " + std::to_string(limit) + " characters");
            return true;
        }
        case SETTING_WINDOW: {
            int count = WINDOW_PART_VALUES[key.index];
            bool unsignedPart = key.index <= WINDOW_SHOW_COMMAND;
            if (!Split(text, ',', &pieces) || static_cast<int>(pieces.size()) != count)
                return Refuse(error, "expected " + std::to_string(count) + " whole number(s) separated by ','");
            for (const std::string& piece : pieces) {
                if (!ReadWhole(piece, unsignedPart ? 0.0 : -2147483648.0, unsignedPart ? 4294967295.0 : 2147483647.0,
                               &v))
                    return Refuse(error, "expected whole numbers" + std::string(unsignedPart ? " from 0" : ""));
                a->numbers.push_back(v);
            }
            return true;
        }
        case SETTING_PULSE_SHAPE:
            if (!Split(text, ',', &pieces) || pieces.size() != SHAPE_POINTS)
                return Refuse(error, "expected 60 numbers separated by ','");
            for (const std::string& piece : pieces) {
                if (!ReadDecimal(piece, &v)) return Refuse(error, "expected 60 decimal numbers");
                a->numbers.push_back(v);
            }
            return true;
        case SETTING_SHAPE_POINT_USED:
            if (text.size() != SHAPE_POINTS || text.find_first_not_of("01") != std::string::npos)
                return Refuse(error, "expected 60 digits 0 or 1, one per point");
            for (char c : text) a->numbers.push_back(c == '1' ? 1.0 : 0.0);
            return true;
        case SETTING_CALIBRATION: {
            std::vector<std::string> row;
            if (!Split(text, ',', &pieces) || pieces.size() > CALIBRATION_ROWS)
                return Refuse(error, "expected at most 16 rows MEAN:SD:QUANTITY separated by ','");
            for (const std::string& piece : pieces) {
                if (!Split(piece, ':', &row) || row.size() != 3)
                    return Refuse(error, "row " + piece + ": expected MEAN:SD:QUANTITY (arb.u, arb.u, quantity)");
                for (const std::string& number : row) {
                    if (!ReadDecimal(number, &v)) return Refuse(error, "row " + piece + ": expected decimal numbers");
                    a->numbers.push_back(v);
                }
            }
            return true;
        }
        case SETTING_ROI: {
            if (!Split(text, ':', &pieces) || pieces.size() != 8)
                return Refuse(error, "expected START_BIN:END_BIN:START:END:MEAN:SD:GROSS:NET");
            for (size_t i = 0; i < pieces.size(); ++i) {
                bool ok = i < 2 ? ReadWhole(pieces[i], -1, ROI_LAST_BIN, &v) : ReadDecimal(pieces[i], &v);
                if (!ok) return Refuse(error, "expected bins -1 to 32767 and decimal numbers");
                a->numbers.push_back(v);
            }
            bool empty = a->numbers[0] < 0 && a->numbers[1] < 0;
            if (!empty && !(a->numbers[0] >= 0 && a->numbers[0] < a->numbers[1]))
                return Refuse(error, "a region needs 0 <= START_BIN < END_BIN <= 32767 (or -1:-1:... for a free slot)");
            return true;
        }
    }
    return false;
}
}  // namespace

std::string SettingName(const SettingKey& key) {
    std::string channel = key.channel == 0 ? "left." : "right.";
    switch (key.target) {
        case SETTING_AUDIO: return AUDIO_SETTING_NAMES[key.index];
        case SETTING_CHANNEL_FIELD: return channel + CHANNEL_FIELD_NAMES[key.index];
        case SETTING_CHANNEL_OPTION: return channel + CHANNEL_OPTION_NAMES[key.index];
        case SETTING_CHANNEL_SELECTION: return "channelSelection";
        case SETTING_FILTER_ENABLE: return channel + FILTER_ENABLE_NAMES[key.index];
        case SETTING_COMMENTS: return "comments";
        case SETTING_WINDOW: return "window" + std::to_string(key.channel) + "." + WINDOW_PART_NAMES[key.index];
        case SETTING_FILTER_LIMIT: return channel + FILTER_LIMIT_NAMES[key.index];
        case SETTING_ROI: return channel + "roi" + std::to_string(key.index);
        default:
            for (const NamedTarget& word : CHANNEL_WORDS)
                if (word.target == key.target) return channel + word.name;
            return "";
    }
}

bool ParseSettingAssignment(const char* text, size_t length, SettingAssignment* assignment, std::string* error) {
    if (!text || !assignment) return false;
    const void* found = std::memchr(text, '=', length);
    if (!found) return Refuse(error, "expected NAME=VALUE");
    size_t nameLength = static_cast<size_t>(static_cast<const char*>(found) - text);
    std::string name(text, nameLength);
    std::string value(text + nameLength + 1, length - nameLength - 1);
    SettingAssignment a;
    if (!ResolveName(name, &a.key)) return Refuse(error, "unknown setting name " + name);
    if (value.empty()) return Refuse(error, "missing value");
    if (value.find('\0') != std::string::npos) return Refuse(error, "the value holds a zero byte");
    a.text = value;
    if (!ReadValue(value, &a, error)) return false;
    *assignment = a;
    return true;
}

std::string QuoteSettingText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    out += static_cast<char>(c);
                } else {
                    const char* digits = "0123456789ABCDEF";
                    out += "\\x";
                    out += digits[c >> 4];
                    out += digits[c & 15];
                }
        }
    }
    return out + "\"";
}
