// PortAudio backend, input: a reader thread fills the queued buffers in queue order from a blocking
// PortAudio stream or from the built-in pulse generator, and posts each one to the user-interface thread.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "acquisition/pulse_generator.h"
#include "platform/portaudio/portaudio_backend.h"
#include "platform/ui.h"

namespace {
using Clock = std::chrono::steady_clock;

// The core cycles four buffers; the room for more only guards against a misbehaving caller.
constexpr int QUEUE_CAPACITY = 16;

struct QueuedBuffer {
    int index;
    uint8_t* data;
    uint32_t length;
};

// The queue is shared with the reader and guarded by control.mutex.
TransferControl control;
QueuedBuffer queue[QUEUE_CAPACITY];
int queueHead = 0, queueCount = 0;
std::thread reader;

// The stream's set-up: written by the user-interface thread only while the reader is not running.
bool inputOpen = false;
bool fromGenerator = false;
PaStream* stream = nullptr;
WaveFormat format{};
ChannelPlan plan{};
uint32_t chunkFrames = 0;      // frames per transfer: 10 ms, so a reset is answered quickly
std::vector<uint8_t> scratch;  // device frames when the device has more channels than the format
PulseGenerator generator;      // advanced by the reader

std::atomic<uint64_t> lostFrames{0};  // counted by the reader, read by the user-interface thread

// Reader-thread state of the running stream.
uint64_t framesRead = 0;
PaTime streamStart = 0.0;
Clock::time_point paceStart;
uint64_t framesPaced = 0;

// ---- Reading from a device ---------------------------------------------------------------------------

// An overflow says data was lost but not how much: the stream clock tells how many frames should have
// arrived by now; what was neither read nor is waiting was lost (at least one frame).
void CountOverflow(long waiting) {
    double elapsed = (PortAudio().GetStreamTime(stream) - streamStart) * format.samplesPerSecond;
    double accounted = static_cast<double>(framesRead + static_cast<uint64_t>(waiting > 0 ? waiting : 0) +
                                           lostFrames.load());
    double missing = elapsed - accounted;
    uint64_t lost = 1;
    if (missing > 1.0 && missing < 1e15) lost = static_cast<uint64_t>(missing);
    lostFrames += lost;
}

void KeepChannel(const uint8_t* from, uint8_t* to, uint32_t frames) {
    int bytes = format.bitsPerSample / 8;
    int stride = plan.deviceChannels * bytes;
    from += plan.keepChannel * bytes;
    for (uint32_t i = 0; i < frames; i++, from += stride, to += bytes)
        std::memcpy(to, from, static_cast<size_t>(bytes));
}

// Reads exactly `frames` frames into data; false when a stop was requested first. Only what is
// available is read, so the thread never blocks inside PortAudio on a device that stopped delivering.
bool ReadFromDevice(uint8_t* data, uint32_t frames) {
    uint32_t done = 0;
    while (done < frames) {
        if (control.stopRequested) return false;
        long available = PortAudio().GetStreamReadAvailable(stream);
        if (available == paInputOverflowed) {  // the device could not recover at once
            CountOverflow(0);
            if (WaitOrStop(control, 2000)) return false;
            continue;
        }
        if (available <= 0) {  // nothing yet, or the device failed: the watchdog judges a long silence
            if (WaitOrStop(control, available == 0 ? 2000 : 10000)) return false;
            continue;
        }
        uint32_t n = frames - done;
        if (n > chunkFrames) n = chunkFrames;
        if (static_cast<unsigned long>(available) < n) n = static_cast<uint32_t>(available);
        uint8_t* target = data + static_cast<size_t>(done) * format.blockAlign;
        bool narrow = plan.deviceChannels != format.channels;
        PaError result = PortAudio().ReadStream(stream, narrow ? scratch.data() : target, n);
        if (result != paNoError && result != paInputOverflowed) {
            if (WaitOrStop(control, 10000)) return false;
            continue;
        }
        if (narrow) KeepChannel(scratch.data(), target, n);
        framesRead += n;
        done += n;
        if (result == paInputOverflowed) CountOverflow(PortAudio().GetStreamReadAvailable(stream));
    }
    return true;
}

// ---- Reading from the generator ----------------------------------------------------------------------

// The generator runs at `speed` times real time (unpaced at 0). When the core falls behind, it waits:
// no sample is dropped, and it never rushes to catch up more than one second of backlog.
bool ReadFromGenerator(uint8_t* data, uint32_t frames) {
    double speed = generator.parameters.speed;
    double perSecond = format.samplesPerSecond * speed;
    double stallFrame = generator.parameters.stallAfterSeconds * format.samplesPerSecond;
    uint32_t done = 0;
    while (done < frames) {
        if (control.stopRequested) return false;
        uint32_t n = frames - done;
        if (n > chunkFrames) n = chunkFrames;
        if (stallFrame > 0.0 && static_cast<double>(generator.frame) >= stallFrame) {
            // A device that stopped delivering: nothing more until the stream is reset.
            if (WaitOrStop(control, 20000)) return false;
            continue;
        }
        if (speed > 0.0) {
            double elapsed = std::chrono::duration<double>(Clock::now() - paceStart).count();
            double ready = elapsed * perSecond - static_cast<double>(framesPaced);
            if (ready > perSecond) {
                paceStart += std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>((ready - perSecond) / perSecond));
                ready = perSecond;
            }
            if (ready < n) {
                double wait = (n - ready) / perSecond * 1e6;
                if (WaitOrStop(control, static_cast<int>(std::fmin(wait + 1.0, 20000.0)))) return false;
                continue;
            }
        }
        GeneratePulseFrames(generator, format, data + static_cast<size_t>(done) * format.blockAlign, n);
        framesPaced += n;
        done += n;
    }
    return true;
}

