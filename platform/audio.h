// The audio side of the platform seam: device lists, format queries, and the input and output
// streams that cycle four buffers. Notifications (input buffer filled, output block played) reach
// the core on the user-interface thread through the entry points in ui/host_events.h.
// Implemented by platform/portaudio (real devices) and platform/scripted (tests).
#pragma once
#include <cstdint>

// The 40-byte extensible wave format descriptor.
struct WaveFormat {
    uint16_t formatTag;  // 1 PCM, 0xFFFE extensible
    uint16_t channels;
    uint32_t samplesPerSecond;
    uint32_t averageBytesPerSecond;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;
    uint16_t validBitsPerSample;
    uint32_t channelMask;
    uint8_t subFormat[16];
};
static_assert(sizeof(WaveFormat) == 40);

int AudioInputDeviceCount();
int AudioOutputDeviceCount();
// Copies the device's product name; false when its capabilities cannot be read.
bool AudioInputDeviceName(int device, char* name, int capacity);
bool AudioOutputDeviceName(int device, char* name, int capacity);
// Format query without opening anything.
bool AudioInputFormatSupported(int device, const WaveFormat& format);
bool AudioOutputFormatSupported(int device, const WaveFormat& format);

// Input stream. Buffers are queued by index (0-3) and come back in queue order through
// OnAudioInputBufferFilled. Reset returns every queued buffer (also through the notification).
bool AudioOpenInput(int device, const WaveFormat& format);
void AudioQueueInputBuffer(int index, uint8_t* data, uint32_t length);
void AudioStartInput();
void AudioResetInput();
void AudioCloseInput();
// Input frames the device had to drop since the input was opened (an estimate where the device does
// not say how many; 0 when nothing was lost).
uint64_t AudioLostInputFrames();

// Output stream: blocks are played in the order written; each finished block comes back through
// OnAudioOutputBlockDone.
bool AudioOpenOutput(int device, const WaveFormat& format);
void AudioWriteOutput(int index, const uint8_t* data, uint32_t length);
void AudioResetOutput();
void AudioCloseOutput();
