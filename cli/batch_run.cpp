// tik-cli's run: start-up, settings, background, the file, then save, exports and the summary, each
// through the command that the desktop program's menu would send.
#include "cli/batch_run.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include <csignal>
#include <cstdlib>

#include "acquisition/audio_interface.h"
#include "cli/batch_settings.h"
#include "cli/setting_apply.h"
#include "acquisition/capture.h"
#include "cli/peak_summary.h"
#include "core/run_state.h"
#include "platform/audio.h"
#include "ui/host_events.h"
#include "acquisition/pulse_store.h"
#include "analysis/series.h"
#include "core/file_name.h"
#include "core/settings.h"
#include "files/data_file.h"
#include "files/file_messages.h"
#include "files/setting_names.h"
#include "files/wav_input.h"
#include "platform/headless/headless.h"
#include "platform/system.h"
#include "ui/commands.h"
#include "ui/startup.h"

namespace {
void Fail(const std::string& text) { std::fprintf(stderr, "tik-cli: %s\n", text.c_str()); }

// Messages shown since `first` that mean a file was refused or not written.
bool FileFailureShownSince(size_t first) {
    const auto& messages = Headless().messages;
    for (size_t i = first; i < messages.size(); ++i) {
        const std::string& text = messages[i].text;
        if (text == WRONG_FORMAT_MESSAGE || text.rfind("File could not be written", 0) == 0) return true;
    }
    return false;
}

bool CheckReadable(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        Fail("cannot read " + path);
        return false;
    }
    return true;
}

// The file dialogs and the file-name buffer hold paths of at most 259 characters.
bool CheckPathLength(const std::string& path) {
    if (path.size() < static_cast<size_t>(MAX_PATH_LENGTH)) return true;
    Fail("path too long (at most 259 characters): " + path);
    return false;
}

// Sends a command whose file dialog is answered with `path`.
void SendWithFileAnswer(int command, const std::string& path) {
    Headless().fileAnswers.clear();
    Headless().fileAnswers.push_back(path);
    SendCommand(WND_PULSES, command);
    Headless().fileAnswers.clear();
}

// Progress of long replays on a terminal: one line rewritten in place.
int shownPercent = -1;

void ShowReplayProgress(uint64_t done, uint64_t total) {
    int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    if (percent == shownPercent) return;
    shownPercent = percent;
    std::fprintf(stderr, "\rreplaying %3d %%%s", percent, percent >= 100 ? "\n" : "");
    std::fflush(stderr);
}

// A replay that stopped early (a limit) leaves its progress line open.
void EndProgressLine() {
    if (shownPercent >= 0 && shownPercent < 100) std::fprintf(stderr, "\n");
    shownPercent = -1;
}

// Opens a file as the menu commands do; false when it was refused.
bool OpenFile(int command, const std::string& path) {
    size_t first = Headless().messages.size();
    if (command == IDM_OPEN_NAMED_FILE) {
        SetFileName(path.c_str());
        SendCommand(WND_PULSES, IDM_OPEN_NAMED_FILE);
    } else {
        SendWithFileAnswer(command, path);
    }
    return !FileFailureShownSince(first);
}

bool RunFile(const BatchOptions& options) {
    if (!CheckReadable(options.file)) return false;
    if (options.command == BATCH_OPEN && (!options.settingsFile.empty() || !options.assignments.empty()))
        Fail("note: open takes the settings stored in " + options.file + "; use load to keep --settings and --set");
    openWavOnly = options.command == BATCH_REPLAY;
    openRefusedNotWav = false;
    bool opened = OpenFile(options.command == BATCH_LOAD ? IDM_LOAD_DATA : IDM_OPEN_NAMED_FILE, options.file);
    openWavOnly = false;
    if (openRefusedNotWav) {
        Fail("not a WAV file: " + options.file);
        return false;
    }
    return opened;
}

// One export through its menu command, or the peak table; false when the peak table was not written.
bool WriteExport(const BatchExport& request) {
    if (request.command != BATCH_EXPORT_PEAKS) {
        SendWithFileAnswer(request.command, request.path);
        return true;
    }
    if (WritePeakTable(request.path)) return true;
    Fail("cannot write " + request.path);
    return false;
}

bool WriteResults(const BatchOptions& options) {
    if (!options.save.empty()) SendWithFileAnswer(IDM_SAVE, options.save);
    bool ok = true;
    for (const BatchExport& request : options.exports) ok = WriteExport(request) && ok;
    return ok;
}

