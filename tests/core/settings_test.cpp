// Settings record: layout and defaults against an independent byte image, the settings file and
// its refusals, start-up without a usable file, range checks of loaded values, QuantizeSettings, and
// where a build-folder run keeps its files.
#include "core/settings.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/click_output.h"
#include "core/run_state.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "platform/system.h"
#include "tests/support/test_support.h"

namespace {
// The default record built byte by byte from the documented layout, independently of the struct.
std::vector<unsigned char> IndependentDefaultImage() {
    std::vector<unsigned char> image(7184, 0);
    auto put32 = [&](size_t offset, uint32_t value) { std::memcpy(&image[offset], &value, 4); };
    auto putDouble = [&](size_t offset, double value) { std::memcpy(&image[offset], &value, 8); };
    put32(4, 1);   // inputRateIndex 48000
    put32(20, 1);  // outputRateIndex
    const double channel[14] = {1.0,   10.0, 0.0, 1.0,         86400, 1000000,     0,
                                86400, 1.0,  1.0, 1e6 / 48000, 1,     1e6 / 48000, 0.1};
    for (int c = 0; c < 2; ++c)
        for (int k = 0; k < 14; ++k) putDouble(32 + 112 * c + 8 * k, channel[k]);
    for (int i = 0; i < 7; ++i) {
        size_t base = 1280 + 44 * i;
        put32(base, 44);
        put32(base + 8, i == 0 ? 1 : 0);
        put32(base + 20, 0xFFFFFFFF);
        put32(base + 24, 0xFFFFFFFF);
        int32_t left = 400 * (i % 2), top = 150 * (i / 2);
        put32(base + 28, static_cast<uint32_t>(left));
        put32(base + 32, static_cast<uint32_t>(top));
        put32(base + 36, static_cast<uint32_t>(left + 400));
        put32(base + 40, static_cast<uint32_t>(top + 150));
    }
    for (int c = 0; c < 2; ++c) {
        const double limits[6] = {0.0, 4294967295.0, 0.0, 4294967295.0, 0.0, 100.0};
        for (int k = 0; k < 6; ++k) putDouble(1592 + 48 * c + 8 * k, limits[k]);
        const double runs[16][2] = {{4, -0.113544}, {4, -0.112678}, {4, -0.112886}, {4, -0.111314},
                                    {4, -0.114151}, {4, -0.068427}, {4, 0.117597},  {2, 0.310804},
                                    {4, 0.382528},  {4, 0.32301},   {4, 0.178923},  {4, 0.017796},
                                    {4, -0.11068},  {4, -0.184253}, {4, -0.206677}, {2, -0.196045}};
        int point = 0;
        for (const auto& run : runs)
            for (int i = 0; i < static_cast<int>(run[0]); ++i)
                putDouble(1688 + 480 * c + 8 * point++, run[1]);
        for (int p = 0; p < 60; ++p) image[2648 + 60 * c + p] = 1;
        size_t lastRow = 2768 + 384 * c + 24 * 15;
        putDouble(lastRow, 23);
        putDouble(lastRow + 8, 1);
        putDouble(lastRow + 16, 662);
        std::memcpy(&image[3536 + 31 * c], "Energy /keV", 11);
        for (int r = 0; r < 32; ++r) {
            size_t base = 3600 + 1792 * c + 56 * r;
            put32(base, 0xFFFFFFFF);
            put32(base + 4, 0xFFFFFFFF);
            putDouble(base + 8, -1.0);
            putDouble(base + 16, -1.0);
        }
    }
    return image;
}

std::vector<unsigned char> RecordBytes() {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&settings);
    return std::vector<unsigned char>(p, p + sizeof(settings));
}
}  // namespace

using SettingsFileTest = TikTest;
using QuantizeSettingsTest = TikTest;

TEST_F(SettingsFileTest, DefaultRecordAndTheBatchToolsDefaultsMatchTheDocumentedLayout) {
    EXPECT_EQ(RecordBytes(), IndependentDefaultImage());
    std::string out = TempPath("defaults.ini");
    ASSERT_EQ(std::system((std::string(TIK_CLI_PATH) + " defaults " + out).c_str()), 0);
    EXPECT_EQ(ReadFileBytes(out), IndependentDefaultImage());
}

