// Audio interface selection: the input and output wave formats built from the settings, their
// validation against the devices (falling back to device 0), and the "Audio Interface" dialog.
#pragma once
#include "platform/audio.h"

// The formats the capture and the click output open their devices with.
extern WaveFormat inputWaveFormat;
extern WaveFormat outputWaveFormat;

// Builds the 40-byte descriptor from the four format fields (codes outside their tables count as 0).
WaveFormat BuildWaveFormat(uint16_t formatCode, uint32_t channelCode, int32_t rateIndex, uint16_t bitsCode);

// Rebuilds both descriptors, falls back to device 0 where a device refuses its format, sets or
// clears RS_INPUT_READY and RS_OUTPUT_READY, and updates the menu.
void ValidateAudioFormats();

// Device checks may wait until a device is needed: the batch tool replays and analyses files without
// ever starting the sound system. With deferral on, RequestAudioValidation only rebuilds the two
// descriptors (they do not depend on the devices) and notes that the checks are due;
// EnsureAudioValidated runs them (once) where a device is about to be used or where the device
// numbers leave the program (capture start, sound on, the Audio Interface dialog, settings written to
// a file). With deferral off (the default), RequestAudioValidation is ValidateAudioFormats.
void SetAudioValidationDeferred(bool deferred);
void RequestAudioValidation();
void EnsureAudioValidated();

void ResetAudioInterfaceState();
