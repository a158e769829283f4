// Live capture through PortAudio from the file-fed ALSA device and the built-in pulse generator:
// device lists, format queries, four buffers cycling with the file's exact bytes, reset, mono "Right".
#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

#include "acquisition/pulse_generator.h"
#include "tests/portaudio/portaudio_support.h"

namespace {
constexpr uint32_t HALF_SECOND = 96000;  // 48000 Hz x 2 channels x 2 bytes / 2
using Notifications = std::vector<std::pair<AudioNotification, int>>;

struct Capture {
    std::vector<int> order;                      // buffer indices in arrival order
    std::vector<std::vector<uint8_t>> contents;  // their bytes as they arrived
    std::vector<uint8_t> buffers[4];
    bool complete = false;
};

// Captures `count` buffers of `length` bytes, re-queueing each one as the capture controller does,
// except buffer `keep`, which the caller fills with 0x5A and holds; position 1 is a slow pass when
// asked. The stream is left open for the caller to reset.
Capture CaptureBuffers(int device, const WaveFormat& format, uint32_t length, int count, int keep = -1,
                       bool slow = false) {
    Capture capture;
    if (!AudioOpenInput(device, format)) return capture;
    for (int i = 0; i < 4; i++) {
        capture.buffers[i].assign(length, 0xEE);
        AudioQueueInputBuffer(i, capture.buffers[i].data(), length);
    }
    AudioStartInput();
    capture.complete = RunNotifications(
        [&](AudioNotification kind, int index) {
            if (kind != AUDIO_INPUT_FILLED || index > 3) return true;
            std::vector<uint8_t>& buffer = capture.buffers[index];
            capture.order.push_back(index);
            capture.contents.push_back(buffer);
            if (slow && capture.order.size() == 2) std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (static_cast<int>(capture.order.size()) == count) return true;
            if (index == keep)
                std::fill(buffer.begin(), buffer.end(), 0x5A);
            else
                AudioQueueInputBuffer(index, buffer.data(), length);
            return false;
        },
        60.0);
    return capture;
}

void Stop() {
    AudioResetInput();
    AudioCloseInput();
    CollectNotifications();
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t offset, size_t length) {
    return std::vector<uint8_t>(bytes.begin() + static_cast<long>(offset),
                                bytes.begin() + static_cast<long>(offset + length));
}
}  // namespace

TEST_F(LiveAudioTest, DeviceListsNameEveryDeviceOnceWithTheGeneratorLastAmongInputs) {
    int inputs = AudioInputDeviceCount();
    ASSERT_GE(inputs, 2);
    std::set<std::string> names;
    char name[256];
    for (int i = 0; i < inputs; i++) {
        ASSERT_TRUE(AudioInputDeviceName(i, name, sizeof name));
        EXPECT_TRUE(names.insert(name).second) << name;
    }
    EXPECT_STREQ(name, "TIK pulse generator");
    EXPECT_GE(FindInputDevice("filecap"), 0);
    EXPECT_GE(FindOutputDevice("filecap"), 0);
    EXPECT_EQ(FindOutputDevice("TIK pulse generator"), -1);
    // Names arrive in Windows-1252; a character it lacks becomes '?'.
    EXPECT_GE(FindInputDevice("\xB5"
                              "cap\x96\x80?"),
              0);

    EXPECT_FALSE(AudioInputDeviceName(-1, name, sizeof name));
    EXPECT_FALSE(AudioInputDeviceName(inputs, name, sizeof name));
    EXPECT_FALSE(AudioOutputDeviceName(AudioOutputDeviceCount(), name, sizeof name));
    // A short capacity cuts the name and still ends it.
    ASSERT_TRUE(AudioInputDeviceName(inputs - 1, name, 4));
    EXPECT_STREQ(name, "TIK");
}

