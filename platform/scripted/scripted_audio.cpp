// Scripted audio device: deterministic stand-in for a sound card, driven by the tests.
#include "platform/scripted/scripted_audio.h"

#include <cstring>

#include "ui/host_events.h"

namespace {
ScriptedAudioState state;

bool Name(const std::vector<std::string>& devices, int device, char* name, int capacity) {
    if (device < 0 || device >= static_cast<int>(devices.size()) || !name || capacity <= 0) return false;
    std::strncpy(name, devices[static_cast<size_t>(device)].c_str(), static_cast<size_t>(capacity - 1));
    name[capacity - 1] = '\0';
    return true;
}
}  // namespace

ScriptedAudioState& ScriptedAudio() { return state; }
void ScriptedAudioReset() { state = ScriptedAudioState(); }

int AudioInputDeviceCount() { return static_cast<int>(state.inputDevices.size()); }
int AudioOutputDeviceCount() { return static_cast<int>(state.outputDevices.size()); }

bool AudioInputDeviceName(int device, char* name, int capacity) {
    return Name(state.inputDevices, device, name, capacity);
}

bool AudioOutputDeviceName(int device, char* name, int capacity) {
    return Name(state.outputDevices, device, name, capacity);
}

bool AudioInputFormatSupported(int device, const WaveFormat& format) {
    if (device < 0 || device >= AudioInputDeviceCount()) return false;
    return state.inputAccepts ? state.inputAccepts(device, format) : true;
}

bool AudioOutputFormatSupported(int device, const WaveFormat& format) {
    if (device < 0 || device >= AudioOutputDeviceCount()) return false;
    return state.outputAccepts ? state.outputAccepts(device, format) : true;
}

bool AudioOpenInput(int device, const WaveFormat& format) {
    state.inputOpens++;
    if (state.failInputOpen || !AudioInputFormatSupported(device, format)) return false;
    state.inputOpen = true;
    state.inputStarted = false;
    state.inputDevice = device;
    state.inputFormat = format;
    state.inputQueue.clear();
    return true;
}

void AudioQueueInputBuffer(int index, uint8_t* data, uint32_t length) {
    if (state.inputOpen) state.inputQueue.push_back({index, data, length});
}

void AudioStartInput() {
    if (state.inputOpen) state.inputStarted = true;
}

void AudioResetInput() {
    state.inputResets++;
    if (!state.inputOpen) return;
    state.inputStarted = false;
    // Queued buffers come back (their contents untouched), as a real device returns them on reset.
    while (!state.inputQueue.empty()) {
        int index = state.inputQueue.front().index;
        state.inputQueue.pop_front();
        OnAudioInputBufferFilled(index);
    }
}

void AudioCloseInput() {
    state.inputCloses++;
    state.inputOpen = false;
    state.inputStarted = false;
    state.inputQueue.clear();
}

// The scripted device never drops input: what the test does not deliver simply never arrives.
uint64_t AudioLostInputFrames() { return 0; }

bool ScriptedDeliverInput(const uint8_t* bytes, size_t count) {
    if (!state.inputOpen || !state.inputStarted || state.inputQueue.empty()) return false;
    ScriptedAudioState::Queued buffer = state.inputQueue.front();
    state.inputQueue.pop_front();
    size_t n = count < buffer.length ? count : buffer.length;
    if (n) std::memcpy(buffer.data, bytes, n);
    if (n < buffer.length) std::memset(buffer.data + n, 0, buffer.length - n);
    OnAudioInputBufferFilled(buffer.index);
    return true;
}

bool AudioOpenOutput(int device, const WaveFormat& format) {
    state.outputOpens++;
    if (state.failOutputOpen || !AudioOutputFormatSupported(device, format)) return false;
    state.outputOpen = true;
    state.outputDevice = device;
    state.outputFormat = format;
    state.outputQueue.clear();
    return true;
}

void AudioWriteOutput(int index, const uint8_t* data, uint32_t length) {
    if (!state.outputOpen) return;
    state.outputWrites.push_back({index, std::vector<uint8_t>(data, data + length)});
    state.outputQueue.push_back(index);
}

void AudioResetOutput() {
    state.outputResets++;
    if (!state.outputOpen) return;
    while (!state.outputQueue.empty()) {
        int index = state.outputQueue.front();
        state.outputQueue.pop_front();
        OnAudioOutputBlockDone(index);
    }
}

void AudioCloseOutput() {
    state.outputCloses++;
    state.outputOpen = false;
    state.outputQueue.clear();
}

bool ScriptedPlayOutputBlock() {
    if (!state.outputOpen || state.outputQueue.empty()) return false;
    int index = state.outputQueue.front();
    state.outputQueue.pop_front();
    OnAudioOutputBlockDone(index);
    return true;
}
