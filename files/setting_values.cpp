// Settings record fields as text: the keys in record order and the value of each as printed.
#include "files/setting_values.h"

#include <charconv>
#include <cstring>

#include "analysis/calibration_dialog.h"
#include "analysis/selection.h"
#include "core/number_text.h"

namespace {
// The audio fields in record order, as positions in AUDIO_SETTING_NAMES (format before channels).
constexpr int AUDIO_RECORD_ORDER[AUDIO_SETTING_COUNT] = {0, 1, 2, 4, 3, 5, 6, 7, 9, 8};
constexpr int MOST_DECIMALS = 15;
constexpr double TWO_POW_63 = 9223372036854775808.0;

uint32_t AudioValue(const SettingsRecord& r, int index) {
    const uint32_t values[AUDIO_SETTING_COUNT] = {r.inputDevice,   static_cast<uint32_t>(r.inputRateIndex),
                                                  r.inputBitsCode, r.inputChannels,
                                                  r.inputFormat,   r.outputDevice,
                                                  static_cast<uint32_t>(r.outputRateIndex), r.outputBitsCode,
                                                  r.outputChannels, r.outputFormat};
    return values[index];
}

std::string Shortest(double value) {
    char text[32];
    auto result = std::to_chars(text, text + sizeof(text), value);
    return std::string(text, result.ptr);
}

// The shortest text with at least `decimals` decimals that the dialogs read back (ParseNumber, then
// times `scale`) as exactly `stored`; the shortest exact decimal form when there is none.
std::string DialogText(double stored, double scale, int decimals) {
    if (!(scale > 0.0)) return "0";
    double shown = stored / scale;
    char text[48];
    for (int d = decimals; d <= MOST_DECIMALS; ++d) {
        double magnitude = shown < 0 ? -shown : shown;
        for (int i = 0; i < d; ++i) magnitude *= 10.0;
        if (!(magnitude < TWO_POW_63)) break;
        int length = FormatNumber(shown, d, 40, text, true);
        if (ParseNumber(text, length) * scale == stored) return text;
    }
    return Shortest(shown);
}

std::string Text(const char* field, size_t capacity) {
    const void* end = std::memchr(field, '\0', capacity);
    return std::string(field, end ? static_cast<const char*>(end) - field : capacity);
}

std::string Join(const std::vector<std::string>& pieces, char separator) {
    std::string out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i) out += separator;
        out += pieces[i];
    }
    return out;
}

bool RowEmpty(const CalibrationRow& row) { return row.mean == 0.0 && row.sd == 0.0 && row.quantity == 0.0; }

std::string WindowValue(const WindowPlacementRecord& w, int part) {
    switch (part) {
        case WINDOW_LENGTH: return std::to_string(w.length);
        case WINDOW_FLAGS: return std::to_string(w.flags);
        case WINDOW_SHOW_COMMAND: return std::to_string(w.showCommand);
        case WINDOW_MIN_POSITION: return std::to_string(w.minPositionX) + "," + std::to_string(w.minPositionY);
        case WINDOW_MAX_POSITION: return std::to_string(w.maxPositionX) + "," + std::to_string(w.maxPositionY);
        default:
            return std::to_string(w.normalLeft) + "," + std::to_string(w.normalTop) + "," +
                   std::to_string(w.normalRight) + "," + std::to_string(w.normalBottom);
    }
}
}  // namespace

double FilterLimitScale(int limit, uint32_t sampleRate) {
    if (limit < 2) return FILTER_HEIGHT_SCALE;
    if (limit < 4) return FILTER_DISTORTION_SCALE;
    return static_cast<double>(sampleRate) * 0.000001;
}

std::vector<SettingKey> SettingKeysInRecordOrder(const SettingsRecord& record) {
    std::vector<SettingKey> keys;
    for (int i : AUDIO_RECORD_ORDER) keys.push_back({SETTING_AUDIO, 0, i});
    for (int c = 0; c < 2; ++c)
        for (int k = 0; k < CHANNEL_FIELD_COUNT; ++k) keys.push_back({SETTING_CHANNEL_FIELD, c, k});
    for (int c = 0; c < 2; ++c)
        for (int k = 0; k < CHANNEL_OPTION_COUNT; ++k) keys.push_back({SETTING_CHANNEL_OPTION, c, k});
    keys.push_back({SETTING_CHANNEL_SELECTION, 0, 0});
    for (int c = 0; c < 2; ++c)
        for (int q = 0; q < 3; ++q) keys.push_back({SETTING_FILTER_ENABLE, c, q});
    keys.push_back({SETTING_COMMENTS, 0, 0});
    for (int w = 0; w < PLOT_WINDOW_COUNT; ++w)
        for (int part = 0; part < WINDOW_PART_COUNT; ++part) keys.push_back({SETTING_WINDOW, w, part});
    for (int c = 0; c < 2; ++c)
        for (int limit = 0; limit < 6; ++limit) keys.push_back({SETTING_FILTER_LIMIT, c, limit});
    for (SettingTarget target : {SETTING_PULSE_SHAPE, SETTING_SHAPE_POINT_USED, SETTING_CALIBRATION,
                                 SETTING_QUANTITY_UNITS, SETTING_CALIBRATION_MODE})
        for (int c = 0; c < 2; ++c) keys.push_back({target, c, 0});
    for (int c = 0; c < 2; ++c)
        for (int slot = 0; slot < ROI_SLOTS; ++slot)
            if (record.roi[c][slot].startBin >= 0) keys.push_back({SETTING_ROI, c, slot});
    return keys;
}

