// Shared test fixture: every test starts from the program's start-up state with a fresh headless
// window side, a default scripted audio device and its own temporary folder.
#pragma once
#include <gtest/gtest.h>

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
