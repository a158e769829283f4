// The data file: the open path shared by Open, Load Data, the named file and the pulse-shape
// command, the data-file reader, Save and the write behind IDM_WRITE_DATA_FILE.
#include "files/data_file.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "acquisition/audio_interface.h"
#include "acquisition/capture.h"
#include "acquisition/click_output.h"
#include "acquisition/pulse_shape.h"
#include "acquisition/pulse_shape_dialog.h"
#include "acquisition/pulse_store.h"
#include "analysis/calibration.h"
#include "analysis/histograms.h"
#include "core/file_name.h"
#include "core/ids.h"
#include "core/number_text.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "files/binary_file.h"
#include "files/data_file_format.h"
#include "files/file_messages.h"
#include "files/wav_input.h"
#include "platform/ui.h"

bool openWavOnly = false;
bool openRefusedNotWav = false;

namespace {
constexpr double MIN_MAX_PULSES = 10.0;
constexpr double MAX_MAX_PULSES = MAX_PULSES_PER_CHANNEL;
constexpr size_t AUDIO_SETTINGS_BYTES = 32;

const char OPEN_FILTERS[] =
    "Data acquisition file (*.pls)\0*.pls\0Sound file (*.WAV)\0*.WAV\0All Files (*.*)\0*.*\0";
const char SAVE_FILTERS[] = "Data acquisition file (*.pls)\0*.pls\0All files (*.*)\0*.*\0";
const char SHAPE_FILTERS[] = "Sound file (*.WAV)\0*.WAV\0";

// The header written with every data file; a version-25 file that is read replaces it whole.
DataFileHeader headerImage;
// The name chosen by the latest "&Save" (empty before the first) and the offset of its file name.
char dataFileName[MAX_PATH_LENGTH + 1];
int dataFileNameOffset = 0;

void ResetHeaderImage() {
    std::memset(&headerImage, 0, sizeof(headerImage));
    std::memcpy(headerImage.magic, "PULS", 4);
    headerImage.version = DATA_FILE_VERSION;
    headerImage.headerSize = DATA_FILE_HEADER_SIZE;
}

// The file the acquisition in memory came from or was written to, and the acquisition it names (its
// clock and counts then): a later Start or Continue changes those, and the name no longer applies.
struct SourceFile {
    std::string name;
    int64_t clock = -1;
    uint32_t counts[2] = {0, 0};
} sourceFile;

void RememberSourceFile(const char* name) {
    sourceFile.name = name;
    sourceFile.clock = sampleClock;
    sourceFile.counts[0] = pulseCount[0];
    sourceFile.counts[1] = pulseCount[1];
}

void SetTitlesWithFileName(const char* name) {
    for (int w = 0; w < 6; ++w) SetWindowTitle(w, (std::string(plainTitles[w]) + name).c_str());
}

// A capacity setting taken from a file, limited to what the store accepts (NaN gives the minimum).
double ClampedMaxPulses(double value) {
    if (!(value >= MIN_MAX_PULSES)) return MIN_MAX_PULSES;
    return value > MAX_MAX_PULSES ? MAX_MAX_PULSES : value;
}

// After a failure that came once the capacities changed: nothing may read records that were not
// loaded, or lie beyond the new capacities. Empty means empty: no clock, no seconds, no file name.
void EmptyStore() {
    pulseCount[0] = pulseCount[1] = 0;
    bufferFirstPulse[0] = bufferFirstPulse[1] = 0;
    runState &= ~(RS_PULSE_OPEN_LEFT | RS_PULSE_OPEN_RIGHT);
    sampleClock = 0;
    acquisitionSeconds = 0.0;
    RestorePlainTitles();
}

// Takes over the settings of a file: all of a version-25 record (full), or only its capacities and
// input channels (partial); for older files the input channels follow the counts.
void TakeOverSettings(const DataFileHeader& header, DataFileKind kind, bool fullSettings) {
    if (kind == DATA_FILE_CURRENT) {
        headerImage = header;
        if (fullSettings) {
            settings = header.settings;
        } else {
            settings.channel[0].maxPulses = header.settings.channel[0].maxPulses;
            settings.channel[1].maxPulses = header.settings.channel[1].maxPulses;
            settings.inputChannels = header.settings.inputChannels;
        }
        SanitizeSettings(settings);
    } else if (header.leftCount > 0 && header.rightCount > 0) {
        settings.inputChannels = 2;
    } else {
        settings.inputChannels = header.rightCount > 0 ? 1 : 0;
    }
    // Every file, also a version-25 one, must fit its counts into the store.
    double most = header.leftCount > header.rightCount ? header.leftCount : header.rightCount;
    for (ChannelSettings& channel : settings.channel) {
        if (most > channel.maxPulses) channel.maxPulses = most;
        channel.maxPulses = ClampedMaxPulses(channel.maxPulses);
    }
}

// Sets up the calibrations of the channels in use. False only when a channel's calibration points
// are inconsistent: a kernel table that overflows (a fine height bin) switches that channel's
// correlation off and is shown as a warning, but the file stays readable.
bool SetUpCalibrationsInUse() {
    uint32_t channels = settings.inputChannels;
    for (int c = 0; c < 2; ++c) {
        if (channels == (c == 0 ? 1u : 0u)) continue;
        SetUpCalibration(c);
        if (!calibrationValid[c]) return false;
    }
    return true;
}

void ApplyStoredPlacements() {
    for (int i = 0; i < PLOT_WINDOW_COUNT; ++i) {
        const WindowPlacementRecord& w = settings.windowPlacement[i];
        // The menu window is never hidden: it could not be shown again.
        uint32_t show = (i == WND_PULSES && w.showCommand == 0) ? 1 : w.showCommand;
        SetPlotWindowPlacement(i, {show, w.normalLeft, w.normalTop, w.normalRight, w.normalBottom});
    }
}

// The data file as a source for the reader: reads at an offset of the open file.
DataFileSource FileSource(InputFile& file) {
    return {file.size, [&file](uint64_t offset, void* out, uint64_t count) {
                return SeekInputFile(file, offset) && ReadInputFile(file, out, count) == count;
            }};
}

// Takes a checked data file over into the program: the sample rate, the settings (all of a
// version-25 record with fullSettings, else capacities and input channels), the store, the
// calibrations, open dialogs, the records, the window placements and titles. False when the store
// cannot hold the counts, a calibration in use is inconsistent or the records cannot be read; the
// store is then emptied.
bool ApplyDataFile(const DataFileContents& contents, const DataFileSource& source, bool fullSettings,
                   const char* fileName) {
    const DataFileHeader& header = contents.header;
    if (contents.hasSampleRate) dataSampleRate = contents.sampleRate;

    unsigned char audioBefore[AUDIO_SETTINGS_BYTES];
    std::memcpy(audioBefore, &settings, AUDIO_SETTINGS_BYTES);
    TakeOverSettings(header, contents.layout.kind, fullSettings);
    // The device formats follow the record, so the next capture opens what the record says.
    if (std::memcmp(audioBefore, &settings, AUDIO_SETTINGS_BYTES) != 0) RenewAudioFormats();

    for (int c = 0; c < 2; ++c) pulseCapacity[c] = static_cast<uint32_t>(settings.channel[c].maxPulses);
    if (!AllocatePulseStore(false, false) || header.leftCount > pulseCapacity[0] ||
        header.rightCount > pulseCapacity[1]) {
        EmptyStore();
        return false;
    }
    QuantizeSettings(true);
    if (!SetUpCalibrationsInUse()) {
        EmptyStore();
        return false;
    }
    if (runState & RS_DAQ_DIALOG_OPEN) SendDialogEvent(IDD_DAQ, DLG_INIT, 0);
    if (runState & RS_CALIBRATION_DIALOG_OPEN) SendDialogEvent(IDD_CALIBRATION, DLG_INIT, 0);
    // A whole record also brings filter limits and templates: an open dialog of either would
    // otherwise apply its stale values over them. The filter dialog shows widths at the data sample
    // rate, which every file may change.
    if (fullSettings && contents.layout.kind == DATA_FILE_CURRENT) {
        if (runState & RS_FILTER_DIALOG_OPEN) SendDialogEvent(IDD_ADVANCED_FILTER, DLG_INIT, 0);
        RefreshPulseShapeDialog();
    } else if (runState & RS_FILTER_DIALOG_OPEN) {
        SendDialogEvent(IDD_ADVANCED_FILTER, DLG_COMMAND, DIALOG_REAPPLY);
    }

    pulseCount[0] = header.leftCount;
    pulseCount[1] = header.rightCount;
    bufferFirstPulse[0] = bufferFirstPulse[1] = 0;
    runState &= ~(RS_PULSE_OPEN_LEFT | RS_PULSE_OPEN_RIGHT);
    sampleClock = header.sampleClock;
    if (!ReadDataFileRecords(source, contents, 0, pulseStore + PulseIndex(0, 0)) ||
        !ReadDataFileRecords(source, contents, 1, pulseStore + PulseIndex(1, 0))) {
        EmptyStore();
        return false;
    }
    ApplyStoredPlacements();
    SetTitlesWithFileName(fileName);
    acquisitionSeconds = static_cast<double>(sampleClock) / static_cast<double>(dataSampleRate);
    return true;
}

// Reads a data file: checks it into a plain record, then takes it over. False on every structural
// problem; nothing changes when the file itself is malformed.
bool ReadDataFile(InputFile& file, bool fullSettings, const char* fileName) {
    DataFileSource source = FileSource(file);
    DataFileContents contents;
    return ParseDataFile(source, &contents) && ApplyDataFile(contents, source, fullSettings, fileName);
}

// Decides between the data-file reader and the WAV replay by the first bytes. False on every
// structural problem.
bool ReadOpenedFile(InputFile& file, bool fullSettings, bool shapeAcquisition, const char* fileName) {
    uint8_t first[12];
    if (file.size < DATA_FILE_MINIMUM_SIZE || ReadInputFile(file, first, sizeof(first)) != sizeof(first)) return false;
    if (std::memcmp(first, "RIFF", 4) == 0) {
        WavLayout layout{};
        return ReadWavLayout(file, first, &layout) && ReplayWav(file, layout, shapeAcquisition);
    }
    return ReadDataFile(file, fullSettings, fileName);
}

bool StartsWithRiff(InputFile& file) {
    char magic[4] = {0, 0, 0, 0};
    bool riff = ReadInputFile(file, magic, sizeof(magic)) == sizeof(magic) && std::memcmp(magic, "RIFF", 4) == 0;
    return SeekInputFile(file, 0) && riff;
}

// The open path from opening the file on. A missing file ends it silently.
void OpenPath(const char* path, int nameOffset, bool fullSettings, bool shapeAcquisition) {
    InputFile file;
    if (!OpenInputFile(file, path)) {
        // Nothing under that name is no choice of the user's; something there that cannot be read is.
        std::error_code error;
        if (std::filesystem::exists(path, error)) ReportReadFailure(path);
        return;
    }
    if (openWavOnly && !StartsWithRiff(file)) {
        openRefusedNotWav = true;
        return;
    }
    if (ReadOpenedFile(file, fullSettings, shapeAcquisition, path + nameOffset))
        RememberSourceFile(path + nameOffset);
    else
        ShowMessage(WRONG_FORMAT_MESSAGE, MB_ICONHAND);
    CloseInputFile(file);
    runState |= RS_DATA_READY | RS_INPUT_READY;
    UpdateMenuState();
    RecomputeAll(false);
}
}  // namespace

