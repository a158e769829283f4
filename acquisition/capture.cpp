// The capture controller: the capture commands as one-step run-state transitions, the four input
// buffers cycling through the device, the watchdog, hourly and restart timers, and comment stamps.
#include "acquisition/capture.h"

#include <cstdio>
#include <cstring>

#include "acquisition/audio_interface.h"
#include "acquisition/click_output.h"
#include "acquisition/detector.h"
#include "acquisition/pulse_shape.h"
#include "acquisition/pulse_shape_dialog.h"
#include "acquisition/pulse_store.h"
#include "core/ids.h"
#include "core/number_text.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/upcalls.h"
#include "core/view_state.h"
#include "platform/audio.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace {
constexpr uint32_t BUFFER_SLACK = 4;
constexpr uint32_t BUFFER_DATA_SIZE = 1536000;  // half a second of 384000 Hz, 32-bit stereo
constexpr int BUFFER_COUNT = 4;
constexpr unsigned WATCHDOG_MS = 2000;
constexpr unsigned RESTART_MS = 60000;
constexpr const char* SHAPE_TITLE_SUFFIX = "Pulse Shape Acquisition !";

// Each buffer is 4 bytes of zero slack (read as the low bytes of the first sample) and the data area.
uint8_t inputBuffers[BUFFER_COUNT][BUFFER_SLACK + BUFFER_DATA_SIZE];
uint32_t bufferLength = 0;
int32_t currentBuffer = 0;
// Set while Stop resets the device, so buffers handed back then are neither examined nor queued.
bool stopping = false;

uint8_t* BufferData(int index) { return inputBuffers[index] + BUFFER_SLACK; }

void SetShapeTitles() {
    char title[128];
    for (int w = 0; w < 6; ++w) {
        std::snprintf(title, sizeof(title), "%s%s", plainTitles[w], SHAPE_TITLE_SUFFIX);
        SetWindowTitle(w, title);
    }
}

uint32_t HalfSecondBytes(const WaveFormat& format) {
    uint64_t bytes = static_cast<uint64_t>(format.channels) * format.bitsPerSample * format.samplesPerSecond / 16;
    return bytes > BUFFER_DATA_SIZE ? BUFFER_DATA_SIZE : static_cast<uint32_t>(bytes);
}

void CommonStart(bool shape) {
    EnsureAudioValidated();
    int32_t rateIndex = settings.inputRateIndex;
    if (rateIndex < 0 || rateIndex > 7) rateIndex = 1;
    dataSampleRate = sampleRateTable[rateIndex];
    QuantizeSettings(true);
    if (runState & RS_DAQ_DIALOG_OPEN) SendDialogEvent(IDD_DAQ, DLG_COMMAND, DIALOG_REAPPLY);
    if (runState & RS_FILTER_DIALOG_OPEN) SendDialogEvent(IDD_ADVANCED_FILTER, DLG_COMMAND, DIALOG_REAPPLY);
    DropOpenPulses();
    ResetShapeHistory();
    currentBuffer = 0;

    uint32_t clear = RS_FILES_ALLOWED | RS_PULSE_OPEN_LEFT | RS_PULSE_OPEN_RIGHT | RS_LIMIT_REACHED | RS_INPUT_READY;
    if (!(runState & RS_AUTO_RESTART)) clear |= RS_DATA_READY | RS_AUTOSAVE | RS_HOURLY_SAVE;
    runState = (runState & ~clear) | RS_ACQUIRING | (shape ? RS_SHAPE_ACQUISITION : 0u);
    // A new capture never inherits an older capture's timers.
    KillTimer(TIMER_RESTART);
    if (!(runState & RS_HOURLY_SAVE)) KillTimer(TIMER_HOURLY);
    if (shape) SetShapeTitles();

    UpdateMenuState();
    RefreshPlotWindows(false);

    AudioOpenInput(static_cast<int>(settings.inputDevice), inputWaveFormat);
    bufferLength = HalfSecondBytes(inputWaveFormat);
    for (int i = 0; i < BUFFER_COUNT; ++i) {
        std::memset(inputBuffers[i], 0, BUFFER_SLACK);
        AudioQueueInputBuffer(i, BufferData(i), bufferLength);
    }
    AudioStartInput();
    if (!(runState & RS_RESTART_UNCONFIRMED)) StampComment(false);
    StartTimer(TIMER_WATCHDOG, WATCHDOG_MS);
}

int64_t TruncatedWidth(int window, int widthReduction) {
    int width = 0, height = 0;
    GetClientSize(window, &width, &height);
    double span = static_cast<double>(width - widthReduction) * viewState[window].zoom;
    if (!(span > 0.0)) return 0;
    if (span > 9.0e18) return static_cast<int64_t>(9.0e18);
    return static_cast<int64_t>(span);
}

void FollowNewestData() {
    int64_t position = sampleClock - TruncatedWidth(WND_PULSES, 0);
    viewState[WND_PULSES].scrollPosition = position > 0 ? position : 0;
    if (!(runState & RS_FOLLOW_LATEST)) return;
    int64_t steps = dataLength[WND_RATE_TIME];
    int64_t start = steps - TruncatedWidth(WND_RATE_TIME, 1);
    viewState[WND_RATE_TIME].scrollPosition = start > 0 ? start : 0;
    int64_t cursor = steps == 0 ? 0 : ((runState & RS_LIMIT_REACHED) ? steps - 1 : steps);
    viewState[WND_RATE_TIME].cursorBin = static_cast<int32_t>(cursor);
}
}  // namespace

