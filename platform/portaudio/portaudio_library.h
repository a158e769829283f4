// The PortAudio functions the backend calls, reached through one table. Where the system can load
// libraries at run time the table is filled on first use, so that programs that never touch a sound
// device (a replay in the batch tool) neither load PortAudio nor the sound servers it links.
#pragma once
#include <portaudio.h>

struct PortAudioApi {
    PaError (*Initialize)();
    PaError (*Terminate)();
    PaDeviceIndex (*GetDeviceCount)();
    const PaDeviceInfo* (*GetDeviceInfo)(PaDeviceIndex device);
    const PaHostApiInfo* (*GetHostApiInfo)(PaHostApiIndex hostApi);
    PaError (*IsFormatSupported)(const PaStreamParameters* input, const PaStreamParameters* output,
                                 double sampleRate);
    PaError (*OpenStream)(PaStream** stream, const PaStreamParameters* input,
                          const PaStreamParameters* output, double sampleRate, unsigned long framesPerBuffer,
                          PaStreamFlags flags, PaStreamCallback* callback, void* userData);
    PaError (*StartStream)(PaStream* stream);
    PaError (*AbortStream)(PaStream* stream);
    PaError (*CloseStream)(PaStream* stream);
    PaError (*IsStreamStopped)(PaStream* stream);
    PaTime (*GetStreamTime)(PaStream* stream);
    signed long (*GetStreamReadAvailable)(PaStream* stream);
    signed long (*GetStreamWriteAvailable)(PaStream* stream);
    PaError (*ReadStream)(PaStream* stream, void* buffer, unsigned long frames);
    PaError (*WriteStream)(PaStream* stream, const void* buffer, unsigned long frames);
};

// Loads the library once. False when it cannot be found; every function of the table then fails
// harmlessly (errors, no devices, no streams).
bool LoadPortAudio();

// The table (the harmless one until LoadPortAudio has succeeded).
const PortAudioApi& PortAudio();
