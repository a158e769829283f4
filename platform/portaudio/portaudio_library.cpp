// Run-time binding of the PortAudio functions: dlopen of the shared library where the system has it,
// the functions linked into the program otherwise; a table of harmless stand-ins until then.
#include "platform/portaudio/portaudio_library.h"

#if defined(TIK_PORTAUDIO_RUNTIME_LOAD)
#include <dlfcn.h>
#endif

namespace {
PaError NotStarted() { return paNotInitialized; }
PaDeviceIndex NoDevices() { return 0; }
const PaDeviceInfo* NoDeviceInfo(PaDeviceIndex) { return nullptr; }
const PaHostApiInfo* NoHostApiInfo(PaHostApiIndex) { return nullptr; }
PaError NoFormat(const PaStreamParameters*, const PaStreamParameters*, double) { return paNotInitialized; }
PaError NoOpen(PaStream** stream, const PaStreamParameters*, const PaStreamParameters*, double, unsigned long,
               PaStreamFlags, PaStreamCallback*, void*) {
    if (stream) *stream = nullptr;
    return paNotInitialized;
}
PaError NoStream(PaStream*) { return paNotInitialized; }
PaTime NoTime(PaStream*) { return 0.0; }
signed long NoFrames(PaStream*) { return paNotInitialized; }
PaError NoRead(PaStream*, void*, unsigned long) { return paNotInitialized; }
PaError NoWrite(PaStream*, const void*, unsigned long) { return paNotInitialized; }

PortAudioApi api = {NotStarted,  NotStarted, NoDevices, NoDeviceInfo, NoHostApiInfo, NoFormat,
                    NoOpen,      NoStream,   NoStream,  NoStream,     NoStream,      NoTime,
                    NoFrames,    NoFrames,   NoRead,    NoWrite};

#if defined(TIK_PORTAUDIO_RUNTIME_LOAD)
template <typename Function>
bool Bind(void* library, const char* name, Function* slot) {
    void* symbol = dlsym(library, name);
    if (!symbol) return false;
    *slot = reinterpret_cast<Function>(symbol);
    return true;
}

bool Load() {
    const char* names[] = {"libportaudio.so.2", "libportaudio.2.dylib", "libportaudio.so"};
    void* library = nullptr;
    for (const char* name : names)
        if ((library = dlopen(name, RTLD_NOW | RTLD_LOCAL)) != nullptr) break;
    if (!library) return false;
    PortAudioApi loaded{};
    bool complete = Bind(library, "Pa_Initialize", &loaded.Initialize) &&
                    Bind(library, "Pa_Terminate", &loaded.Terminate) &&
                    Bind(library, "Pa_GetDeviceCount", &loaded.GetDeviceCount) &&
                    Bind(library, "Pa_GetDeviceInfo", &loaded.GetDeviceInfo) &&
                    Bind(library, "Pa_GetHostApiInfo", &loaded.GetHostApiInfo) &&
                    Bind(library, "Pa_IsFormatSupported", &loaded.IsFormatSupported) &&
                    Bind(library, "Pa_OpenStream", &loaded.OpenStream) &&
                    Bind(library, "Pa_StartStream", &loaded.StartStream) &&
                    Bind(library, "Pa_AbortStream", &loaded.AbortStream) &&
                    Bind(library, "Pa_CloseStream", &loaded.CloseStream) &&
                    Bind(library, "Pa_IsStreamStopped", &loaded.IsStreamStopped) &&
                    Bind(library, "Pa_GetStreamTime", &loaded.GetStreamTime) &&
                    Bind(library, "Pa_GetStreamReadAvailable", &loaded.GetStreamReadAvailable) &&
                    Bind(library, "Pa_GetStreamWriteAvailable", &loaded.GetStreamWriteAvailable) &&
                    Bind(library, "Pa_ReadStream", &loaded.ReadStream) &&
                    Bind(library, "Pa_WriteStream", &loaded.WriteStream);
    if (!complete) {
        dlclose(library);
        return false;
    }
    api = loaded;  // the library stays loaded for the life of the process
    return true;
}
#else
bool Load() {
    api = {Pa_Initialize,     Pa_Terminate,       Pa_GetDeviceCount,         Pa_GetDeviceInfo,
           Pa_GetHostApiInfo, Pa_IsFormatSupported, Pa_OpenStream,           Pa_StartStream,
           Pa_AbortStream,    Pa_CloseStream,     Pa_IsStreamStopped,        Pa_GetStreamTime,
           Pa_GetStreamReadAvailable, Pa_GetStreamWriteAvailable, Pa_ReadStream, Pa_WriteStream};
    return true;
}
#endif
}  // namespace

bool LoadPortAudio() {
    static const bool loaded = Load();
    return loaded;
}

const PortAudioApi& PortAudio() { return api; }