TEST_F(SettingsFileTest, SaveThenLoadThroughTheDialogsGivesBackTheSameBytes) {
    settings.channel[1].minHeight = -7.25;
    settings.options[0].gaussianCorrelation = 1;
    std::strcpy(settings.comments, "calibration run");
    settings.roi[1][3] = {10, 20, 1.0, 2.0, 15.0, 2.5, 400.0, 380.0};
    const std::vector<unsigned char> changed = RecordBytes();
    std::string other = TempPath("other.ini");
    Headless().fileAnswers.push_back(other);
    ASSERT_TRUE(SaveSettingsFile(true));
    EXPECT_EQ(ReadFileBytes(other), changed);
    SetDefaultSettings(settings);
    Headless().fileAnswers.push_back(other);
    ASSERT_TRUE(LoadSettingsFile(true));
    EXPECT_EQ(RecordBytes(), changed);
    EXPECT_FALSE(LoadSettingsFile(true));  // no answer: cancelled, silent
    EXPECT_TRUE(Headless().messages.empty());
}

// Files of the wrong size and a folder in the file's place: a load leaves the record as it is (a
// chosen file is reported), start-up reports them and carries on with the defaults laid out on the
// work area.
TEST_F(SettingsFileTest, UnusableFilesAreRefusedAndReplacedAtStartUp) {
    constexpr size_t FOLDER = SIZE_MAX;
    for (size_t size : {size_t{0}, size_t{7183}, size_t{7185}, FOLDER}) {
        SCOPED_TRACE(size);
        std::string path = TempPath("bad" + std::to_string(size) + ".ini");
        if (size == FOLDER)
            std::filesystem::create_directories(path);
        else
            WriteFileBytes(path, std::vector<unsigned char>(size, 0x55));
        SetSettingsFilePath(path);
        Headless().messages.clear();
        SetDefaultSettings(settings);
        settings.channel[0].minHeight = 3.0;
        const std::vector<unsigned char> before = RecordBytes();
        EXPECT_FALSE(LoadSettingsFile(false));
        Headless().fileAnswers.push_back(path);
        EXPECT_FALSE(LoadSettingsFile(true));
        EXPECT_EQ(RecordBytes(), before);
        ASSERT_EQ(Headless().messages.size(), 1u);
        EXPECT_EQ(Headless().messages[0].text, std::string(SETTINGS_NOT_READ_MESSAGE) + "\n" + path);

        SetDefaultSettings(settings);
        Headless().workArea = {0, 32, 1920, 1112};  // a panel along the top of the screen
        LoadOrCreateSettingsAtStartup();
        ASSERT_EQ(Headless().messages.size(), 2u);
        EXPECT_EQ(Headless().messages[1].text, std::string(SETTINGS_DEFAULTS_MESSAGE) + "\n" + path);
        for (int i = 0; i < 7; ++i) {
            const WindowPlacementRecord& w = settings.windowPlacement[i];
            EXPECT_EQ(w.normalLeft, (i % 2) * 960);
            EXPECT_EQ(w.normalTop, 32 + (i / 2) * 270);
            EXPECT_EQ(w.normalRight - w.normalLeft, 960);
            EXPECT_EQ(w.normalBottom - w.normalTop, 270);
        }
        if (size == FOLDER) {
            EXPECT_TRUE(std::filesystem::is_directory(path));
            continue;
        }
        EXPECT_EQ(ReadFileBytes(path), RecordBytes());
        LoadOrCreateSettingsAtStartup();  // the written file is good: no message
        EXPECT_EQ(Headless().messages.size(), 2u);
    }
}

TEST_F(SettingsFileTest, OutOfRangeCodesInALoadedFileFallBackToDefaults) {
    SettingsRecord bad;
    SetDefaultSettings(bad);
    bad.inputRateIndex = 9;
    bad.outputRateIndex = -1;
    bad.inputBitsCode = 3;
    bad.outputFormat = 2;
    bad.inputChannels = 7;
    bad.channelSelection = 6;
    bad.calibrationMode[1] = 5;
    std::memset(bad.comments, 'x', sizeof(bad.comments));
    std::memset(bad.quantityUnits[0], 'y', sizeof(bad.quantityUnits[0]));
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&bad);
    WriteFileBytes(SettingsFilePath(), std::vector<unsigned char>(p, p + sizeof(bad)));
    ASSERT_TRUE(LoadSettingsFile(false));
    EXPECT_EQ(settings.inputRateIndex, 1);
    EXPECT_EQ(settings.outputRateIndex, 1);
    EXPECT_EQ(settings.inputBitsCode, 0);
    EXPECT_EQ(settings.outputFormat, 0);
    EXPECT_EQ(settings.inputChannels, 0u);
    EXPECT_EQ(settings.channelSelection, 0);
    EXPECT_EQ(settings.calibrationMode[1], 5);  // kept: a mode beyond the list maps heights unchanged
    EXPECT_EQ(std::strlen(settings.comments), 994u);
    EXPECT_EQ(std::strlen(settings.quantityUnits[0]), 30u);
}

