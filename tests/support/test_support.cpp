// The shared test fixture.
#include "tests/support/test_support.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include <unistd.h>

#include "core/settings.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "ui/program_state.h"
#include "ui/startup.h"

void TikTest::SetUp() {
    HeadlessReset();
    ScriptedAudioReset();
    ResetProgramState();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // One folder per test program run: several runs (builds side by side) never share a folder.
    std::filesystem::path base = std::filesystem::temp_directory_path() / ("tik-tests-" + std::to_string(getpid()));
    tempDirectory = (base / (std::string(info->test_suite_name()) + "." + info->name())).string();
    std::filesystem::remove_all(tempDirectory);
    std::filesystem::create_directories(tempDirectory);
    SetSettingsFilePath(TempPath("tik.ini"));
}

void TikTest::TearDown() {
    std::filesystem::remove_all(tempDirectory);
    std::error_code ignored;  // the run's folder goes with its last test
    std::filesystem::remove(std::filesystem::path(tempDirectory).parent_path(), ignored);
}

std::string TikTest::TempPath(const std::string& name) const { return tempDirectory + "/" + name; }

std::vector<unsigned char> TikTest::ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void TikTest::WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void ProgramTest::SetUp() {
    TikTest::SetUp();
    settingsFile = TempPath("tik.ini");
    setenv("TIK_SETTINGS", settingsFile.c_str(), 1);
}

void ProgramTest::TearDown() {
    unsetenv("TIK_SETTINGS");
    TikTest::TearDown();
}

void ProgramTest::StartWithSettings() {
    ASSERT_TRUE(SaveSettingsFile(false));
    Start();
}

void ProgramTest::Start(const char* commandLine) { ASSERT_TRUE(StartProgram(commandLine)); }

bool ProgramTest::MenuEnabled(int command) {
    auto it = Headless().menuEnabled.find(command);
    return it != Headless().menuEnabled.end() && it->second;
}

std::vector<uint8_t> ProgramTest::PulseBlock(int frames, int first, int spacing) {
    std::vector<uint8_t> bytes(static_cast<size_t>(frames) * 4, 0);
    const int16_t value = 13107;
    for (int f = first; f + 8 <= frames; f += spacing)
        for (int j = 0; j < 8; ++j)
            for (int c = 0; c < 2; ++c) std::memcpy(&bytes[static_cast<size_t>(f + j) * 4 + c * 2], &value, 2);
    return bytes;
}
