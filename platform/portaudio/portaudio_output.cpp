// PortAudio backend, output: a writer thread plays the written blocks in order through a blocking
// PortAudio stream and posts each finished block to the user-interface thread.
#include <cstring>
#include <thread>
#include <vector>

#include "platform/portaudio/portaudio_backend.h"
#include "platform/ui.h"

namespace {
constexpr int QUEUE_CAPACITY = 16;

struct QueuedBlock {
    int index;
    const uint8_t* data;
    uint32_t length;
};

// The queue is shared with the writer and guarded by control.mutex; the stream's set-up below is
// written by the user-interface thread only while the writer is not running.
TransferControl control;
QueuedBlock queue[QUEUE_CAPACITY];
int queueHead = 0, queueCount = 0;
std::thread writer;

bool outputOpen = false;
PaStream* stream = nullptr;
WaveFormat format{};
ChannelPlan plan{};
uint32_t chunkFrames = 0;
std::vector<uint8_t> scratch;  // device frames when the device has more channels than the format

// Places the format's single channel into its slot of the device frames; the other slot stays silent.
void WidenChannel(const uint8_t* from, uint32_t frames) {
    int bytes = format.bitsPerSample / 8;
    int stride = plan.deviceChannels * bytes;
    std::memset(scratch.data(), 0, static_cast<size_t>(frames) * stride);
    uint8_t* to = scratch.data() + plan.keepChannel * bytes;
    for (uint32_t i = 0; i < frames; i++, from += bytes, to += stride)
        std::memcpy(to, from, static_cast<size_t>(bytes));
}

// Writes exactly `frames` frames; false when a stop was requested first. Only as much as the stream
// has room for is written, so the thread never blocks inside PortAudio on a stuck device.
bool WriteToDevice(const uint8_t* data, uint32_t frames) {
    uint32_t done = 0;
    while (done < frames) {
        if (control.stopRequested) return false;
        long room = PortAudio().GetStreamWriteAvailable(stream);
        if (room <= 0) {
            if (WaitOrStop(control, room == 0 ? 2000 : 10000)) return false;
            continue;
        }
        uint32_t n = frames - done;
        if (n > chunkFrames) n = chunkFrames;
        if (static_cast<unsigned long>(room) < n) n = static_cast<uint32_t>(room);
        const uint8_t* source = data + static_cast<size_t>(done) * format.blockAlign;
        bool widen = plan.deviceChannels != format.channels;
        if (widen) WidenChannel(source, n);
        PaError result = PortAudio().WriteStream(stream, widen ? scratch.data() : source, n);
        if (result != paNoError && result != paOutputUnderflowed) {
            if (WaitOrStop(control, 10000)) return false;
            continue;
        }
        done += n;
    }
    return true;
}

// A block counts as finished once PortAudio has taken all of it: it then waits in the device buffer,
// at most one latency from the speaker, and its memory is the core's again.
void WriterMain() {
    for (;;) {
        QueuedBlock block;
        {
            std::unique_lock<std::mutex> lock(control.mutex);
            control.signal.wait(lock, [] { return control.stopRequested.load() || queueCount > 0; });
            if (control.stopRequested) return;
            block = queue[queueHead];
        }
        if (!WriteToDevice(block.data, block.length / format.blockAlign)) return;  // the reset returns it
        {
            std::lock_guard<std::mutex> lock(control.mutex);
            queueHead = (queueHead + 1) % QUEUE_CAPACITY;
            queueCount--;
        }
        PostAudioNotification(AUDIO_OUTPUT_DONE, block.index);
    }
}

void StartWriter() {
    PortAudio().StartStream(stream);  // a stream that fails to start plays nothing and returns no block
    control.stopRequested = false;
    writer = std::thread(WriterMain);
}

void StopWriter() {
    {
        std::lock_guard<std::mutex> lock(control.mutex);
        control.stopRequested = true;
    }
    control.signal.notify_all();
    if (writer.joinable()) writer.join();
    control.stopRequested = false;
    if (stream && PortAudio().IsStreamStopped(stream) == 0) PortAudio().AbortStream(stream);
}
}  // namespace

bool AudioOpenOutput(int device, const WaveFormat& wanted) {
    AudioCloseOutput();
    EnsurePortAudio();
    PaStreamParameters parameters;
    if (!PlanStream(PortAudioOutputDevice(device), false, wanted, &plan, &parameters)) return false;
    format = wanted;
    if (PortAudio().OpenStream(&stream, nullptr, &parameters, format.samplesPerSecond,
                               paFramesPerBufferUnspecified, paClipOff | paDitherOff, nullptr,
                               nullptr) != paNoError) {
        stream = nullptr;
        return false;
    }
    chunkFrames = format.samplesPerSecond / 100;
    if (plan.deviceChannels != format.channels)
        scratch.assign(static_cast<size_t>(chunkFrames) * plan.deviceChannels * (format.bitsPerSample / 8),
                       0);
    outputOpen = true;
    StartWriter();
    return true;
}

// Like the wave-output service, a block that is still waiting to be played is not queued a second time.
void AudioWriteOutput(int index, const uint8_t* data, uint32_t length) {
    if (!outputOpen || !data) return;
    {
        std::lock_guard<std::mutex> lock(control.mutex);
        for (int i = 0; i < queueCount; i++)
            if (queue[(queueHead + i) % QUEUE_CAPACITY].index == index) return;
        if (queueCount == QUEUE_CAPACITY) return;
        queue[(queueHead + queueCount) % QUEUE_CAPACITY] = {index, data, length};
        queueCount++;
    }
    control.signal.notify_all();
}

// Stops playing at once and returns every block not yet played, in order; the output stays open.
void AudioResetOutput() {
    if (!outputOpen) return;
    StopWriter();
    {
        std::lock_guard<std::mutex> lock(control.mutex);
        for (; queueCount > 0; queueCount--) {
            PostAudioNotification(AUDIO_OUTPUT_DONE, queue[queueHead].index);
            queueHead = (queueHead + 1) % QUEUE_CAPACITY;
        }
    }
    StartWriter();
}

void AudioCloseOutput() {
    if (!outputOpen) return;
    StopWriter();
    PortAudio().CloseStream(stream);
    stream = nullptr;
    std::lock_guard<std::mutex> lock(control.mutex);
    queueHead = 0;
    queueCount = 0;
    outputOpen = false;
}

void ShutdownPortAudioOutput() {
    AudioCloseOutput();
}