// ---- The reader thread --------------------------------------------------------------------------------

void ReaderMain() {
    for (;;) {
        QueuedBuffer buffer;
        {
            std::unique_lock<std::mutex> lock(control.mutex);
            control.signal.wait(lock, [] { return control.stopRequested.load() || queueCount > 0; });
            if (control.stopRequested) return;
            buffer = queue[queueHead];
        }
        uint32_t frames = buffer.length / format.blockAlign;
        bool complete =
            fromGenerator ? ReadFromGenerator(buffer.data, frames) : ReadFromDevice(buffer.data, frames);
        if (!complete) return;  // the buffer stays queued; the reset returns it
        {
            std::lock_guard<std::mutex> lock(control.mutex);
            queueHead = (queueHead + 1) % QUEUE_CAPACITY;
            queueCount--;
        }
        PostAudioNotification(AUDIO_INPUT_FILLED, buffer.index);
    }
}

void StopReader() {
    {
        std::lock_guard<std::mutex> lock(control.mutex);
        control.stopRequested = true;
    }
    control.signal.notify_all();
    if (reader.joinable()) reader.join();
    control.stopRequested = false;
}

void StopStream() {
    if (stream && PortAudio().IsStreamStopped(stream) == 0) PortAudio().AbortStream(stream);
}

// The live generator's parameters: defaults changed by the TIK_GEN_* environment variables. A value
// that does not parse is reported and ignored.
PulseGeneratorParameters GeneratorParametersFromEnvironment() {
    PulseGeneratorParameters parameters;
    for (const char* const* name = pulseGeneratorVariables; *name; name++) {
        const char* value = std::getenv(*name);
        if (value && !SetPulseGeneratorParameter(parameters, *name, value))
            std::fprintf(stderr, "%s: ignoring %s=%s (not a number in its range)\n", GENERATOR_DEVICE_NAME,
                         *name, value);
    }
    if (!PulseGeneratorTimesValid(parameters)) {
        std::fprintf(stderr, "%s: rise, decay and coupling times must increase; using their defaults\n",
                     GENERATOR_DEVICE_NAME);
        PulseGeneratorParameters defaults;
        parameters.riseMicroseconds = defaults.riseMicroseconds;
        parameters.decayMicroseconds = defaults.decayMicroseconds;
        parameters.couplingMicroseconds = defaults.couplingMicroseconds;
    }
    return parameters;
}
}  // namespace

