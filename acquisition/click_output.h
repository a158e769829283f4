// Click sound output: tone bursts whose pitch follows the pulse height, mixed into four output
// blocks that cycle through the output device while a capture runs.
#pragma once
#include <cstdint>

// At most this many clicks per channel and detector pass (1 to 128, halved and doubled by keys).
extern int32_t clickDensity;
// Semitones added to every click's tone (0 to 98).
extern int32_t pitchOffset;

// Fills the tone table for the current output rate.
void BuildClickTones();

// After the audio settings may have changed (start-up, Load Settings, a data file, the Audio Interface
// dialog): rebuilds both formats and asks for the device checks (RequestAudioValidation), sets the
// tone table to the new output rate, and reopens an open output whose device or format changed.
void RenewAudioFormats();

// Sound On/Off: opens the output when it is closed, else closes it; then updates the menu. An output
// device that cannot be opened leaves the sound off and shows SOUND_OUTPUT_FAILED_MESSAGE.
void ToggleSound();
constexpr const char* SOUND_OUTPUT_FAILED_MESSAGE = "Sound output device could not be opened.";

// Closes the output if it is open.
void CloseClickOutput();

// An output block finished playing: remember it and clear it.
void OnOutputBlockDone(int index);

// Mixes the clicks of the pulses found by the latest detector pass into the output.
void MixClicks(int64_t clockAtStart, uint32_t sampleCount);

// The tone table: samples per burst and sample i of tone t (0 outside the table).
int32_t ClickToneLength();
int16_t ClickToneSample(int tone, int32_t i);

void ResetClickOutputState();
