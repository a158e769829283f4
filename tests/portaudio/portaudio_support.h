// Helpers of the live-audio tests: a private ALSA configuration with a file-fed PCM ("filecap"),
// the headless event loop run with a timeout, wave formats and byte patterns.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/ui.h"

// Folder of this test program's files; the ALSA configuration inside it is in force (ALSA_CONFIG_PATH)
// before PortAudio starts.
const std::string& AudioTestFolder();

// Runs the headless event loop, handing every audio notification to handler until it returns true.
// False when `seconds` pass first.
bool RunNotifications(const std::function<bool(AudioNotification kind, int index)>& handler, double seconds);
// Delivers every notification posted so far and returns them in order.
std::vector<std::pair<AudioNotification, int>> CollectNotifications();

WaveFormat MakeFormat(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t mask);
int FindInputDevice(const std::string& name);
int FindOutputDevice(const std::string& name);

// Deterministic bytes that never repeat with a short period, so a misplaced block shows.
std::vector<uint8_t> PatternBytes(size_t count, uint32_t seed);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::string& path);

// Fixture: CAPTURE_FILE and PLAYBACK_FILE point at this test's own files, no generator settings are
// in the environment; every stream is closed and every notification drained afterwards.
class LiveAudioTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string capturePath, playbackPath;
};
