// Internals shared by the PortAudio backend's files: library start-up and shutdown, the device lists,
// the mapping of a wave format onto a PortAudio stream, and the wait used by the transfer threads.
#pragma once
#include <portaudio.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/audio.h"
#include "platform/portaudio/portaudio_library.h"

// Name of the built-in pulse generator, the last entry of the input device list.
constexpr const char* GENERATOR_DEVICE_NAME = "TIK pulse generator";

// Starts PortAudio once (its start-up chatter on stderr is silenced unless TIK_AUDIO_DEBUG is set) and
// builds both device lists. False when PortAudio could not start; the input list then holds only the
// generator and the output list is empty.
bool EnsurePortAudio();

// The PortAudio device behind an entry of the input or output list; paNoDevice for the generator
// and for numbers outside the list.
PaDeviceIndex PortAudioInputDevice(int device);
PaDeviceIndex PortAudioOutputDevice(int device);
bool IsGeneratorDevice(int device);

// Integer PCM, 1 or 2 channels, 16/24/32 bits with a matching block alignment, one of the eight rates.
bool PortAudioFormatUsable(const WaveFormat& format);

// How a wave format maps onto a stream: the stream has deviceChannels channels and the format's single
// channel is channel keepChannel of it (when the counts differ). A mono "Right" format (channel mask
// exactly 2) opens the device in stereo and keeps the right channel; other mono formats open in mono, or
// in stereo keeping the left channel when the device has no mono mode.
struct ChannelPlan {
    int deviceChannels;
    int keepChannel;
};

// Finds the plan the device accepts (asked through Pa_IsFormatSupported, nothing is opened) and the
// stream parameters to open it with. False when the device refuses every plan.
bool PlanStream(PaDeviceIndex device, bool input, const WaveFormat& format, ChannelPlan* plan,
                PaStreamParameters* parameters);

// Closes the streams and joins their threads; called once at process exit before Pa_Terminate.
void ShutdownPortAudioInput();
void ShutdownPortAudioOutput();

// The stop flag and wake-up of one transfer thread (reader or writer) with its small buffer queue.
struct TransferControl {
    std::mutex mutex;
    std::condition_variable signal;
    std::atomic<bool> stopRequested{false};
};

// Sleeps up to the given time; returns true at once when a stop was requested.
bool WaitOrStop(TransferControl& control, int microseconds);