// Every path goes through a file dialog or the file-name buffer: checked before anything runs.
bool CheckPaths(const BatchOptions& options) {
    bool ok = options.file.empty() || CheckPathLength(options.file);
    for (const std::string* path : {&options.settingsFile, &options.background, &options.save, &options.saveSettings})
        ok = (path->empty() || CheckPathLength(*path)) && ok;
    for (const BatchExport& request : options.exports) ok = CheckPathLength(request.path) && ok;
    return ok;
}

// One JSON object on standard output. Every window is shown first, so that each series is built.
void PrintSummary() {
    for (int command = IDM_VIEW_RATE_TIME; command <= IDM_VIEW_HEIGHT; ++command) SendCommand(WND_PULSES, command);
    std::printf("{\"pulseCount\":[%u,%u],\"sampleClock\":%lld,\"dataSampleRate\":%u,\"acquisitionSeconds\":%.9g,"
                "\"filteredPulseCount\":%d,\"windows\":[",
                pulseCount[0], pulseCount[1], static_cast<long long>(sampleClock), dataSampleRate, acquisitionSeconds,
                filteredPulseCount);
    for (int w = WND_PULSES; w <= WND_HEIGHT; ++w) {
        long long entries = w == WND_PULSES ? 0 : static_cast<long long>(entryCount[w - 1]);
        std::printf("%s{\"window\":%d,\"dataLength\":%lld,\"entryCount\":%lld}", w == WND_PULSES ? "" : ",", w,
                    static_cast<long long>(dataLength[w]), entries);
    }
    std::printf("]%s}\n", PeakSummaryMembers().c_str());
}

// ---- Live capture ------------------------------------------------------------------------------
volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

bool ApplyNamedSetting(const std::string& text) {
    SettingAssignment assignment;
    std::string error;
    if (!ParseSettingAssignment(text.data(), text.size(), &assignment)) return false;
    return ApplySettingAssignment(assignment, &error);
}

// The input device by number or by (exact) name; -1 when there is none such.
int FindInputDevice(const std::string& device) {
    bool digits = !device.empty() && device.find_first_not_of("0123456789") == std::string::npos;
    int count = AudioInputDeviceCount();
    if (digits) {
        int number = device.size() <= 6 ? std::atoi(device.c_str()) : -1;
        return number >= 0 && number < count ? number : -1;
    }
    char name[256];
    for (int i = 0; i < count; ++i)
        if (AudioInputDeviceName(i, name, sizeof(name)) && device == name) return i;
    return -1;
}

void ListInputDevices() {
    char name[256];
    std::fprintf(stderr, "input devices:\n");
    for (int i = 0; i < AudioInputDeviceCount(); ++i)
        if (AudioInputDeviceName(i, name, sizeof(name))) std::fprintf(stderr, "  %d  %s\n", i, name);
}

bool PrepareCapture(const BatchOptions& options) {
    EnsureAudioValidated();
    if (!options.device.empty()) {
        int device = FindInputDevice(options.device);
        if (device < 0) {
            Fail("no input device " + options.device);
            ListInputDevices();
            return false;
        }
        if (!ApplyNamedSetting("inputDevice=" + std::to_string(device))) {
            Fail("the input device " + options.device + " does not take the chosen input format");
            return false;
        }
    }
    if (options.seconds > 0.0) {
        char text[64];
        std::snprintf(text, sizeof(text), "left.acquisitionTime=%.6f", options.seconds);
        if (!ApplyNamedSetting(text)) {
            Fail("--seconds: not applied");
            return false;
        }
    }
    if (!(runState & RS_INPUT_READY)) {
        Fail("no usable input device for the chosen input format");
        return false;
    }
    return true;
}

// Once a second on a terminal: the time acquired and the pulses stored so far.
void ShowCaptureProgress() {
    static int64_t shownSecond = -1;
    if (!IsStandardErrorTerminal() || dataSampleRate == 0) return;
    int64_t second = sampleClock / dataSampleRate;
    if (second == shownSecond) return;
    shownSecond = second;
    std::fprintf(stderr, "\rcapturing %lld s, pulses %u left, %u right ", static_cast<long long>(second), pulseCount[0],
                 pulseCount[1]);
    std::fflush(stderr);
}

// Runs in the event loop: stops on a signal, ends the loop once the capture is over (unless a
// named data file keeps it waiting for the automatic restart after a stall).
void WatchCapture() {
    if (stopRequested && (runState & RS_ACQUIRING)) SendCommand(WND_PULSES, IDM_STOP);
    if (runState & RS_ACQUIRING) {
        ShowCaptureProgress();
        return;
    }
    bool waitingForRestart = Headless().timers.count(TIMER_RESTART) != 0;
    if (waitingForRestart && stopRequested) {
        // Stopped while waiting to restart after a stall: keep what was acquired since the last save.
        KillTimer(TIMER_RESTART);
        SendCommand(WND_PULSES, IDM_WRITE_DATA_FILE);
    }
    if (!waitingForRestart || stopRequested) PostQuit(0);
}

