// PortAudio backend, devices: library start-up, the input and output device lists of every host API
// (plus the built-in pulse generator), product names in Windows-1252, and the format queries.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "acquisition/pulse_generator.h"
#include "platform/portaudio/portaudio_backend.h"

namespace {
struct DeviceEntry {
    PaDeviceIndex index;
    std::string name;
};

// Windows-1252 bytes 0x80-0x9F and the code points they stand for (0 where the byte is unused).
constexpr uint16_t WINDOWS_1252_HIGH[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 0x88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 0x98
};

char ToWindows1252(uint32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<char>(codePoint);
    for (int i = 0; i < 32; i++)
        if (WINDOWS_1252_HIGH[i] != 0 && WINDOWS_1252_HIGH[i] == codePoint)
            return static_cast<char>(0x80 + i);
    return '?';
}

// PortAudio names are UTF-8; the rest of the program speaks Windows-1252. Characters without a
// Windows-1252 byte, and malformed sequences, become '?'.
std::string Utf8ToWindows1252(const char* text) {
    std::string out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : "");
    while (*p) {
        uint32_t c = *p;
        int more = c < 0x80             ? 0
                   : (c & 0xE0) == 0xC0 ? 1
                   : (c & 0xF0) == 0xE0 ? 2
                   : (c & 0xF8) == 0xF0 ? 3
                                        : -1;
        if (more < 0) {
            out += '?';
            p++;
            continue;
        }
        uint32_t codePoint = more == 0 ? c : c & (0x3F >> more);
        int used = 1;
        for (; used <= more && (p[used] & 0xC0) == 0x80; used++)
            codePoint = (codePoint << 6) | (p[used] & 0x3F);
        out += used == more + 1 ? ToWindows1252(codePoint) : '?';
        p += used;
    }
    return out;
}

struct Library {
    bool started = false;
    std::vector<DeviceEntry> inputs, outputs;

    Library() {
        // A measuring program should not launch a JACK server as a side effect of listing devices.
        setenv("JACK_NO_START_SERVER", "1", 0);
        bool quiet = std::getenv("TIK_AUDIO_DEBUG") == nullptr;
        int saved = -1;
        if (quiet) {
            std::fflush(stderr);
            saved = dup(STDERR_FILENO);
            int null = open("/dev/null", O_WRONLY);
            if (saved >= 0 && null >= 0) dup2(null, STDERR_FILENO);
            if (null >= 0) close(null);
        }
        started = LoadPortAudio() && PortAudio().Initialize() == paNoError;
        if (saved >= 0) {
            std::fflush(stderr);
            dup2(saved, STDERR_FILENO);
            close(saved);
        }
        if (started) {
            PaDeviceIndex count = PortAudio().GetDeviceCount();
            for (PaDeviceIndex i = 0; i < count; i++) {
                const PaDeviceInfo* info = PortAudio().GetDeviceInfo(i);
                if (!info) continue;
                if (info->maxInputChannels > 0) Add(inputs, i, info);
                if (info->maxOutputChannels > 0) Add(outputs, i, info);
            }
        }
        inputs.push_back({paNoDevice, GENERATOR_DEVICE_NAME});
    }

    // Names stay unique: a name that another host API already gave gets its host API added.
    static void Add(std::vector<DeviceEntry>& list, PaDeviceIndex index, const PaDeviceInfo* info) {
        std::string name = Utf8ToWindows1252(info->name);
        auto same = [&name](const DeviceEntry& e) { return e.name == name; };
        if (std::find_if(list.begin(), list.end(), same) != list.end()) {
            const PaHostApiInfo* host = PortAudio().GetHostApiInfo(info->hostApi);
            name += " (" + Utf8ToWindows1252(host ? host->name : "?") + ")";
        }
        list.push_back({index, name});
    }

    ~Library() {
        ShutdownPortAudioInput();
        ShutdownPortAudioOutput();
        if (started) PortAudio().Terminate();
    }
};

Library& TheLibrary() {
    // Built on first use, so it is destroyed (streams closed, threads joined) before the program's
    // other static objects, which the transfer threads rely on.
    static Library library;
    return library;
}

