// Live capture through PortAudio from the file-fed ALSA device: device lists, format queries, the four
// buffers cycling in order with the file's exact bytes, held-back buffers, reset, mono "Right".
#include <algorithm>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>

#include "tests/portaudio/portaudio_support.h"

namespace {
constexpr uint32_t HALF_SECOND_16_STEREO = 96000;  // 48000 Hz x 2 channels x 2 bytes / 2

struct Capture {
    std::vector<int> order;                      // buffer indices in arrival order
    std::vector<std::vector<uint8_t>> contents;  // their bytes as they arrived
    bool complete = false;
};

// Captures `count` buffers of `length` bytes, re-queueing each one as the capture controller does.
Capture CaptureBuffers(int device, const WaveFormat& format, uint32_t length, int count) {
    Capture capture;
    if (!AudioOpenInput(device, format)) return capture;
    std::vector<uint8_t> buffers[4];
    for (int i = 0; i < 4; i++) {
        buffers[i].assign(length, 0xEE);
        AudioQueueInputBuffer(i, buffers[i].data(), length);
    }
    AudioStartInput();
    capture.complete = RunNotifications(
        [&](AudioNotification kind, int index) {
            if (kind != AUDIO_INPUT_FILLED || index > 3) return true;
            capture.order.push_back(index);
            capture.contents.push_back(buffers[index]);
            if (static_cast<int>(capture.order.size()) == count) return true;
            AudioQueueInputBuffer(index, buffers[index].data(), length);
            return false;
        },
        30.0);
    AudioResetInput();
    AudioCloseInput();
    DrainNotifications();
    return capture;
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

// The file device delivers as fast as it is read; a slow pass of the core must not cost any data.
TEST_F(LiveAudioTest, FileCaptureCyclesFourBuffersWithTheFileBytesInOrder) {
    const int total = 12;
    std::vector<uint8_t> file = PatternBytes(static_cast<size_t>(HALF_SECOND_16_STEREO) * total, 1);
    WriteFile(capturePath, file);
    int device = FindInputDevice("filecap");
    ASSERT_GE(device, 0);
    ASSERT_TRUE(AudioOpenInput(device, MakeFormat(2, 16, 48000, 3)));
    std::vector<uint8_t> buffers[4];
    for (int i = 0; i < 4; i++) {
        buffers[i].assign(HALF_SECOND_16_STEREO, 0xEE);
        AudioQueueInputBuffer(i, buffers[i].data(), HALF_SECOND_16_STEREO);
    }
    AudioStartInput();
    std::vector<int> order;
    std::vector<int> wrong;  // positions whose bytes differ from the file
    bool done = RunNotifications(
        [&](AudioNotification kind, int index) {
            if (kind != AUDIO_INPUT_FILLED || index > 3) return true;
            size_t position = order.size();
            order.push_back(index);
            if (buffers[index] != Slice(file, position * HALF_SECOND_16_STEREO, HALF_SECOND_16_STEREO))
                wrong.push_back(static_cast<int>(position));
            if (position == 1) std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a slow pass
            if (order.size() == total) return true;
            AudioQueueInputBuffer(index, buffers[index].data(), HALF_SECOND_16_STEREO);
            return false;
        },
        30.0);
    ASSERT_TRUE(done);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}));
    EXPECT_TRUE(wrong.empty()) << "first wrong buffer: " << wrong.front();
    EXPECT_EQ(AudioLostInputFrames(), 0u);

    // Buffers 0, 1 and 2 are queued again; each comes back exactly once, in queue order, whether
    // the reader filled it before the reset or the reset returned it.
    AudioResetInput();
    std::vector<std::pair<AudioNotification, int>> back = CollectNotifications();
    EXPECT_EQ(back, (std::vector<std::pair<AudioNotification, int>>{
                        {AUDIO_INPUT_FILLED, 0}, {AUDIO_INPUT_FILLED, 1}, {AUDIO_INPUT_FILLED, 2}}));
    AudioCloseInput();
    EXPECT_TRUE(CollectNotifications().empty());
}

TEST_F(LiveAudioTest, ABufferNotQueuedAgainIsNeverWritten) {
    const int total = 9;
    std::vector<uint8_t> file = PatternBytes(static_cast<size_t>(HALF_SECOND_16_STEREO) * total, 2);
    WriteFile(capturePath, file);
    int device = FindInputDevice("filecap");
    ASSERT_GE(device, 0);
    ASSERT_TRUE(AudioOpenInput(device, MakeFormat(2, 16, 48000, 3)));
    std::vector<uint8_t> buffers[4];
    for (int i = 0; i < 4; i++) {
        buffers[i].assign(HALF_SECOND_16_STEREO, 0);
        AudioQueueInputBuffer(i, buffers[i].data(), HALF_SECOND_16_STEREO);
    }
    AudioStartInput();
    std::vector<int> order;
    int wrong = 0;
    bool done = RunNotifications(
        [&](AudioNotification kind, int index) {
            if (kind != AUDIO_INPUT_FILLED || index > 3) return true;
            size_t position = order.size();
            order.push_back(index);
            if (buffers[index] != Slice(file, position * HALF_SECOND_16_STEREO, HALF_SECOND_16_STEREO))
                wrong++;
            if (order.size() == total) return true;
            if (index == 1)
                std::fill(buffers[1].begin(), buffers[1].end(), 0x5A);  // kept by the core
            else
                AudioQueueInputBuffer(index, buffers[index].data(), HALF_SECOND_16_STEREO);
            return false;
        },
        30.0);
    ASSERT_TRUE(done);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 0, 2, 3, 0, 2}));
    EXPECT_EQ(wrong, 0);
    AudioResetInput();
    std::vector<std::pair<AudioNotification, int>> back = CollectNotifications();
    EXPECT_EQ(back, (std::vector<std::pair<AudioNotification, int>>{{AUDIO_INPUT_FILLED, 3},
                                                                    {AUDIO_INPUT_FILLED, 0}}));
    EXPECT_TRUE(std::all_of(buffers[1].begin(), buffers[1].end(), [](uint8_t b) { return b == 0x5A; }));
}

