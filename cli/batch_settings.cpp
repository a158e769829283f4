// tik-cli's settings commands: "settings show" prints every field of a settings record as NAME=VALUE,
// "settings set" changes fields of a settings file in place through the settings dialogs, and the
// settings part of every run (--settings, --set, --clear-rois, --roi).
#include "cli/batch_settings.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli/setting_apply.h"
#include "core/settings.h"
#include "files/data_file_format.h"
#include "files/setting_values.h"
#include "platform/headless/headless.h"
#include "ui/commands.h"
#include "ui/startup.h"

namespace {
void Fail(const std::string& text) { std::fprintf(stderr, "tik-cli: %s\n", text.c_str()); }

// The settings of a settings file (7184 bytes) or of a data file that stores them, with the sample
// rate its width limits are shown at. False with a reason.
bool ReadRecordOf(const std::string& path, SettingsRecord* record, uint32_t* rate, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() == SETTINGS_RECORD_SIZE) {
        std::memcpy(record, bytes.data(), SETTINGS_RECORD_SIZE);
        *rate = dataSampleRate;
        return true;
    }
    DataFileHeader header;
    if (bytes.size() >= sizeof(header)) {
        std::memcpy(&header, bytes.data(), sizeof(header));
        DataFileLayout layout = DescribeDataFile(header);
        if (layout.kind == DATA_FILE_CURRENT && DataFileSampleRate(header, layout.kind, rate)) {
            *record = header.settings;
            return true;
        }
    }
    *error = "neither a settings file (7184 bytes) nor a data file that stores its settings: " + path;
    return false;
}

// Writes the record beside the target and renames it over the target: a failed write leaves the
// file as it was.
bool WriteRecord(const std::string& path) {
    std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(&settings, 1, SETTINGS_RECORD_SIZE, file) == SETTINGS_RECORD_SIZE;
    ok = std::fclose(file) == 0 && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
}  // namespace

void PrintSettings(const SettingsRecord& record, uint32_t rate, const std::vector<SettingKey>& keys) {
    for (const SettingKey& key : keys)
        std::printf("%s=%s\n", SettingName(key).c_str(), FormatSettingValue(record, key, rate).c_str());
}

int ShowSettings(const BatchOptions& options) {
    SettingsRecord record;
    uint32_t rate = dataSampleRate;
    std::string error;
    if (!options.file.empty()) {
        if (!ReadRecordOf(options.file, &record, &rate, &error)) {
            Fail(error);
            return 1;
        }
    } else {
        // The program's own settings file, or the defaults it would start with.
        InitialiseSettingsPaths();
        if (!ReadRecordOf(SettingsFilePath(), &record, &rate, &error)) {
            Fail("note: no usable settings file " + SettingsFilePath() + ", the defaults are shown");
            SetDefaultSettings(record);
        }
    }
    PrintSettings(record, rate, SettingKeysInRecordOrder(record));
    return std::fflush(stdout) == 0 ? 0 : 1;
}

bool ApplyBatchSettings(const BatchOptions& options) {
    if (!options.settingsFile.empty()) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(options.settingsFile, error)) {
            Fail("cannot read " + options.settingsFile);
            return false;
        }
        if (std::filesystem::file_size(options.settingsFile, error) != SETTINGS_RECORD_SIZE) {
            Fail("not a settings file: " + options.settingsFile);
            return false;
        }
        Headless().fileAnswers = {options.settingsFile};
        SendCommand(WND_PULSES, IDM_LOAD_SETTINGS);
        Headless().fileAnswers.clear();
    }
    std::string error;
    for (size_t i = 0; i < options.assignments.size(); ++i)
        if (!ApplySettingAssignment(options.assignments[i], &error)) {
            Fail(options.assignmentTexts[i] + ": " + error);
            return false;
        }
    if (options.clearRois) ClearAllRois();
    for (size_t i = 0; i < options.rois.size(); ++i)
        if (!AddRoiRequest(options.rois[i], &error)) {
            Fail("--roi " + options.roiTexts[i] + ": " + error);
            return false;
        }
    return true;
}

int SetSettings(const BatchOptions& options) {
    SettingsRecord record;
    uint32_t rate = 0;
    std::string error;
    std::error_code sizeError;
    if (std::filesystem::file_size(options.file, sizeError) != SETTINGS_RECORD_SIZE ||
        !ReadRecordOf(options.file, &record, &rate, &error)) {
        Fail("not a settings file (7184 bytes): " + options.file);
        return 1;
    }
    if (!StartProgram(nullptr)) return 1;
    // The file's record as it is (no device check, no re-derivation): only the named fields change.
    settings = record;
    BatchOptions changes = options;
    changes.settingsFile.clear();
    if (!ApplyBatchSettings(changes)) return 2;
    if (!WriteRecord(options.file)) {
        Fail("cannot write " + options.file);
        return 1;
    }
    return 0;
}

bool SaveSettingsRecord(const std::string& path) {
    if (WriteRecord(path)) return true;
    Fail("cannot write " + path);
    return false;
}
