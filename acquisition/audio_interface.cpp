// Wave format descriptors and their validation against the audio devices.
#include "acquisition/audio_interface.h"

#include "core/run_state.h"
#include "core/settings.h"

WaveFormat inputWaveFormat{};
WaveFormat outputWaveFormat{};

namespace {
constexpr uint8_t PCM_SUBFORMAT[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint32_t SPEAKER_MASKS[3] = {1, 2, 3};

bool validationDeferred = false;
bool validationDue = false;

void BuildDescriptors() {
    inputWaveFormat = BuildWaveFormat(settings.inputFormat, settings.inputChannels, settings.inputRateIndex,
                                      settings.inputBitsCode);
    outputWaveFormat = BuildWaveFormat(settings.outputFormat, settings.outputChannels, settings.outputRateIndex,
                                       settings.outputBitsCode);
}

// Queries the device, falls back to device 0, and tells whether the final device accepts the format.
bool ValidateDevice(uint32_t& device, const WaveFormat& format, bool (*supported)(int, const WaveFormat&)) {
    if (device > 0x7FFFFFFFu || !supported(static_cast<int>(device), format)) {
        device = 0;
        return supported(0, format);
    }
    return true;
}
}  // namespace

WaveFormat BuildWaveFormat(uint16_t formatCode, uint32_t channelCode, int32_t rateIndex, uint16_t bitsCode) {
    if (formatCode > 1) formatCode = 0;
    if (channelCode > 2) channelCode = 0;
    if (rateIndex < 0 || rateIndex > 7) rateIndex = 1;
    if (bitsCode > 2) bitsCode = 0;
    WaveFormat format{};
    format.formatTag = formatCode == 1 ? 0xFFFE : 1;
    format.channels = channelCode == 2 ? 2 : 1;
    format.samplesPerSecond = sampleRateTable[rateIndex];
    format.blockAlign = static_cast<uint16_t>((bitsCode + 2) * format.channels);
    format.averageBytesPerSecond = format.blockAlign * format.samplesPerSecond;
    format.bitsPerSample = static_cast<uint16_t>((bitsCode + 2) * 8);
    format.extraSize = formatCode == 1 ? 22 : 0;
    format.validBitsPerSample = format.bitsPerSample;
    format.channelMask = SPEAKER_MASKS[channelCode];
    for (int i = 0; i < 16; ++i) format.subFormat[i] = PCM_SUBFORMAT[i];
    return format;
}

void ValidateAudioFormats() {
    validationDue = false;
    BuildDescriptors();
    runState |= RS_INPUT_READY | RS_OUTPUT_READY;
    if (AudioInputDeviceCount() <= 0) runState &= ~RS_INPUT_READY;
    if (!ValidateDevice(settings.inputDevice, inputWaveFormat, AudioInputFormatSupported))
        runState &= ~RS_INPUT_READY;

    if (AudioOutputDeviceCount() <= 0) runState &= ~RS_OUTPUT_READY;
    if (!ValidateDevice(settings.outputDevice, outputWaveFormat, AudioOutputFormatSupported))
        runState &= ~RS_OUTPUT_READY;
    UpdateMenuState();
}

void SetAudioValidationDeferred(bool deferred) { validationDeferred = deferred; }

void RequestAudioValidation() {
    if (!validationDeferred) {
        ValidateAudioFormats();
        return;
    }
    BuildDescriptors();
    validationDue = true;
}

void EnsureAudioValidated() {
    if (validationDue) ValidateAudioFormats();
}

void ResetAudioInterfaceState() {
    validationDeferred = validationDue = false;
    inputWaveFormat = WaveFormat{};
    outputWaveFormat = WaveFormat{};
}