void OpenFileCommand(int, int command) {
    if (!(runState & RS_FILES_ALLOWED)) return;
    if (command == IDM_OPEN || command == IDM_LOAD_DATA) {
        CaptureWindowPlacements();
        FileDialogRequest request{"Open Data", OPEN_FILTERS, "pls", OFN_FILEMUSTEXIST | OFN_HIDEREADONLY};
        if (!AskOpenFileName(request, FileNameBuffer(), MAX_PATH_LENGTH)) return;
        UpdateFileNameOffset();
    } else if (command == IDM_OBTAIN_SHAPE) {
        BackupPulseShape(0);
        BackupPulseShape(1);
        FileDialogRequest request{"Open Sound File to obtain Pulse Shape", SHAPE_FILTERS, "wav",
                                  OFN_FILEMUSTEXIST | OFN_HIDEREADONLY};
        if (!AskOpenFileName(request, FileNameBuffer(), MAX_PATH_LENGTH)) return;
        UpdateFileNameOffset();
    } else if (command != IDM_OPEN_NAMED_FILE) {
        return;
    }
    // New data replace what a stalled capture would have continued into: no automatic restart.
    KillTimer(TIMER_RESTART);
    // The shared buffer is also where dialog texts are read: keep the path apart while opening.
    char path[MAX_PATH_LENGTH + 1];
    AppendBounded(path, FileNameBuffer(), 0, MAX_PATH_LENGTH, MAX_PATH_LENGTH);
    int length = static_cast<int>(std::strlen(path));
    int nameOffset = fileNameOffset >= 0 && fileNameOffset <= length ? fileNameOffset : 0;
    bool fullSettings = command == IDM_OPEN || command == IDM_OPEN_NAMED_FILE;
    OpenPath(path, nameOffset, fullSettings, command == IDM_OBTAIN_SHAPE);
}

