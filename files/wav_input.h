// WAV input: the RIFF chunk walk that finds the format and the samples of a WAV file, and the
// replay that feeds the samples block by block through the detector (also to obtain pulse shapes).
#pragma once
#include <cstdint>

#include "files/binary_file.h"

// Bytes handed to the detector at a time: the data area of one capture buffer.
constexpr uint32_t REPLAY_BLOCK_SIZE = 1536000;
// Sample rates above this are not audio; such a file is refused like a damaged one.
constexpr uint32_t MAX_WAV_SAMPLE_RATE = 10000000;

// What the replay needs from a WAV file.
struct WavLayout {
    uint16_t channels;    // 1 (left only) or 2
    uint16_t blockAlign;  // bytes per frame: channels x 2, 3 or 4
    uint32_t sampleRate;
    uint64_t dataOffset;  // the first sample byte
    uint64_t dataSize;    // as declared; the file may end earlier
};

// Reads the structure of a file whose first 12 bytes (`riff`) have been read: RIFF size, form type,
// the "fmt " chunk (integer PCM, 1 or 2 channels of 2 to 4 bytes, a rate of 1 Hz to 10 MHz) and the
// "data" chunk after it. False for every structural problem.
bool ReadWavLayout(InputFile& file, const uint8_t riff[12], WavLayout* layout);

// Replays the samples through the detector as an acquisition of its own (shapeAcquisition: the
// templates of the file's channels are collected and updated, and the "Pulse Shape" dialog opens).
// The pulse store keeps its capacities. False when a read failed in the middle (the pulses found so
// far stay); a file that ends early is replayed up to its end.
bool ReplayWav(InputFile& file, const WavLayout& layout, bool shapeAcquisition);

// Called after every replayed block with the bytes replayed so far and the bytes declared (the batch
// tool shows progress with it). Null: nothing is called.
using ReplayProgressHandler = void (*)(uint64_t bytesDone, uint64_t bytesTotal);
extern ReplayProgressHandler replayProgressHandler;