TEST_F(LiveAudioTest, ResetReturnsQueuedBuffersInQueueOrderAndTheStreamCanStartAgain) {
    std::vector<uint8_t> file = PatternBytes(HALF_SECOND_16_STEREO * 3, 3);
    WriteFile(capturePath, file);
    int device = FindInputDevice("filecap");
    ASSERT_GE(device, 0);
    ASSERT_TRUE(AudioOpenInput(device, MakeFormat(2, 16, 48000, 3)));
    std::vector<uint8_t> buffers[4];
    for (int i : {2, 0, 3, 1}) {
        buffers[i].assign(HALF_SECOND_16_STEREO, 0x11);
        AudioQueueInputBuffer(i, buffers[i].data(), HALF_SECOND_16_STEREO);
    }
    AudioQueueInputBuffer(0, buffers[0].data(), HALF_SECOND_16_STEREO);  // already queued: ignored
    AudioResetInput();
    std::vector<std::pair<AudioNotification, int>> back = CollectNotifications();
    EXPECT_EQ(back, (std::vector<std::pair<AudioNotification, int>>{{AUDIO_INPUT_FILLED, 2},
                                                                    {AUDIO_INPUT_FILLED, 0},
                                                                    {AUDIO_INPUT_FILLED, 3},
                                                                    {AUDIO_INPUT_FILLED, 1}}));
    for (const std::vector<uint8_t>& b : buffers)
        EXPECT_TRUE(std::all_of(b.begin(), b.end(), [](uint8_t x) { return x == 0x11; }));  // never started

    AudioQueueInputBuffer(1, buffers[1].data(), HALF_SECOND_16_STEREO);
    AudioQueueInputBuffer(3, buffers[3].data(), HALF_SECOND_16_STEREO);
    AudioStartInput();
    std::vector<int> order;
    ASSERT_TRUE(RunNotifications(
        [&](AudioNotification, int index) {
            order.push_back(index);
            return order.size() == 2;
        },
        30.0));
    EXPECT_EQ(order, (std::vector<int>{1, 3}));
    EXPECT_EQ(buffers[1], Slice(file, 0, HALF_SECOND_16_STEREO));
    EXPECT_EQ(buffers[3], Slice(file, HALF_SECOND_16_STEREO, HALF_SECOND_16_STEREO));
}

TEST_F(LiveAudioTest, EveryBitDepthDeliversTheFileBytesExactly) {
    int device = FindInputDevice("filecap");
    ASSERT_GE(device, 0);
    for (uint16_t bits : {16, 24, 32}) {
        SCOPED_TRACE(bits);
        uint32_t length = 2 * bits / 8 * 48000 / 2;
        std::vector<uint8_t> file = PatternBytes(static_cast<size_t>(length) * 5, bits);
        WriteFile(capturePath, file);
        Capture capture = CaptureBuffers(device, MakeFormat(2, bits, 48000, 3), length, 5);
        ASSERT_TRUE(capture.complete);
        ASSERT_EQ(capture.contents.size(), 5u);
        for (size_t i = 0; i < 5; i++) EXPECT_EQ(capture.contents[i], Slice(file, i * length, length)) << i;
    }
}

// "Right" alone reads the device in stereo and keeps the right channel; "Left" alone reads it in mono.
TEST_F(LiveAudioTest, MonoRightKeepsTheRightChannelOfAStereoDevice) {
    int device = FindInputDevice("filecap");
    ASSERT_GE(device, 0);
    const uint32_t monoLength = 48000;  // half a second of 16-bit mono
    std::vector<uint8_t> file = PatternBytes(static_cast<size_t>(monoLength) * 2 * 3, 9);
    WriteFile(capturePath, file);
    Capture right = CaptureBuffers(device, MakeFormat(1, 16, 48000, 2), monoLength, 3);
    ASSERT_TRUE(right.complete);
    std::vector<uint8_t> expected;
    for (size_t frame = 0; frame < file.size() / 4; frame++) {
        expected.push_back(file[frame * 4 + 2]);
        expected.push_back(file[frame * 4 + 3]);
    }
    for (size_t i = 0; i < 3; i++)
        EXPECT_EQ(right.contents[i], Slice(expected, i * monoLength, monoLength)) << i;

    Capture left = CaptureBuffers(device, MakeFormat(1, 16, 48000, 1), monoLength, 3);
    ASSERT_TRUE(left.complete);
    for (size_t i = 0; i < 3; i++) EXPECT_EQ(left.contents[i], Slice(file, i * monoLength, monoLength)) << i;
}