int RunCapture(const BatchOptions& options) {
    if (!PrepareCapture(options)) return 1;
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    size_t first = Headless().messages.size();
    SendCommand(WND_PULSES, IDM_START);
    if (!(runState & RS_ACQUIRING)) {
        Fail("the capture did not start");
        return 1;
    }
    if (!options.save.empty()) {
        // Named during the capture: written at Stop, and every hour (the hourly-save key).
        SendWithFileAnswer(IDM_SAVE, options.save);
        HostKeyDown(WND_PULSES, VK_F2);
    }
    Headless().idleCallback = WatchCapture;
    RunEventLoop();
    Headless().idleCallback = nullptr;
    if (IsStandardErrorTerminal()) std::fprintf(stderr, "\n");
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    uint64_t lost = AudioLostInputFrames();
    if (lost > 0) std::fprintf(stderr, "tik-cli: %llu input frames were lost\n", static_cast<unsigned long long>(lost));
    bool ok = !FileFailureShownSince(first);
    for (size_t i = first; i < Headless().messages.size(); ++i)
        if (Headless().messages[i].style & MB_ICONHAND) ok = false;
    size_t written = Headless().messages.size();
    for (const BatchExport& request : options.exports) ok = WriteExport(request) && ok;
    ok = !FileFailureShownSince(written) && ok;
    if (options.summary) PrintSummary();
    return ok ? 0 : 1;
}

// The template from a sound file as "Obtain Pulse Shape from Sound File" makes it, printed as
// NAME=VALUE lines and, with --save-settings, written with the settings.
int RunShape(const BatchOptions& options) {
    if (!CheckReadable(options.file)) return 1;
    size_t first = Headless().messages.size();
    openWavOnly = true;
    openRefusedNotWav = false;
    SendWithFileAnswer(IDM_OBTAIN_SHAPE, options.file);
    openWavOnly = false;
    EndProgressLine();
    if (openRefusedNotWav) {
        Fail("not a WAV file: " + options.file);
        return 1;
    }
    if (FileFailureShownSince(first)) return 1;
    bool updated = true;
    for (size_t i = first; i < Headless().messages.size(); ++i)
        if (Headless().messages[i].text.find("shape not updated") != std::string::npos) updated = false;
    std::vector<SettingKey> keys;
    for (SettingTarget target : {SETTING_PULSE_SHAPE, SETTING_SHAPE_POINT_USED})
        for (int c = 0; c < 2; ++c) keys.push_back({target, c, 0});
    PrintSettings(settings, dataSampleRate, keys);
    if (!options.saveSettings.empty() && !SaveSettingsRecord(options.saveSettings)) return 1;
    return updated ? 0 : 1;
}

int WriteDefaults(const std::string& path) {
    SetSettingsFilePath(path);
    if (!SaveSettingsFile(false)) {
        Fail("cannot write " + path);
        return 1;
    }
    return 0;
}
}  // namespace

int RunBatch(const BatchOptions& options) {
    Headless().echoMessagesToStderr = true;
    if (options.command == BATCH_DEFAULTS) return WriteDefaults(options.file);
    if (options.command == BATCH_SETTINGS_SHOW) return ShowSettings(options);
    if (!CheckPaths(options)) return 1;
    // Replays and analyses need no sound device: the sound system starts only when one is used.
    SetAudioValidationDeferred(true);
    if (options.command == BATCH_SETTINGS_SET) return SetSettings(options);
    if (!StartProgram(nullptr)) return 1;
    if (IsStandardErrorTerminal()) replayProgressHandler = ShowReplayProgress;
    // A value the dialogs refuse ends the run before anything runs, like a bad command line.
    if (!ApplyBatchSettings(options)) return 2;
    if (options.command == BATCH_SHAPE) return RunShape(options);
    if (!options.background.empty()) {
        if (!CheckReadable(options.background) || !OpenFile(IDM_LOAD_DATA, options.background)) return 1;
        SendCommand(WND_PULSES, IDM_SET_BACKGROUND);
    }
    if (options.command == BATCH_CAPTURE) return RunCapture(options);
    bool opened = RunFile(options);
    EndProgressLine();
    if (!opened) return 1;
    size_t first = Headless().messages.size();
    bool written = WriteResults(options);
    written = !FileFailureShownSince(first) && written;
    if (options.summary) PrintSummary();
    return written ? 0 : 1;
}