void StartAcquisition() {
    ClearAcquisition();
    CommonStart(false);
}

void ContinueAcquisition() { CommonStart(false); }

void StartShapeAcquisition() {
    BeginShapeAcquisition(ShapeChannelsForInput(settings.inputChannels));
    ClearAcquisition();
    CommonStart(true);
}

void OnInputBufferFilled(int index) {
    if (index < 0 || index >= BUFFER_COUNT) return;
    currentBuffer = index;
    KillTimer(TIMER_WATCHDOG);
    // Buffers handed back by a reset are neither examined nor taken as the device delivering again.
    if (!(runState & RS_ACQUIRING) || stopping) return;
    runState &= ~RS_RESTART_UNCONFIRMED;
    // A pass that reaches a limit is followed by Stop, issued here once the pass has returned.
    if (DetectPulses(BufferData(currentBuffer), bufferLength)) SendCommand(WND_PULSES, IDM_STOP);
    FollowNewestData();
    if (!(runState & RS_LIMIT_REACHED)) RefreshPlotWindows(true);
    if (runState & RS_ACQUIRING) {
        AudioQueueInputBuffer(currentBuffer, BufferData(currentBuffer), bufferLength);
        StartTimer(TIMER_WATCHDOG, WATCHDOG_MS);
    }
}

void StopAcquisition() {
    stopping = true;
    AudioResetInput();
    AudioCloseInput();
    stopping = false;

    runState = (runState & ~RS_ACQUIRING) | RS_FILES_ALLOWED | RS_DATA_READY | RS_INPUT_READY;
    UpdateMenuState();
    if ((runState & RS_FOLLOW_LATEST) && dataLength[WND_RATE_TIME] > 0)
        viewState[WND_RATE_TIME].cursorBin = static_cast<int32_t>(dataLength[WND_RATE_TIME] - 1);
    RefreshPlotWindows(false);

    if (runState & RS_SHAPE_ACQUISITION) {
        runState &= ~RS_SHAPE_ACQUISITION;
        RestorePlainTitles();
        for (int c = 0; c < 2; ++c)
            if (shapeAcquisitionChannels & (1u << c)) UpdatePulseShape(c);
        // An open dialog shows the new templates now; a closed one opens once Stop has finished, so
        // nothing can start inside Stop.
        RefreshPulseShapeDialog();
        PostCommand(WND_PULSES, IDM_PULSE_SHAPE);
    }
    if (!(runState & RS_RESTART_UNCONFIRMED)) StampComment(true);
    KillTimer(TIMER_WATCHDOG);
    CloseClickOutput();
    if ((runState & RS_AUTOSAVE) && !(runState & RS_AUTO_RESTART)) {
        if (runState & RS_HOURLY_SAVE) {
            KillTimer(TIMER_HOURLY);
            runState &= ~RS_HOURLY_SAVE;
        }
        SendCommand(WND_PULSES, IDM_WRITE_DATA_FILE);
    }
}

void OnCaptureTimer(int id) {
    switch (id) {
        case TIMER_WATCHDOG:
            if (!(runState & RS_ACQUIRING)) {
                KillTimer(TIMER_WATCHDOG);
                return;
            }
            runState |= RS_AUTO_RESTART;
            SendCommand(WND_PULSES, IDM_STOP);
            if (runState & RS_AUTOSAVE)
                StartTimer(TIMER_RESTART, RESTART_MS);
            else
                ShowMessage("Data acquisition stopped early.", MB_ICONHAND, WND_PULSES);
            runState &= ~RS_AUTO_RESTART;
            break;
        case TIMER_HOURLY:
            if (runState & RS_ACQUIRING) SendCommand(WND_PULSES, IDM_WRITE_DATA_FILE);
            break;
        case TIMER_RESTART:
            KillTimer(TIMER_RESTART);
            if ((runState & RS_ACQUIRING) || !(runState & RS_AUTOSAVE)) return;
            runState |= RS_AUTO_RESTART;
            SendCommand(WND_PULSES, IDM_CONTINUE);
            runState &= ~RS_AUTO_RESTART;
            runState |= RS_RESTART_UNCONFIRMED;
            break;
        default:
            break;
    }
}

void StampComment(bool stop) {
    LocalTime now = GetLocalTime();
    acquisitionSeconds = dataSampleRate ? static_cast<double>(sampleClock) / dataSampleRate : 0.0;
    char stamp[64];
    int length = std::snprintf(stamp, sizeof(stamp), "%c%04d/%02d/%02d %02d:%02d:%02d ", stop ? ' ' : '<',
                               now.year % 10000, now.month % 100, now.day % 100, now.hour % 100,
                               now.minute % 100, now.second % 100);
    char seconds[40];
    int secondsLength = FormatNumber(acquisitionSeconds, 6, 31, seconds, true);
    length = AppendBounded(stamp, seconds, length, secondsLength, 47);
    length = AppendBounded(stamp, stop ? ">" : ",", length, 1, 48);
    AppendBounded(settings.comments, stamp, COMMENT_MAX_LENGTH, length, COMMENT_MAX_LENGTH);
    if (runState & RS_DAQ_DIALOG_OPEN) SetDialogItemText(IDD_DAQ, IDC_DAQ_COMMENTS, settings.comments);
}

void ResetCaptureState() {
    bufferLength = 0;
    currentBuffer = 0;
    stopping = false;
}
