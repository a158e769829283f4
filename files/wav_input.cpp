// WAV input: the chunk walk, the format checks and the replay of the samples through the detector.
#include "files/wav_input.h"

#include <cstring>
#include <future>
#include <system_error>

#include "acquisition/capture.h"
#include "acquisition/detector.h"
#include "acquisition/pulse_shape.h"
#include "acquisition/pulse_shape_dialog.h"
#include "acquisition/pulse_store.h"
#include "core/ids.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/upcalls.h"
#include "core/view_state.h"
#include "platform/system.h"
#include "platform/ui.h"

ReplayProgressHandler replayProgressHandler = nullptr;

namespace {
constexpr uint16_t FORMAT_PCM = 1;
constexpr uint64_t CHUNK_HEADER_SIZE = 8;
constexpr uint64_t CANONICAL_HEADER_SIZE = 44;

// The replay's two block buffers, made at the first replay and kept: the next block is read into one
// while the detector works on the other. Without the memory for them the replay uses one buffer of
// its own and reads and detects in turn.
uint8_t fallbackBuffer[REPLAY_BLOCK_SIZE];

uint8_t* ReplayBuffer(int i) {
    static uint8_t* buffers[2] = {nullptr, nullptr};
    if (!buffers[i]) buffers[i] = static_cast<uint8_t*>(AllocateLargeBuffer(REPLAY_BLOCK_SIZE));
    return buffers[i] ? buffers[i] : i == 0 ? fallbackBuffer : nullptr;
}

// Starts reading the next block on another thread, which also makes the block's plain sums for the
// baseline estimate; an invalid future when no thread could be started (the caller then reads in turn).
std::future<uint64_t> ReadAhead(InputFile& file, uint8_t* buffer, uint64_t wanted, BaselinesAhead* ahead) {
    if (!buffer) return {};
    *ahead = RequestBaselines(buffer, static_cast<uint32_t>(wanted));
    try {
        return std::async(std::launch::async, [&file, buffer, wanted, ahead] {
            uint64_t got = ReadInputFile(file, buffer, wanted);
            if (got == wanted) SumBaselinesAhead(ahead);
            return got;
        });
    } catch (const std::system_error&) {
        return {};
    }
}

uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// Walks the chunks from the header at `position` until the one with id `wanted`; each other chunk
// is skipped by exactly its size (no pad byte). Every step moves forward, so the walk ends at the
// end of the file at the latest. False when a header cannot be read.
bool FindChunk(InputFile& file, uint64_t position, const char* wanted, uint64_t* found, uint32_t* size) {
    uint8_t header[CHUNK_HEADER_SIZE];
    for (;;) {
        if (!SeekInputFile(file, position) || ReadInputFile(file, header, sizeof(header)) != sizeof(header))
            return false;
        uint32_t chunkSize = ReadLe32(header + 4);
        if (std::memcmp(header, wanted, 4) == 0) {
            *found = position;
            *size = chunkSize;
            return true;
        }
        position += CHUNK_HEADER_SIZE + chunkSize;
    }
}

// The detector reads 1 or 2 interleaved channels of 2, 3 or 4 bytes; anything else (8-bit samples,
// surround files, a block alignment that is no whole number of samples) is refused, as are rates
// that are no audio rates.
bool FormatFitsDetector(uint16_t channels, uint16_t blockAlign, uint32_t sampleRate) {
    if (channels != 1 && channels != 2) return false;
    if (blockAlign % channels != 0) return false;
    uint16_t bytesPerSample = blockAlign / channels;
    if (bytesPerSample < 2 || bytesPerSample > 4) return false;
    return sampleRate > 0 && sampleRate <= MAX_WAV_SAMPLE_RATE;
}

// Starts the replay as an acquisition of its own. The autosave bits are cleared so that a Stop
// caused by a limit during the replay never writes the replayed pulses over the data file of an
// earlier capture.
void BeginReplay() {
    ResetPulsesView();
    runState &= ~(RS_PULSE_OPEN_LEFT | RS_PULSE_OPEN_RIGHT | RS_LIMIT_REACHED | RS_DATA_READY | RS_INPUT_READY |
                  RS_AUTOSAVE | RS_HOURLY_SAVE);
    KillTimer(TIMER_HOURLY);
    runState |= RS_ACQUIRING | RS_FILE_REPLAY;
    sampleClock = 0;
    pulseCount[0] = pulseCount[1] = 0;
    bufferFirstPulse[0] = bufferFirstPulse[1] = 0;
}

// A shape acquisition that failed keeps the templates it started from instead of the zeroed ones.
void RestoreShapeBackups() {
    for (int c = 0; c < 2; ++c) {
        if (!(shapeAcquisitionChannels & (1u << c))) continue;
        std::memcpy(settings.pulseShape[c], pulseShapeBackup[c], sizeof(settings.pulseShape[c]));
        std::memcpy(settings.shapePointUsed[c], shapePointUsedBackup[c], sizeof(settings.shapePointUsed[c]));
    }
}

// Feeds the data chunk block by block; stops early at a detector limit or at the end of the file.
// False when a read failed before the end of the file. The detector sees the same blocks, in the same
// order, whether or not the next one was read ahead.
bool ReplayBlocks(InputFile& file, const WavLayout& layout) {
    if (!SeekInputFile(file, layout.dataOffset)) return false;
    uint64_t remaining = layout.dataSize;
    uint64_t done = 0;
    int current = 0;
    // The plain sums of the block in each buffer, when made while the previous block was detected.
    BaselinesAhead ahead[2];
    uint64_t wanted = remaining < REPLAY_BLOCK_SIZE ? remaining : REPLAY_BLOCK_SIZE;
    uint64_t got = wanted > 0 ? ReadInputFile(file, ReplayBuffer(current), wanted) : 0;
    while (remaining > 0) {
        if (runState & RS_LIMIT_REACHED) break;
        uint64_t after = remaining - wanted;
        uint64_t nextWanted = after < REPLAY_BLOCK_SIZE ? after : REPLAY_BLOCK_SIZE;
        std::future<uint64_t> next;
        if (got == wanted && nextWanted > 0)
            next = ReadAhead(file, ReplayBuffer(1 - current), nextWanted, &ahead[1 - current]);
        // A pass that reaches a limit is followed by Stop once it has returned; the loop then ends.
        bool limit =
            got > 0 && DetectPulses(ReplayBuffer(current), static_cast<uint32_t>(got), &ahead[current]);
        if (limit) SendCommand(WND_PULSES, IDM_STOP);
        done += got;
        remaining -= wanted;
        if (replayProgressHandler) replayProgressHandler(done, layout.dataSize);
        if (got < wanted) return layout.dataOffset + done >= file.size;
        if (remaining == 0) break;
        if (next.valid()) {
            got = next.get();
            current = 1 - current;
        } else {
            ahead[current] = {};
            got = ReadInputFile(file, ReplayBuffer(current), nextWanted);
        }
        wanted = nextWanted;
    }
    return true;
}
}  // namespace

