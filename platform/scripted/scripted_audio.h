// Control of the scripted audio device used by the tests: which devices exist, which formats they
// accept, and what the input delivers; records what was opened, queued and written.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/audio.h"

struct ScriptedOutputWrite {
    int index;
    std::vector<uint8_t> bytes;
};

struct ScriptedAudioState {
    std::vector<std::string> inputDevices{"Scripted input"};
    std::vector<std::string> outputDevices{"Scripted output"};
    // Format acceptance; accepts everything by default.
    std::function<bool(int device, const WaveFormat&)> inputAccepts;
    std::function<bool(int device, const WaveFormat&)> outputAccepts;
    bool failInputOpen = false;
    bool failOutputOpen = false;

    bool inputOpen = false, inputStarted = false;
    int inputDevice = -1;
    WaveFormat inputFormat{};
    struct Queued {
        int index;
        uint8_t* data;
        uint32_t length;
    };
    std::deque<Queued> inputQueue;
    int inputOpens = 0, inputResets = 0, inputCloses = 0;

    bool outputOpen = false;
    int outputDevice = -1;
    WaveFormat outputFormat{};
    std::deque<int> outputQueue;  // indices written and not yet played
    std::vector<ScriptedOutputWrite> outputWrites;
    int outputOpens = 0, outputResets = 0, outputCloses = 0;
};

ScriptedAudioState& ScriptedAudio();
void ScriptedAudioReset();

// Fills the oldest queued input buffer with bytes (the rest of the buffer with zeros) and reports it
// filled. Returns false when no buffer is queued or the input is not started.
bool ScriptedDeliverInput(const uint8_t* bytes, size_t count);
// Reports the oldest written output block as played. Returns false when none is queued.
bool ScriptedPlayOutputBlock();