TEST_F(LiveAudioTest, FormatQueryAcceptsIntegerPcmOfTheTableAndRefusesTheRest) {
    int device = FindInputDevice("filecap");
    ASSERT_GE(device, 0);
    EXPECT_TRUE(AudioInputFormatSupported(device, MakeFormat(2, 16, 48000, 3)));
    EXPECT_TRUE(AudioInputFormatSupported(device, MakeFormat(2, 24, 96000, 3)));
    EXPECT_TRUE(AudioInputFormatSupported(device, MakeFormat(1, 32, 384000, 1)));
    EXPECT_TRUE(AudioInputFormatSupported(device, MakeFormat(1, 16, 44100, 2)));
    WaveFormat extensible = MakeFormat(2, 24, 192000, 3);
    extensible.formatTag = 0xFFFE;
    extensible.extraSize = 22;
    EXPECT_TRUE(AudioInputFormatSupported(device, extensible));

    EXPECT_FALSE(
        AudioInputFormatSupported(device, MakeFormat(2, 16, 12345, 3)));  // not one of the eight rates
    EXPECT_FALSE(AudioInputFormatSupported(device, MakeFormat(2, 8, 48000, 3)));
    EXPECT_FALSE(AudioInputFormatSupported(device, MakeFormat(3, 16, 48000, 7)));
    WaveFormat badAlign = MakeFormat(2, 16, 48000, 3);
    badAlign.blockAlign = 3;
    EXPECT_FALSE(AudioInputFormatSupported(device, badAlign));
    WaveFormat floating = MakeFormat(2, 32, 48000, 3);
    floating.formatTag = 3;
    EXPECT_FALSE(AudioInputFormatSupported(device, floating));
    EXPECT_FALSE(AudioInputFormatSupported(-1, MakeFormat(2, 16, 48000, 3)));
    EXPECT_FALSE(AudioInputFormatSupported(AudioInputDeviceCount(), MakeFormat(2, 16, 48000, 3)));
    EXPECT_FALSE(AudioOpenInput(device, MakeFormat(2, 16, 12345, 3)));

    int output = FindOutputDevice("filecap");
    ASSERT_GE(output, 0);
    EXPECT_TRUE(AudioOutputFormatSupported(output, MakeFormat(2, 16, 48000, 3)));
    EXPECT_FALSE(AudioOutputFormatSupported(output, MakeFormat(2, 16, 22050, 3)));
    EXPECT_FALSE(AudioOutputFormatSupported(AudioOutputDeviceCount(), MakeFormat(2, 16, 48000, 3)));
}

// The file device delivers as fast as it is read; a slow pass of the core must not cost any data, a
// buffer the core keeps is never written, and reset returns each queued buffer once, in queue order.
TEST_F(LiveAudioTest, FourBuffersCycleWithTheFileBytesAndResetReturnsTheQueued) {
    struct Case {
        int keep, total;
        std::vector<int> order, back;
    };
    const Case cases[] = {{-1, 12, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}, {0, 1, 2}},
                          {1, 9, {0, 1, 2, 3, 0, 2, 3, 0, 2}, {3, 0}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keep);
        std::vector<uint8_t> file = PatternBytes(size_t{HALF_SECOND} * 12, 1);
        WriteFile(capturePath, file);
        Capture capture = CaptureBuffers(FindInputDevice("filecap"), MakeFormat(2, 16, 48000, 3), HALF_SECOND,
                                         c.total, c.keep, c.keep < 0);
        ASSERT_TRUE(capture.complete);
        EXPECT_EQ(capture.order, c.order);
        for (size_t i = 0; i < capture.contents.size(); i++)
            EXPECT_EQ(capture.contents[i], Slice(file, i * HALF_SECOND, HALF_SECOND)) << i;
        EXPECT_EQ(AudioLostInputFrames(), 0u);
        AudioResetInput();
        Notifications back;
        for (int index : c.back) back.emplace_back(AUDIO_INPUT_FILLED, index);
        EXPECT_EQ(CollectNotifications(), back);
        if (c.keep >= 0) {
            EXPECT_EQ(capture.buffers[c.keep], std::vector<uint8_t>(HALF_SECOND, 0x5A));
        }
        AudioCloseInput();
        EXPECT_TRUE(CollectNotifications().empty());
    }
}

TEST_F(LiveAudioTest, ResetBeforeStartReturnsBuffersInQueueOrderAndTheStreamCanStartAgain) {
    std::vector<uint8_t> file = PatternBytes(HALF_SECOND * 3, 3);
    WriteFile(capturePath, file);
    ASSERT_TRUE(AudioOpenInput(FindInputDevice("filecap"), MakeFormat(2, 16, 48000, 3)));
    std::vector<uint8_t> buffers[4];
    for (int i : {2, 0, 3, 1}) {
        buffers[i].assign(HALF_SECOND, 0x11);
        AudioQueueInputBuffer(i, buffers[i].data(), HALF_SECOND);
    }
    AudioQueueInputBuffer(0, buffers[0].data(), HALF_SECOND);  // already queued: ignored
    AudioResetInput();
    EXPECT_EQ(CollectNotifications(), (Notifications{{AUDIO_INPUT_FILLED, 2}, {AUDIO_INPUT_FILLED, 0},
                                                     {AUDIO_INPUT_FILLED, 3}, {AUDIO_INPUT_FILLED, 1}}));
    for (const std::vector<uint8_t>& b : buffers) EXPECT_EQ(b, std::vector<uint8_t>(HALF_SECOND, 0x11));

    AudioQueueInputBuffer(1, buffers[1].data(), HALF_SECOND);
    AudioQueueInputBuffer(3, buffers[3].data(), HALF_SECOND);
    AudioStartInput();
    std::vector<int> order;
    ASSERT_TRUE(RunNotifications(
        [&](AudioNotification, int index) {
            order.push_back(index);
            return order.size() == 2;
        },
        60.0));
    EXPECT_EQ(order, (std::vector<int>{1, 3}));
    EXPECT_EQ(buffers[1], Slice(file, 0, HALF_SECOND));
    EXPECT_EQ(buffers[3], Slice(file, HALF_SECOND, HALF_SECOND));
}