bool CopyName(const std::vector<DeviceEntry>& list, int device, char* name, int capacity) {
    if (device < 0 || device >= static_cast<int>(list.size()) || !name || capacity <= 0) return false;
    const std::string& text = list[static_cast<size_t>(device)].name;
    size_t n = std::min(text.size(), static_cast<size_t>(capacity - 1));
    std::memcpy(name, text.data(), n);
    name[n] = '\0';
    return true;
}

PaDeviceIndex DeviceOf(const std::vector<DeviceEntry>& list, int device) {
    if (device < 0 || device >= static_cast<int>(list.size())) return paNoDevice;
    return list[static_cast<size_t>(device)].index;
}

constexpr uint32_t RATES[8] = {44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};
}  // namespace

bool EnsurePortAudio() {
    return TheLibrary().started;
}

PaDeviceIndex PortAudioInputDevice(int device) {
    return DeviceOf(TheLibrary().inputs, device);
}
PaDeviceIndex PortAudioOutputDevice(int device) {
    return DeviceOf(TheLibrary().outputs, device);
}

bool IsGeneratorDevice(int device) {
    const std::vector<DeviceEntry>& inputs = TheLibrary().inputs;
    return device == static_cast<int>(inputs.size()) - 1;
}

bool PortAudioFormatUsable(const WaveFormat& format) {
    return PulseGeneratorFormatUsable(format) &&
           std::find(std::begin(RATES), std::end(RATES), format.samplesPerSecond) != std::end(RATES);
}

bool PlanStream(PaDeviceIndex device, bool input, const WaveFormat& format, ChannelPlan* plan,
                PaStreamParameters* parameters) {
    const PaDeviceInfo* info = device == paNoDevice ? nullptr : PortAudio().GetDeviceInfo(device);
    if (!info || !PortAudioFormatUsable(format)) return false;
    int maxChannels = input ? info->maxInputChannels : info->maxOutputChannels;
    PaSampleFormat sampleFormat = format.bitsPerSample == 16   ? paInt16
                                  : format.bitsPerSample == 24 ? paInt24
                                                               : paInt32;
    // A generous latency: the transfer thread may wait for the core to hand back a buffer.
    PaTime latency = std::max(input ? info->defaultHighInputLatency : info->defaultHighOutputLatency, 0.1);

    ChannelPlan candidates[2];
    int count = 0;
    if (format.channels == 2)
        candidates[count++] = {2, 0};
    else if (format.channelMask == 2)
        candidates[count++] = {2, 1};
    else {
        candidates[count++] = {1, 0};
        candidates[count++] = {2, 0};
    }
    for (int i = 0; i < count; i++) {
        if (candidates[i].deviceChannels > maxChannels) continue;
        PaStreamParameters p{device, candidates[i].deviceChannels, sampleFormat, latency, nullptr};
        PaError answer = input ? PortAudio().IsFormatSupported(&p, nullptr, format.samplesPerSecond)
                               : PortAudio().IsFormatSupported(nullptr, &p, format.samplesPerSecond);
        if (answer == paFormatIsSupported) {
            *plan = candidates[i];
            *parameters = p;
            return true;
        }
    }
    return false;
}

bool WaitOrStop(TransferControl& control, int microseconds) {
    std::unique_lock<std::mutex> lock(control.mutex);
    return control.signal.wait_for(lock, std::chrono::microseconds(microseconds),
                                   [&control] { return control.stopRequested.load(); });
}

int AudioInputDeviceCount() {
    return static_cast<int>(TheLibrary().inputs.size());
}
int AudioOutputDeviceCount() {
    return static_cast<int>(TheLibrary().outputs.size());
}

bool AudioInputDeviceName(int device, char* name, int capacity) {
    return CopyName(TheLibrary().inputs, device, name, capacity);
}

bool AudioOutputDeviceName(int device, char* name, int capacity) {
    return CopyName(TheLibrary().outputs, device, name, capacity);
}

bool AudioInputFormatSupported(int device, const WaveFormat& format) {
    if (IsGeneratorDevice(device)) return PortAudioFormatUsable(format);
    ChannelPlan plan;
    PaStreamParameters parameters;
    return PlanStream(PortAudioInputDevice(device), true, format, &plan, &parameters);
}

bool AudioOutputFormatSupported(int device, const WaveFormat& format) {
    ChannelPlan plan;
    PaStreamParameters parameters;
    return PlanStream(PortAudioOutputDevice(device), false, format, &plan, &parameters);
}
