// Click sound output: the tone table, Sound On/Off, the block-finished handler and MixClicks.
#include "acquisition/click_output.h"

#include <cmath>
#include <cstring>

#include "acquisition/audio_interface.h"
#include "acquisition/pulse_selection.h"
#include "acquisition/pulse_store.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/audio.h"
#include "platform/ui.h"

int32_t clickDensity = 16;
int32_t pitchOffset = 0;

namespace {
constexpr int TONE_COUNT = 100;
constexpr int TONE_CAPACITY = 32000;
constexpr int BLOCK_COUNT = 4;
constexpr uint32_t BLOCK_SIZE = 1536000;

int16_t clickTones[TONE_COUNT][TONE_CAPACITY];
int32_t toneLength = 0;
// The rate the table was last asked for; its 3.2 million samples are computed only when they are
// first used, since most runs (replays, analyses) never play a click.
uint32_t toneRate = 0;
bool tonesDue = false;
uint8_t outputBlocks[BLOCK_COUNT][BLOCK_SIZE];
uint32_t blockLength = 0;
int32_t currentOutputBlock = 0;
// The device and format the open output was opened with.
uint32_t openOutputDevice = 0;
WaveFormat openOutputFormat{};

// Speaker masks of the channel codes "Left", "Right", "Left & Right".
uint32_t ChannelMask(uint32_t code) { return code <= 2 ? code + 1 : 1; }

uint32_t HalfSecondBytes(const WaveFormat& format) {
    uint64_t bytes = static_cast<uint64_t>(format.channels) * format.bitsPerSample * format.samplesPerSecond / 16;
    return bytes > BLOCK_SIZE ? BLOCK_SIZE : static_cast<uint32_t>(bytes);
}

int32_t Modulo4(int32_t value) { return ((value % BLOCK_COUNT) + BLOCK_COUNT) % BLOCK_COUNT; }

// Adds one burst to the output, starting at interleaved output sample q of block A and running on
// into block B.
void MixBurst(int tone, double amplitude, int64_t q, int32_t blockA, int32_t blockB, int64_t samplesPerBlock,
              uint32_t bytesPerSample, uint32_t top, uint32_t outputChannels) {
    for (int32_t i = 0; i < toneLength; ++i, q += outputChannels) {
        uint8_t* block = outputBlocks[blockA];
        int64_t sample = q;
        if (sample >= samplesPerBlock) {
            block = outputBlocks[blockB];
            sample -= samplesPerBlock;
            if (sample >= samplesPerBlock) return;
        }
        uint8_t* target = block + static_cast<size_t>(sample) * bytesPerSample + top;
        int16_t current;
        std::memcpy(&current, target, 2);
        int32_t sum = current + static_cast<int32_t>(clickTones[tone][i] * amplitude);
        if (sum > 32767) sum = 32767;
        if (sum < -32768) sum = -32768;
        int16_t stored = static_cast<int16_t>(sum);
        std::memcpy(target, &stored, 2);
    }
}

void SynthesiseDueTones() {
    if (!tonesDue) return;
    tonesDue = false;
    uint32_t rate = toneRate;
    toneLength = static_cast<int32_t>(rate / 12);
    if (toneLength > TONE_CAPACITY) toneLength = TONE_CAPACITY;
    double w = 172.7875959474 / rate;
    for (int t = 0; t < TONE_COUNT; ++t) {
        for (int32_t i = 0; i < toneLength; ++i) {
            double envelope = (1.0 - std::cos(6.283185307179586 * i / toneLength)) * 16383.0;
            clickTones[t][i] = static_cast<int16_t>(std::cos(i * w) * envelope);
        }
        w *= 1.059463094359;
    }
}
}  // namespace

void BuildClickTones() {
    uint32_t rate = outputWaveFormat.samplesPerSecond;
    if (rate == 0) {
        int32_t index = settings.outputRateIndex;
        rate = sampleRateTable[(index >= 0 && index <= 7) ? index : 1];
    }
    toneRate = rate;
    tonesDue = true;
}

void RenewAudioFormats() {
    RequestAudioValidation();
    BuildClickTones();
    if (!(runState & RS_SOUND_ON)) return;
    if (openOutputDevice == settings.outputDevice &&
        std::memcmp(&openOutputFormat, &outputWaveFormat, sizeof(WaveFormat)) == 0)
        return;
    CloseClickOutput();
    ToggleSound();
}