std::string FormatSettingValue(const SettingsRecord& record, const SettingKey& key, uint32_t sampleRate) {
    int c = key.channel;
    std::vector<std::string> pieces;
    switch (key.target) {
        case SETTING_AUDIO: return std::to_string(AudioValue(record, key.index));
        case SETTING_CHANNEL_FIELD:
            return DialogText(ChannelFieldValue(record.channel[c], key.index), 1.0, fieldDecimals[key.index]);
        case SETTING_CHANNEL_OPTION: {
            ChannelOptions options = record.options[c];
            return std::to_string(ChannelOptionRef(options, key.index));
        }
        case SETTING_CHANNEL_SELECTION: return std::to_string(record.channelSelection);
        case SETTING_FILTER_ENABLE: return std::to_string(record.filterEnable[c][key.index]);
        case SETTING_COMMENTS: return QuoteSettingText(Text(record.comments, COMMENT_CAPACITY));
        case SETTING_WINDOW: return WindowValue(record.windowPlacement[c], key.index);
        case SETTING_FILTER_LIMIT:
            return DialogText(record.filterLimits[c][key.index], FilterLimitScale(key.index, sampleRate),
                              FILTER_DECIMALS);
        case SETTING_PULSE_SHAPE:
            for (double point : record.pulseShape[c]) pieces.push_back(Shortest(point));
            return Join(pieces, ',');
        case SETTING_SHAPE_POINT_USED: {
            std::string digits;
            for (uint8_t used : record.shapePointUsed[c]) digits += used ? '1' : '0';
            return digits;
        }
        case SETTING_CALIBRATION:
            for (const CalibrationRow& row : record.calibration[c])
                if (!RowEmpty(row))
                    pieces.push_back(DialogText(row.mean, 1.0, CALIBRATION_DECIMALS) + ":" +
                                     DialogText(row.sd, 1.0, CALIBRATION_DECIMALS) + ":" +
                                     DialogText(row.quantity, 1.0, CALIBRATION_DECIMALS));
            return pieces.empty() ? "0:0:0" : Join(pieces, ',');
        case SETTING_QUANTITY_UNITS: return QuoteSettingText(Text(record.quantityUnits[c], QUANTITY_UNITS_CAPACITY));
        case SETTING_CALIBRATION_MODE: return std::to_string(record.calibrationMode[c]);
        case SETTING_ROI: {
            const RoiRecord& r = record.roi[c][key.index];
            pieces = {std::to_string(r.startBin), std::to_string(r.endBin), Shortest(r.startValue), Shortest(r.endValue),
                      Shortest(r.mean),           Shortest(r.sd),          Shortest(r.gross),      Shortest(r.net)};
            return Join(pieces, ':');
        }
    }
    return "";
}

bool SettingUnchanged(const SettingsRecord& record, const SettingAssignment& a, uint32_t sampleRate) {
    if (a.text == FormatSettingValue(record, a.key, sampleRate)) return true;
    // The numbers as the dialog reads them (the parser has checked that they are plain decimals).
    auto read = [&a] { return ParseNumber(a.text.c_str(), static_cast<int>(a.text.size())); };
    switch (a.key.target) {
        case SETTING_CHANNEL_FIELD: return read() == ChannelFieldValue(record.channel[a.key.channel], a.key.index);
        case SETTING_FILTER_LIMIT:
            return read() * FilterLimitScale(a.key.index, sampleRate) == record.filterLimits[a.key.channel][a.key.index];
        case SETTING_COMMENTS:
            return a.value == Text(record.comments, COMMENT_CAPACITY);
        case SETTING_QUANTITY_UNITS:
            return a.value == Text(record.quantityUnits[a.key.channel], QUANTITY_UNITS_CAPACITY);
        default: return false;  // the other kinds print in the one form the parser reads
    }
}