bool ReadWavLayout(InputFile& file, const uint8_t riff[12], WavLayout* layout) {
    if (file.size < CANONICAL_HEADER_SIZE) return false;
    if (ReadLe32(riff + 4) > file.size - 8 || std::memcmp(riff + 8, "WAVE", 4) != 0) return false;

    uint64_t formatPosition = 0;
    uint32_t formatSize = 0;
    if (!FindChunk(file, 12, "fmt ", &formatPosition, &formatSize)) return false;
    uint8_t format[16];
    if (!SeekInputFile(file, formatPosition + CHUNK_HEADER_SIZE) || ReadInputFile(file, format, 16) != 16)
        return false;
    if (ReadLe16(format) != FORMAT_PCM) return false;
    layout->channels = ReadLe16(format + 2);
    layout->sampleRate = ReadLe32(format + 4);
    layout->blockAlign = ReadLe16(format + 12);
    if (!FormatFitsDetector(layout->channels, layout->blockAlign, layout->sampleRate)) return false;

    uint64_t dataPosition = 0;
    uint32_t dataSize = 0;
    if (!FindChunk(file, formatPosition + CHUNK_HEADER_SIZE + formatSize, "data", &dataPosition, &dataSize))
        return false;
    layout->dataOffset = dataPosition + CHUNK_HEADER_SIZE;
    layout->dataSize = dataSize;
    return dataSize <= file.size - CANONICAL_HEADER_SIZE;
}

bool ReplayWav(InputFile& file, const WavLayout& layout, bool shapeAcquisition) {
    for (int c = 0; c < layout.channels; ++c) ResetChannelShapeHistory(c);
    if (shapeAcquisition)
        BeginShapeAcquisition(layout.channels == 1 ? SHAPE_CHANNEL_LEFT : SHAPE_CHANNEL_LEFT | SHAPE_CHANNEL_RIGHT);
    BeginReplay();
    dataSampleRate = layout.sampleRate;
    QuantizeSettings(true);
    if (runState & RS_DAQ_DIALOG_OPEN) SendDialogEvent(IDD_DAQ, DLG_COMMAND, DIALOG_REAPPLY);
    if (runState & RS_FILTER_DIALOG_OPEN) SendDialogEvent(IDD_ADVANCED_FILTER, DLG_COMMAND, DIALOG_REAPPLY);
    SetReplayFormat(layout.channels, layout.blockAlign);
    if (shapeAcquisition) runState |= RS_SHAPE_ACQUISITION;

    bool ok = ReplayBlocks(file, layout);
    if (!ok && (runState & RS_SHAPE_ACQUISITION)) RestoreShapeBackups();

    RestorePlainTitles();
    acquisitionSeconds = static_cast<double>(sampleClock) / static_cast<double>(dataSampleRate);
    if (ok && (runState & RS_SHAPE_ACQUISITION)) {
        UpdatePulseShape(0);
        UpdatePulseShape(1);
        SendCommand(WND_PULSES, IDM_PULSE_SHAPE);
        RefreshPulseShapeDialog();
    }
    runState &= ~(RS_ACQUIRING | RS_SHAPE_ACQUISITION | RS_FILE_REPLAY);
    return ok;
}