bool AudioOpenInput(int device, const WaveFormat& wanted) {
    AudioCloseInput();
    EnsurePortAudio();
    if (!PortAudioFormatUsable(wanted)) return false;
    format = wanted;
    chunkFrames = format.samplesPerSecond / 100;
    lostFrames = 0;
    if (IsGeneratorDevice(device)) {
        if (!InitPulseGenerator(generator, GeneratorParametersFromEnvironment(), format.samplesPerSecond))
            return false;
        fromGenerator = true;
        inputOpen = true;
        return true;
    }
    PaStreamParameters parameters;
    if (!PlanStream(PortAudioInputDevice(device), true, format, &plan, &parameters)) return false;
    if (PortAudio().OpenStream(&stream, &parameters, nullptr, format.samplesPerSecond,
                               paFramesPerBufferUnspecified, paClipOff | paDitherOff, nullptr,
                               nullptr) != paNoError) {
        stream = nullptr;
        return false;
    }
    if (plan.deviceChannels != format.channels)
        scratch.assign(static_cast<size_t>(chunkFrames) * plan.deviceChannels * (format.bitsPerSample / 8),
                       0);
    fromGenerator = false;
    inputOpen = true;
    return true;
}

void AudioQueueInputBuffer(int index, uint8_t* data, uint32_t length) {
    if (!inputOpen || !data) return;
    {
        std::lock_guard<std::mutex> lock(control.mutex);
        // A buffer already in the queue stays where it is: the device owns it until it comes back.
        for (int i = 0; i < queueCount; i++) {
            const QueuedBuffer& queued = queue[(queueHead + i) % QUEUE_CAPACITY];
            if (queued.index == index || queued.data == data) return;
        }
        if (queueCount == QUEUE_CAPACITY) return;
        queue[(queueHead + queueCount) % QUEUE_CAPACITY] = {index, data, length};
        queueCount++;
    }
    control.signal.notify_all();
}

void AudioStartInput() {
    if (!inputOpen || reader.joinable()) return;
    if (stream) {
        // A stream that fails to start delivers nothing; the watchdog handles it.
        PortAudio().StartStream(stream);
        streamStart = PortAudio().GetStreamTime(stream);
    }
    framesRead = 0;
    framesPaced = 0;
    paceStart = Clock::now();
    control.stopRequested = false;
    reader = std::thread(ReaderMain);
}

void AudioResetInput() {
    if (!inputOpen) return;
    StopReader();
    StopStream();
    // Every buffer still queued comes back, in queue order, after any the reader has posted.
    std::lock_guard<std::mutex> lock(control.mutex);
    for (; queueCount > 0; queueCount--) {
        PostAudioNotification(AUDIO_INPUT_FILLED, queue[queueHead].index);
        queueHead = (queueHead + 1) % QUEUE_CAPACITY;
    }
}

// Closing without a reset drops the queued buffers without notifications: nobody waits for them.
void AudioCloseInput() {
    if (!inputOpen) return;
    StopReader();
    StopStream();
    if (stream) PortAudio().CloseStream(stream);
    stream = nullptr;
    std::lock_guard<std::mutex> lock(control.mutex);
    queueHead = 0;
    queueCount = 0;
    inputOpen = false;
    fromGenerator = false;
}

uint64_t AudioLostInputFrames() {
    return lostFrames.load();
}

void ShutdownPortAudioInput() {
    AudioCloseInput();
}