TEST_F(QuantizeSettingsTest, MinimumHeightRoundsHalfAwayFromZero) {
    const double step = 1.0 / 21474836.47;
    settings.channel[0].minHeight = -0.00000003;
    settings.channel[1].minHeight = 0.00000003;
    QuantizeSettings(false);
    EXPECT_EQ(workingParameters[0][FIELD_MIN_HEIGHT], -1);
    EXPECT_DOUBLE_EQ(settings.channel[0].minHeight, -step);
    EXPECT_EQ(workingParameters[1][FIELD_MIN_HEIGHT], 1);
    EXPECT_DOUBLE_EQ(settings.channel[1].minHeight, step);

    settings.channel[0].minHeight = -0.00000001;
    settings.channel[1].minHeight = 250;
    QuantizeSettings(false);
    EXPECT_EQ(settings.channel[0].minHeight, 0.0);
    EXPECT_EQ(settings.channel[1].minHeight, 100.0);
    EXPECT_EQ(workingParameters[1][FIELD_MIN_HEIGHT], 2147483647);
}

// A new sample rate snaps the times to its grid; non-finite, huge and fractional values are clamped.
TEST_F(QuantizeSettingsTest, RateChangeSnapsTimesAndOddValuesAreClamped) {
    dataSampleRate = 96000;
    settings.channel[1].acquisitionTime = 10.0000031;
    settings.channel[0].maxPulses = 12.5;
    settings.channel[1].maxPulses = 5;
    settings.channel[0].boostGain = std::nan("");
    settings.channel[0].acquisitionTime = 1e308;
    settings.channel[0].heightBinSize = -std::numeric_limits<double>::infinity();
    settings.channel[1].timeStep = std::numeric_limits<double>::infinity();
    settings.channel[1].minHeight = std::nan("");
    QuantizeSettings(true);
    EXPECT_DOUBLE_EQ(settings.channel[1].widthBinSize, 1e6 / 96000);
    double frames = settings.channel[1].acquisitionTime * 96000;
    EXPECT_DOUBLE_EQ(frames, std::round(frames));
    EXPECT_EQ(workingParameters[1][FIELD_ACQUISITION_TIME], 960000);
    EXPECT_EQ(workingParameters[0][FIELD_TIME_STEP], 96000);
    EXPECT_EQ(settings.channel[0].boostGain, 1.0);
    EXPECT_DOUBLE_EQ(settings.channel[0].acquisitionTime, 3155692600.0);
    EXPECT_EQ(workingParameters[0][FIELD_ACQUISITION_TIME], 3155692600LL * 96000);
    EXPECT_EQ(workingParameters[0][FIELD_HEIGHT_BIN_SIZE], 215);  // the minimum, on its grid
    EXPECT_EQ(settings.channel[1].timeStep, 86400.0);
    EXPECT_NEAR(settings.channel[1].minHeight, -100.0, 1e-7);
    EXPECT_EQ(settings.channel[0].maxPulses, 13.0);
    EXPECT_EQ(settings.channel[1].maxPulses, 10.0);
}

// A run from the build folder keeps its files beside the program and reads data from the sources
// (an installed copy is checked by the install check of the test suite).
TEST_F(SettingsFileTest, BuildFolderRunKeepsSettingsAndManualBesideTheProgram) {
    std::string module = ModulePath();
    ASSERT_FALSE(GetProgramFolders().installed);
    EXPECT_TRUE(std::filesystem::exists(GetProgramFolders().data + "/resources.h"));
    unsetenv("TIK_SETTINGS");
    InitialiseSettingsPaths();
    EXPECT_EQ(SettingsFilePath(), module + ".ini");
    EXPECT_EQ(HelpFilePath(), module + ".pdf");
    setenv("TIK_SETTINGS", TempPath("named.ini").c_str(), 1);
    InitialiseSettingsPaths();
    unsetenv("TIK_SETTINGS");
    EXPECT_EQ(SettingsFilePath(), TempPath("named.ini"));
}
