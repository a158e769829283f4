// The pulse detector: walks blocks of interleaved audio samples and turns them into pulse records
// (threshold or shape method per channel), with coincidence links, the Audio Input snapshot and limits.
//
// Contract:
// - DetectPulses(block, byteCount) runs one pass over a block. `block` points at the first sample
//   byte; each sample is read as the signed 32-bit little-endian word made of the 4 bytes that end
//   with the sample's last byte (so it stands left-justified in 32 bits), bytes before the block
//   counting as zero. Nothing is ever read outside [block, block + byteCount).
// - Live capture: channel count and sample width come from inputWaveFormat; the first sample is the
//   right channel when settings.inputChannels is 1. File replay (RS_FILE_REPLAY): they come from
//   SetReplayFormat and the first sample is the left channel. Other layouts than 1 or 2 channels of
//   2 to 4 bytes are not detected (the pass does nothing).
// - While RS_LIMIT_REACHED is set a pass does nothing. A pass that reaches the acquisition time or
//   the maximum-pulse limit sets the bit, ignores the rest of the block and returns true; its caller
//   (the capture controller, the WAV replay) then stops the capture. The detector issues no command.
// - Pulses still open at the end of a pass stay open (RS_PULSE_OPEN_LEFT/RIGHT) and continue in the
//   next block. Start and Continue call DropOpenPulses and ResetShapeHistory before capturing.
#pragma once
#include <cstdint>

#include "acquisition/detector_vectors.h"

constexpr int SHAPE_HISTORY_LENGTH = 256;
constexpr int INPUT_RING_LENGTH = 128;
constexpr int SNAPSHOT_PRE_TRIGGER = 64;

// Per channel the last 256 values v x sign of the shape method, in a ring. Each value is stored
// twice (at p and p + 256) so that every 60-point window is one contiguous run of memory.
extern double shapeHistory[2][2 * SHAPE_HISTORY_LENGTH];
// Ring position where the next value is written (0 to 255).
extern uint32_t shapeHistoryPos[2];
// First and last used template point, as set by the latest successful UpdatePulseShape.
extern int32_t shapeFirstUsed[2];
extern int32_t shapeLastUsed[2];
// The latest input values per channel, and the copy the Audio Input window draws.
extern double inputRing[2][INPUT_RING_LENGTH];
extern double inputSnapshot[2][INPUT_RING_LENGTH];
// The snapshot shows, per channel, 128 values from ring position (snapshotTrigger - 64) mod 128 on.
extern int32_t snapshotTrigger;

// The first of the two passes of a block's baseline estimate (the plain sums of each channel's
// samples) depends on the block's bytes and layout only, so a replay can make it on another thread
// while the detector works on the previous block. RequestBaselines takes the layout (on the detector's
// thread); SumBaselinesAhead then reads the block and may run on any thread. DetectPulses uses the
// sums only when they were made for the same block and layout, and sums afresh otherwise.
struct BaselinesAhead {
    const uint8_t* block = nullptr;
    uint32_t byteCount = 0;
    bool usable = false;  // the layout is one the detector runs and the sums were made
    int n = 0, b = 0;
    SlotSums sums{{0, 0}, {0, 0}};
};
BaselinesAhead RequestBaselines(const uint8_t* block, uint32_t byteCount);
void SumBaselinesAhead(BaselinesAhead* ahead);

// Runs the detector over one block of interleaved samples, with the sums made ahead when given. True
// when this pass reached a limit.
bool DetectPulses(const uint8_t* block, uint32_t byteCount, const BaselinesAhead* ahead = nullptr);

// Sample layout of a replayed file: its channel count and block alignment (bytes per frame).
void SetReplayFormat(uint16_t channels, uint16_t blockAlign);

// Zeroes the shape history of both channels (or of one) and sets its ring position to 0; done by
// Start and Continue, and by a file replay for the file's channels.
void ResetShapeHistory();
void ResetChannelShapeHistory(int channel);

// Drops the pulses that are still open (a capture stopped in the middle of them): removes the
// coincidence links that other-channel records hold to them and clears both open bits. Called by
// Start, Continue and Start Pulse Shape Acquisition; the dropped records are overwritten later.
void DropOpenPulses();

// The threshold method skips quiet stretches with vector passes (on at start-up); off, every sample
// goes through the per-sample state machine. Both give identical results: the switch is for tests
// and benchmarks.
void SetDetectorVectorPath(bool on);

// Start-up state: empty rings and snapshot, template range 0 to 59, vector passes on.
void ResetDetectorState();
