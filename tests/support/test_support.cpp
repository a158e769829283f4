// The shared test fixture.
#include "tests/support/test_support.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/settings.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "ui/program_state.h"

void TikTest::SetUp() {
    HeadlessReset();
    ScriptedAudioReset();
    ResetProgramState();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path base = std::filesystem::temp_directory_path() / "tik-tests";
    tempDirectory = (base / (std::string(info->test_suite_name()) + "." + info->name())).string();
    std::filesystem::remove_all(tempDirectory);
    std::filesystem::create_directories(tempDirectory);
    SetSettingsFilePath(TempPath("tik.ini"));
}

void TikTest::TearDown() { std::filesystem::remove_all(tempDirectory); }

std::string TikTest::TempPath(const std::string& name) const { return tempDirectory + "/" + name; }

std::vector<unsigned char> TikTest::ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void TikTest::WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