void SaveCommand(int) {
    FileDialogRequest request{"Save Data", SAVE_FILTERS, "pls",
                              OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY};
    if (!AskSaveFileName(request, FileNameBuffer(), MAX_PATH_LENGTH)) return;
    UpdateFileNameOffset();
    dataFileName[0] = '\0';
    int length = AppendBounded(dataFileName, FileNameBuffer(), 0, MAX_PATH_LENGTH, MAX_PATH_LENGTH);
    dataFileNameOffset = fileNameOffset <= length ? fileNameOffset : 0;
    if (runState & RS_ACQUIRING) runState |= RS_AUTOSAVE;
    WriteDataFile();
}

void WriteDataFile() {
    // Nothing was named yet: there is no file the user asked for.
    if (dataFileName[0] == '\0') return;
    // The record carries the device numbers: written as the device checks leave them.
    EnsureAudioValidated();
    headerImage.leftCount = pulseCount[0];
    headerImage.rightCount = pulseCount[1];
    headerImage.version = DATA_FILE_VERSION;
    headerImage.sampleClock = sampleClock;
    headerImage.headerSize = DATA_FILE_HEADER_SIZE;
    // The true rate: the rate index alone cannot say 44100 for a capture at another input setting,
    // nor any rate outside the table.
    headerImage.sampleRate = dataSampleRate;
    CaptureWindowPlacements();
    headerImage.settings = settings;

    OutputFile file;
    bool ok = BeginOutputFile(file, dataFileName) && WriteOutputFile(file, &headerImage, sizeof(headerImage));
    for (int c = 0; c < 2 && ok; ++c)
        if (pulseCount[c] > 0)
            ok = WriteOutputFile(file, pulseStore + PulseIndex(c, 0), PULSE_RECORD_SIZE * pulseCount[c]);
    ok = FinishOutputFile(file) && ok;
    if (!ok) {
        ReportWriteFailure(dataFileName);
        return;
    }
    SetTitlesWithFileName(dataFileName + dataFileNameOffset);
    RememberSourceFile(dataFileName + dataFileNameOffset);
    UpdateMenuState();
}

const char* AcquisitionFileName() {
    bool same = sourceFile.clock == sampleClock && sourceFile.counts[0] == pulseCount[0] &&
                sourceFile.counts[1] == pulseCount[1];
    return same ? sourceFile.name.c_str() : "";
}

void ResetDataFileState() {
    ResetHeaderImage();
    dataFileName[0] = '\0';
    dataFileNameOffset = 0;
    sourceFile = SourceFile{};
    replayProgressHandler = nullptr;
    openWavOnly = openRefusedNotWav = false;
    ResetBinaryFileState();
}

namespace {
struct StaticInitialiser {
    StaticInitialiser() { ResetHeaderImage(); }
} staticInitialiser;
}  // namespace