// Every bit depth delivers the file's bytes; "Right" alone reads the device in stereo and keeps the
// right channel, "Left" alone reads it in mono.
TEST_F(LiveAudioTest, EveryBitDepthAndMonoChannelDeliversTheFileBytesExactly) {
    const struct {
        uint16_t channels, bits;
        uint32_t mask;
    } cases[] = {{2, 16, 3}, {2, 24, 3}, {2, 32, 3}, {1, 16, 2}, {1, 24, 2}, {1, 16, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, mask " << c.mask);
        size_t sample = c.bits / 8u, length = c.channels * sample * 24000;
        std::vector<uint8_t> file = PatternBytes(length * 2 * 3, c.bits + c.mask), expected = file;
        if (c.mask == 2) {
            expected.clear();
            for (size_t at = sample; at < file.size(); at += 2 * sample)
                expected.insert(expected.end(), &file[at], &file[at] + sample);
        }
        WriteFile(capturePath, file);
        Capture capture = CaptureBuffers(FindInputDevice("filecap"), MakeFormat(c.channels, c.bits, 48000, c.mask),
                                         static_cast<uint32_t>(length), 3);
        ASSERT_TRUE(capture.complete);
        for (size_t i = 0; i < 3; i++) EXPECT_EQ(capture.contents[i], Slice(expected, i * length, length)) << i;
        Stop();
    }
}

// Unpaced, the generator device delivers exactly what the generator module makes with the same
// settings, in stereo and as mono "Right"; settings that do not parse are reported and left at their
// defaults, and rise, decay and coupling times out of order all fall back.
TEST_F(LiveAudioTest, UnpacedGeneratorDeliversTheModuleSignal) {
    for (const auto& [name, value] : {std::pair{"TIK_GEN_SPEED", "0"}, {"TIK_GEN_SEED", "42"}, {"TIK_GEN_RATE", "300"},
                                      {"TIK_GEN_COINCIDENCE", "0.5"}, {"TIK_GEN_NOISE", "lots"}, {"TIK_GEN_RISE", "500"}})
        setenv(name, value, 1);
    const int generator = AudioInputDeviceCount() - 1;
    WaveFormat format = MakeFormat(2, 16, 48000, 3);
    testing::internal::CaptureStderr();
    Capture stereo = CaptureBuffers(generator, format, HALF_SECOND, 8);
    Stop();
    Capture right = CaptureBuffers(generator, MakeFormat(1, 16, 48000, 2), HALF_SECOND / 2, 8);
    Stop();
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("TIK pulse generator: ignoring TIK_GEN_NOISE=lots"), std::string::npos) << errors;
    EXPECT_NE(errors.find("rise, decay and coupling times must increase"), std::string::npos) << errors;
    ASSERT_TRUE(stereo.complete && right.complete);

    PulseGeneratorParameters parameters;
    parameters.speed = 0, parameters.seed = 42, parameters.pulseRate = 300, parameters.coincidence = 0.5;
    PulseGenerator model;
    ASSERT_TRUE(InitPulseGenerator(model, parameters, 48000));
    std::vector<uint8_t> expected(8 * HALF_SECOND), expectedRight;
    GeneratePulseFrames(model, format, expected.data(), 8 * 24000);
    for (size_t at = 2; at < expected.size(); at += 4) expectedRight.insert(expectedRight.end(), {expected[at], expected[at + 1]});
    for (size_t i = 0; i < 8; i++) {
        EXPECT_EQ(stereo.contents[i], Slice(expected, i * HALF_SECOND, HALF_SECOND)) << i;
        EXPECT_EQ(right.contents[i], Slice(expectedRight, i * HALF_SECOND / 2, HALF_SECOND / 2)) << i;
    }
}

// The pace is a lower bound only: one second of signal at four times real time takes a quarter second.
TEST_F(LiveAudioTest, PacedGeneratorDoesNotRunAheadOfItsSpeed) {
    setenv("TIK_GEN_SPEED", "4", 1);
    auto start = std::chrono::steady_clock::now();
    Capture capture = CaptureBuffers(AudioInputDeviceCount() - 1, MakeFormat(2, 16, 48000, 3), HALF_SECOND, 2);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(capture.complete);
    EXPECT_GE(seconds, 0.24);
}