void ToggleSound() {
    if (runState & RS_SOUND_ON) {
        CloseClickOutput();
    } else {
        currentOutputBlock = 0;
        EnsureAudioValidated();
        SynthesiseDueTones();
        // A device that is gone or refuses the format would leave the check mark on with no sound.
        if (!AudioOpenOutput(static_cast<int>(settings.outputDevice), outputWaveFormat)) {
            ShowMessage(SOUND_OUTPUT_FAILED_MESSAGE, MB_ICONEXCLAMATION);
            UpdateMenuState();
            return;
        }
        openOutputDevice = settings.outputDevice;
        openOutputFormat = outputWaveFormat;
        blockLength = HalfSecondBytes(outputWaveFormat);
        for (auto& block : outputBlocks) std::memset(block, 0, blockLength);
        AudioWriteOutput(0, outputBlocks[0], blockLength);
        AudioWriteOutput(1, outputBlocks[1], blockLength);
        runState |= RS_SOUND_ON;
    }
    UpdateMenuState();
}

void CloseClickOutput() {
    if (!(runState & RS_SOUND_ON)) return;
    AudioResetOutput();
    AudioCloseOutput();
    runState &= ~RS_SOUND_ON;
}

void OnOutputBlockDone(int index) {
    if (index < 0 || index >= BLOCK_COUNT) return;
    currentOutputBlock = index;
    if (blockLength != 0) std::memset(outputBlocks[index], 0, blockLength);
}

void MixClicks(int64_t clockAtStart, uint32_t sampleCount) {
    SynthesiseDueTones();
    uint32_t mask = ChannelMask(settings.outputChannels) & ChannelMask(settings.inputChannels);
    if (mask == 0 || sampleCount == 0 || toneLength <= 0 || clickDensity <= 0) return;
    uint32_t outputChannels = outputWaveFormat.channels ? outputWaveFormat.channels : 1;
    uint32_t bytesPerSample = outputWaveFormat.blockAlign / outputChannels;
    if (bytesPerSample < 2) return;
    int64_t samplesPerBlock = blockLength / bytesPerSample;
    uint32_t top = (outputWaveFormat.bitsPerSample - 16u) / 8u;
    int32_t blockA = Modulo4(currentOutputBlock - 2);
    int32_t blockB = Modulo4(currentOutputBlock - 1);
    uint32_t inputChannels = inputWaveFormat.channels ? inputWaveFormat.channels : 1;

    for (int ch = 0; ch < 2; ++ch) {
        if (!(mask & (1u << ch))) continue;
        uint32_t first = bufferFirstPulse[ch], last = pulseCount[ch];
        if (last <= first) continue;
        uint32_t step = (last - first) / static_cast<uint32_t>(clickDensity);
        double amplitude = 0.5 / std::sqrt(static_cast<double>(clickDensity));
        for (uint32_t p = first; p < last;) {
            while (p < last && !IsPulseSelected(ch, p)) ++p;
            if (p >= last) break;
            const PulseRecord& pulse = Pulse(ch, p);
            double toneValue = static_cast<double>(pulse.height) * 100.0 * 4.656612875245797e-10 + pitchOffset;
            int tone = toneValue >= 99.0 ? 99 : (toneValue > 0.0 ? static_cast<int>(toneValue) : 0);
            // A pulse that began in the previous block starts its burst at the block's beginning.
            double place = static_cast<double>(pulse.time - clockAtStart) * static_cast<double>(samplesPerBlock) *
                           inputChannels / sampleCount;
            int64_t v = place > 0.0 ? static_cast<int64_t>(place < 9.0e18 ? place : 9.0e18) : 0;
            int64_t q = ch + 2 * (v / 2);
            MixBurst(tone, amplitude, q, blockA, blockB, samplesPerBlock, bytesPerSample, top, outputChannels);
            p += step + 1;
        }
    }
    AudioWriteOutput(blockA, outputBlocks[blockA], blockLength);
}

int32_t ClickToneLength() {
    SynthesiseDueTones();
    return toneLength;
}

int16_t ClickToneSample(int tone, int32_t i) {
    SynthesiseDueTones();
    if (tone < 0 || tone >= TONE_COUNT || i < 0 || i >= toneLength) return 0;
    return clickTones[tone][i];
}

void ResetClickOutputState() {
    clickDensity = 16;
    pitchOffset = 0;
    toneLength = 0;
    toneRate = 0;
    tonesDue = false;
    blockLength = 0;
    currentOutputBlock = 0;
}
