// tik-fuzz-seeds: writes the seed corpora of the fuzz targets with the program's own writers — data
// files saved by "&Save" (and their older layouts), WAV files of the pulse generator, settings files,
// and the clipboard texts that the Pulse Shape and Calibration dialogs copy.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/audio_interface.h"
#include "acquisition/pulse_generator.h"
#include "acquisition/pulse_shape_dialog.h"
#include "acquisition/pulse_store.h"
#include "analysis/calibration_dialog.h"
#include "analysis/series.h"
#include "core/settings.h"
#include "files/data_file.h"
#include "files/data_file_format.h"
#include "platform/headless/headless.h"
#include "ui/commands.h"
#include "ui/program_state.h"

namespace {
std::string root;
bool failed = false;

std::string SeedPath(const char* target, const char* name) {
    std::filesystem::create_directories(root + "/" + target);
    return root + "/" + target + "/" + name;
}

void WriteBytes(const std::string& path, const void* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool ok = file && std::fwrite(data, 1, size, file) == size;
    if (file) ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "Cannot write %s\n", path.c_str());
        failed = true;
    }
}

std::vector<char> ReadBytes(const std::string& path) {
    std::vector<char> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

void FreshState() {
    HeadlessReset();
    ResetProgramState();
    BindSeries();
    AllocatePulseStore(true, false);
}

// A few pulses per channel with rising times; every third left pulse is paired with a right one.
void FillStore(uint32_t left, uint32_t right) {
    for (int c = 0; c < 2; ++c) {
        uint32_t count = c == 0 ? left : right;
        for (uint32_t i = 0; i < count; ++i) {
            PulseRecord& p = Pulse(c, i);
            p.time = 1000 + 4800 * static_cast<int64_t>(i) + 7 * c;
            p.width = 10 + i % 7;
            p.height = 21474836u * (5 + (i * 13) % 90);
            p.distortion = (i % 4) * 100000000u;
            p.partner = (i % 3 == 0 && i < (c == 0 ? right : left)) ? i : 0;
        }
        pulseCount[c] = count;
    }
    sampleClock = 1000 + 4800 * static_cast<int64_t>(left > right ? left : right);
}

void SaveDataFile(const std::string& path) {
    Headless().fileAnswers.push_back(path);
    SaveCommand(WND_PULSES);
}

// A saved file rewritten with another magic or version (the layouts that older programs wrote);
// the records stay where the header size field says.
void Relabel(const std::string& from, const std::string& to, const char* magic, uint32_t version,
             uint32_t headerSize) {
    std::vector<char> bytes = ReadBytes(from);
    if (bytes.size() < sizeof(DataFileHeader)) {
        failed = true;
        return;
    }
    DataFileHeader header;
    std::memcpy(&header, bytes.data(), sizeof(header));
    std::memcpy(header.magic, magic, 4);
    header.version = version;
    header.headerSize = headerSize;
    std::vector<char> out(headerSize, '\0');
    std::memcpy(out.data(), &header, headerSize < sizeof(header) ? headerSize : sizeof(header));
    out.insert(out.end(), bytes.begin() + sizeof(DataFileHeader), bytes.end());
    WriteBytes(to, out.data(), out.size());
}

void DataFileSeeds() {
    FreshState();
    settings.inputChannels = 2;
    settings.channel[0].minHeight = 2.5;
    settings.options[0].useCalibration = 1;
    settings.options[1].gaussianCorrelation = 1;
    settings.calibration[0][CALIBRATION_ROWS - 2] = {10.0, 0.8, 100.0};
    settings.roi[0][0] = {50, 120, 5.0, 12.0, 0, 0, 0, 0};
    std::snprintf(settings.comments, sizeof(settings.comments), "%s",
                  "<2024/01/02 03:04:05 0, 2024/01/02 04:04:05 3600>");
    FillStore(40, 25);
    std::string both = SeedPath("fuzz_data_file", "saved_both.pls");
    SaveDataFile(both);

    FreshState();
    settings.inputChannels = 1;
    FillStore(0, 12);
    SaveDataFile(SeedPath("fuzz_data_file", "saved_right.pls"));

    FreshState();
    SaveDataFile(SeedPath("fuzz_data_file", "saved_empty.pls"));

    // Enough records that the old layout's short header still makes a file of the smallest size read.
    FreshState();
    FillStore(100, 40);
    std::string many = SeedPath("fuzz_data_file", "saved_many.pls");
    SaveDataFile(many);

    Relabel(both, SeedPath("fuzz_data_file", "relabel_version30.pls"), "PULS", 30, DATA_FILE_HEADER_SIZE);
    Relabel(both, SeedPath("fuzz_data_file", "relabel_version21.pls"), "PULS", 21, DATA_FILE_HEADER_SIZE);
    Relabel(both, SeedPath("fuzz_data_file", "relabel_version0.pls"), "PULS", 0, VERSION_0_HEADER_SIZE);
    Relabel(many, SeedPath("fuzz_data_file", "relabel_old_puls.pls"), "Puls", 3, OLD_PULS_HEADER_SIZE);
}

void WavSeed(const char* target, const char* name, uint32_t channelCode, int32_t rateIndex, uint16_t bitsCode,
             double seconds) {
    PulseGeneratorParameters parameters;
    parameters.pulseRate = 2000.0;
    WaveFormat format = BuildWaveFormat(0, channelCode, rateIndex, bitsCode);
    if (!WritePulseGeneratorWav(SeedPath(target, name).c_str(), parameters, format, seconds)) failed = true;
}

void WavSeeds() {
    for (const char* target : {"fuzz_wav", "fuzz_data_file"}) {
        WavSeed(target, "generator_mono16_48k.wav", 0, 1, 0, 0.02);
        WavSeed(target, "generator_stereo24_44k.wav", 2, 0, 1, 0.015);
        WavSeed(target, "generator_right32_96k.wav", 1, 3, 2, 0.01);
    }
}

void SettingsSeeds() {
    FreshState();
    SetSettingsFilePath(SeedPath("fuzz_settings_file", "saved_default.ini"));
    if (!SaveSettingsFile(false)) failed = true;
    settings.inputChannels = 2;
    settings.channelSelection = 4;
    settings.options[1].useShapeMethod = 1;
    settings.filterEnable[0][1] = 1;
    settings.calibrationMode[1] = 2;
    std::snprintf(settings.quantityUnits[1], sizeof(settings.quantityUnits[1]), "%s", "Charge /pC");
    std::snprintf(settings.comments, sizeof(settings.comments), "%s", "Settings with a comment \xB5s");
    SetSettingsFilePath(SeedPath("fuzz_settings_file", "saved_changed.ini"));
    if (!SaveSettingsFile(false)) failed = true;
}

void ClipboardSeed(const char* target, const char* name) {
    const std::string& text = Headless().clipboard;
    WriteBytes(SeedPath(target, name), text.data(), text.size());
}

void PasteSeeds() {
    FreshState();
    OpenPulseShapeDialog(NO_OWNER);
    HeadlessPressButton(IDD_PULSE_SHAPE, IDC_SHAPE_COPY_LEFT);
    ClipboardSeed("fuzz_shape_paste", "copied_default");
    HeadlessSetCheck(IDD_PULSE_SHAPE, ShapePointUsedId(0, 3), false);
    HeadlessPressButton(IDD_PULSE_SHAPE, IDC_SHAPE_OK);
    OpenPulseShapeDialog(NO_OWNER);
    HeadlessPressButton(IDD_PULSE_SHAPE, IDC_SHAPE_COPY_LEFT);
    ClipboardSeed("fuzz_shape_paste", "copied_normalised");
    const char separators[] = "1;2\r\n3\r\n";
    const char trailingBlank[] = "1 \r\n2\r\n3\r\n";
    WriteBytes(SeedPath("fuzz_shape_paste", "separators"), separators, sizeof(separators) - 1);
    WriteBytes(SeedPath("fuzz_shape_paste", "trailing_blank"), trailingBlank, sizeof(trailingBlank) - 1);

    FreshState();
    OpenCalibrationDialog();
    HeadlessPressButton(IDD_CALIBRATION, IDC_CALIBRATION_COPY_LEFT);
    ClipboardSeed("fuzz_calibration_paste", "copied_default");
    HeadlessTypeText(IDD_CALIBRATION, CalibrationEditId(0, 0, 0), "12.5");
    HeadlessTypeText(IDD_CALIBRATION, CalibrationEditId(0, 0, 1), "0.75");
    HeadlessTypeText(IDD_CALIBRATION, CalibrationEditId(0, 0, 2), "356");
    HeadlessPressButton(IDD_CALIBRATION, IDC_CALIBRATION_APPLY);
    HeadlessPressButton(IDD_CALIBRATION, IDC_CALIBRATION_COPY_LEFT);
    ClipboardSeed("fuzz_calibration_paste", "copied_two_points");
    const char mixed[] = "1\t2\t3\r\n4;5 6\r\n";
    const char openRow[] = "1\t2\t\r\n3\t4\r\n";
    WriteBytes(SeedPath("fuzz_calibration_paste", "mixed_separators"), mixed, sizeof(mixed) - 1);
    WriteBytes(SeedPath("fuzz_calibration_paste", "open_row"), openRow, sizeof(openRow) - 1);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tik-fuzz-seeds DIR    writes DIR/<fuzz target>/<seed files>\n");
        return 2;
    }
    root = argv[1];
    DataFileSeeds();
    WavSeeds();
    SettingsSeeds();
    PasteSeeds();
    for (const RecordedMessage& message : Headless().messages)
        std::fprintf(stderr, "message: %s\n", message.text.c_str());
    return failed ? 1 : 0;
}
