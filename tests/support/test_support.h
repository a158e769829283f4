// Shared test fixture: every test starts from the program's start-up state with a fresh headless
// window side, a default scripted audio device and its own temporary folder.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

class TikTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A path inside this test's own temporary folder.
    std::string TempPath(const std::string& name) const;
    static std::vector<unsigned char> ReadFileBytes(const std::string& path);
    static void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);

    std::string tempDirectory;
};

// A test that runs the whole program from its start-up: the settings file is the test's own
// (TIK_SETTINGS points at it while the test runs).
class ProgramTest : public TikTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Writes the current record as the settings file, then runs the start-up sequence.
    void StartWithSettings();
    // Runs the start-up sequence (with the settings file as it is, or without one).
    void Start(const char* commandLine = nullptr);
    static bool MenuEnabled(int command);
    // Half a second of 16-bit stereo at 48000 Hz: rectangular 8-frame pulses of 40 % full scale in
    // both channels, every `spacing` frames from frame `first` on.
    static std::vector<uint8_t> PulseBlock(int frames = 24000, int first = 100, int spacing = 1000);

    std::string settingsFile;
};
