// Live audio through PortAudio with a private ALSA configuration: devices and formats, capture from a
// file-fed device and from the built-in pulse generator, playback into a file, and `tik-cli capture`
// end to end against the detector fed the same samples.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/audio_interface.h"
#include "acquisition/detector.h"
#include "acquisition/pulse_generator.h"
#include "acquisition/pulse_store.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "files/data_file_format.h"
#include "platform/headless/headless.h"
#include "ui/program_state.h"

namespace {
// A file-fed capture device and a playback device that records into a file; "default" is the same
// device, so nothing of the machine's own audio set-up takes part. One more device has a UTF-8 name
// (micro sign, en dash, euro sign, snowman) to show how names reach the program.
const char* const ALSA_CONFIGURATION = R"(pcm.filecap {
    type file
    slave.pcm { type null }
    file { @func getenv vars [ PLAYBACK_FILE ] default "/dev/null" }
    infile { @func getenv vars [ CAPTURE_FILE ] default "/dev/zero" }
    format "raw"
}
pcm.!default "filecap"
pcm."µcap–€☃" { type file slave.pcm { type null } file "/dev/null" infile "/dev/zero" format "raw" }
)";

int lastMarker = -1000;  // loop markers are negative, so they never look like a buffer index
std::string folder;      // this program's files, removed when all tests have run

// The ALSA configuration is in force (ALSA_CONFIG_PATH) before PortAudio starts.
class AudioEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        const char* base = std::getenv("TIK_TEST_TMP");
        std::filesystem::path root =
            base ? std::filesystem::path(base) : std::filesystem::temp_directory_path();
        folder = (root / ("tik-portaudio-tests-" + std::to_string(getpid()))).string();
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "/asound.conf") << ALSA_CONFIGURATION;
        setenv("ALSA_CONFIG_PATH", (folder + "/asound.conf").c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
};
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new AudioEnvironment);

// Runs the headless event loop, handing every audio notification to handler until it returns true.
// False when `seconds` pass first.
bool RunNotifications(const std::function<bool(AudioNotification, int)>& handler, double seconds) {
    int marker = --lastMarker;
    bool timedOut = false;
    Headless().quitPosted = false;
    Headless().audioObserver = [&](AudioNotification kind, int index) {
        timedOut = timedOut || index == marker;
        if (index == marker || (index >= 0 && handler(kind, index))) PostQuit(0);
    };
    // The timeout arrives as one more notification, behind everything posted before it.
    std::atomic<bool> finished = false;
    std::thread timer([&] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!finished && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (!finished) PostAudioNotification(AUDIO_OUTPUT_DONE, marker);
    });
    RunEventLoop();
    finished = true;
    timer.join();
    Headless().audioObserver = nullptr;
    return !timedOut;
}

// Delivers every notification posted so far and returns them in order.
std::vector<std::pair<AudioNotification, int>> CollectNotifications() {
    std::vector<std::pair<AudioNotification, int>> seen;
    RunNotifications(
        [&seen](AudioNotification kind, int index) { return seen.emplace_back(kind, index), false; }, 0.0);
    return seen;
}

WaveFormat MakeFormat(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t mask) {
    WaveFormat f{};
    f.formatTag = 1;
    f.channels = channels;
    f.samplesPerSecond = rate;
    f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.averageBytesPerSecond = rate * f.blockAlign;
    f.bitsPerSample = f.validBitsPerSample = bits;
    f.channelMask = mask;
    return f;
}

int FindDevice(bool input, const std::string& name) {
    char text[256];
    for (int i = 0; i < (input ? AudioInputDeviceCount() : AudioOutputDeviceCount()); i++)
        if ((input ? AudioInputDeviceName : AudioOutputDeviceName)(i, text, sizeof text) && name == text)
            return i;
    return -1;
}

// Deterministic bytes that never repeat with a short period, so a misplaced block shows.
std::vector<uint8_t> PatternBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random() >> 24);
    return bytes;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Fixture: CAPTURE_FILE and PLAYBACK_FILE point at this test's own files, no generator settings are
// in the environment; every stream is closed and every notification drained afterwards.
class LiveAudioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string stem = folder + "/" + info->name();
        capturePath = stem + ".capture.raw";
        playbackPath = stem + ".playback.raw";
        WriteFile(capturePath, {});
        setenv("CAPTURE_FILE", capturePath.c_str(), 1);
        setenv("PLAYBACK_FILE", playbackPath.c_str(), 1);
        for (const char* const* name = pulseGeneratorVariables; *name; name++) unsetenv(*name);
    }

    void TearDown() override {
        AudioCloseInput();
        AudioCloseOutput();
        CollectNotifications();
    }

    std::string capturePath, playbackPath;
};

constexpr uint32_t HALF_SECOND = 96000;  // 48000 Hz x 2 channels x 2 bytes / 2
using Notifications = std::vector<std::pair<AudioNotification, int>>;

struct Capture {
    std::vector<int> order;      // buffer indices in arrival order
    std::vector<uint8_t> bytes;  // their bytes as they arrived, one after the other
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
            capture.bytes.insert(capture.bytes.end(), buffer.begin(), buffer.end());
            if (slow && capture.order.size() == 2)
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
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

std::vector<uint8_t> Prefix(const std::vector<uint8_t>& bytes, size_t length) {
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::min(length, bytes.size()));
}

// Waits for `count` finished output blocks and returns their indices in order.
std::vector<int> WaitForBlocks(size_t count) {
    std::vector<int> done;
    RunNotifications(
        [&](AudioNotification kind, int index) {
            if (kind == AUDIO_OUTPUT_DONE) done.push_back(index);
            return done.size() == count;
        },
        60.0);
    return done;
}

// The generator is the last input; names arrive in Windows-1252 (a character it lacks becomes '?')
// and are cut to the capacity given. The format query accepts PCM at
// the rates of the table only; each query opens the device (about 2 s under the sanitizers).
TEST_F(LiveAudioTest, DeviceListsAndFormatQuery) {
    int inputs = AudioInputDeviceCount();
    char name[256];
    ASSERT_TRUE(AudioInputDeviceName(inputs - 1, name, sizeof name));
    EXPECT_STREQ(name, "TIK pulse generator");
    EXPECT_EQ(FindDevice(false, "TIK pulse generator"), -1);
    EXPECT_GE(FindDevice(true, "\265cap\226\200?"), 0);  // "µcap–€☃": the snowman is not in Windows-1252
    ASSERT_TRUE(AudioInputDeviceName(inputs - 1, name, 4));
    EXPECT_STREQ(name, "TIK");

    int device = FindDevice(true, "filecap");
    WaveFormat extensible = MakeFormat(2, 24, 192000, 3);
    extensible.formatTag = 0xFFFE;
    EXPECT_TRUE(AudioInputFormatSupported(device, extensible));
    EXPECT_FALSE(
        AudioInputFormatSupported(device, MakeFormat(2, 16, 12345, 3)));  // not one of the eight rates
    EXPECT_FALSE(AudioInputFormatSupported(-1, MakeFormat(2, 16, 48000, 3)));
    EXPECT_FALSE(AudioOutputFormatSupported(FindDevice(false, "filecap"), MakeFormat(2, 16, 22050, 3)));
}

// The file device delivers as fast as it is read; a slow pass of the core must not cost any data, a
// buffer the core keeps is never written, and reset returns each queued buffer once, in queue order.
TEST_F(LiveAudioTest, FourBuffersCycleWithTheFileBytesAndResetReturnsTheQueued) {
    const std::tuple<int, int, std::vector<int>, std::vector<int>> cases[] = {
        {-1, 12, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}, {0, 1, 2}},
        {1, 9, {0, 1, 2, 3, 0, 2, 3, 0, 2}, {3, 0}}};
    for (const auto& [keep, total, order, back] : cases) {
        std::vector<uint8_t> file = PatternBytes(size_t{HALF_SECOND} * 12, 1);
        WriteFile(capturePath, file);
        Capture capture = CaptureBuffers(FindDevice(true, "filecap"), MakeFormat(2, 16, 48000, 3),
                                         HALF_SECOND, total, keep, keep < 0);
        ASSERT_TRUE(capture.complete);
        EXPECT_EQ(capture.order, order);
        EXPECT_TRUE(capture.bytes == Prefix(file, capture.bytes.size()));
        EXPECT_EQ(AudioLostInputFrames(), 0u);
        AudioResetInput();
        Notifications returned;
        for (int index : back) returned.emplace_back(AUDIO_INPUT_FILLED, index);
        EXPECT_EQ(CollectNotifications(), returned);
        EXPECT_TRUE(keep < 0 || capture.buffers[keep] == std::vector<uint8_t>(HALF_SECOND, 0x5A));
        AudioCloseInput();
    }
}

// Every bit depth delivers the file's bytes; "Right" alone reads the device in stereo and keeps the
// right channel, "Left" alone reads it in mono.
TEST_F(LiveAudioTest, EveryBitDepthAndMonoChannelDeliversTheFileBytesExactly) {
    const std::tuple<uint16_t, uint16_t, uint32_t> cases[] = {{2, 16, 3}, {2, 24, 3}, {2, 32, 3},
                                                              {1, 16, 2}, {1, 24, 2}, {1, 16, 1}};
    for (const auto& [channels, bits, mask] : cases) {
        size_t sample = bits / 8u, length = channels * sample * 24000;
        std::vector<uint8_t> file = PatternBytes(length * 2 * 3, bits + mask), expected = file;
        if (mask == 2) {
            expected.clear();
            for (size_t at = sample; at < file.size(); at += 2 * sample)
                expected.insert(expected.end(), &file[at], &file[at] + sample);
        }
        WriteFile(capturePath, file);
        Capture capture = CaptureBuffers(FindDevice(true, "filecap"), MakeFormat(channels, bits, 48000, mask),
                                         static_cast<uint32_t>(length), 3);
        ASSERT_TRUE(capture.complete);
        EXPECT_TRUE(capture.bytes == Prefix(expected, 3 * length)) << bits << " bits, mask " << mask;
        Stop();
    }
}

// Unpaced, the generator device delivers exactly what the generator module makes with the same
// settings, in stereo and as mono "Right"; settings that do not parse are reported, and they and rise,
// decay and coupling times out of order are left at their defaults.
TEST_F(LiveAudioTest, GeneratorDeliversTheModuleSignal) {
    for (const char* setting : {"TIK_GEN_SPEED=0", "TIK_GEN_SEED=42", "TIK_GEN_RATE=300",
                                "TIK_GEN_COINCIDENCE=0.5", "TIK_GEN_NOISE=lots", "TIK_GEN_RISE=500"})
        putenv(const_cast<char*>(setting));
    testing::internal::CaptureStderr();
    const int generator = AudioInputDeviceCount() - 1;
    WaveFormat format = MakeFormat(2, 16, 48000, 3);
    Capture stereo = CaptureBuffers(generator, format, HALF_SECOND, 8);
    Stop();
    Capture right = CaptureBuffers(generator, MakeFormat(1, 16, 48000, 2), HALF_SECOND / 2, 8);
    Stop();
    ASSERT_TRUE(stereo.complete && right.complete);
    PulseGeneratorParameters parameters;
    parameters.speed = 0, parameters.seed = 42, parameters.pulseRate = 300, parameters.coincidence = 0.5;
    PulseGenerator model;
    ASSERT_TRUE(InitPulseGenerator(model, parameters, 48000));
    std::vector<uint8_t> expected(8 * HALF_SECOND), expectedRight;
    GeneratePulseFrames(model, format, expected.data(), 8 * 24000);
    for (size_t at = 2; at < expected.size(); at += 4)
        expectedRight.insert(expectedRight.end(), {expected[at], expected[at + 1]});
    EXPECT_TRUE(stereo.bytes == expected);
    EXPECT_TRUE(right.bytes == expectedRight);

    EXPECT_NE(testing::internal::GetCapturedStderr().find("ignoring TIK_GEN_NOISE=lots"), std::string::npos);
}

// Blocks play in the order written, each posted when done; reset returns every unplayed block once, in
// order; mono "Right" plays on the right speaker.
TEST_F(LiveAudioTest, OutputPlaysBlocksInWrittenOrderAndResetReturnsTheRest) {
    std::vector<uint8_t> blocks[4];
    for (int i = 0; i < 4; i++) blocks[i] = PatternBytes(HALF_SECOND, 20 + static_cast<uint32_t>(i));
    ASSERT_TRUE(AudioOpenOutput(FindDevice(false, "filecap"), MakeFormat(2, 16, 48000, 3)));
    for (int i : {1, 3, 0, 2}) AudioWriteOutput(i, blocks[i].data(), HALF_SECOND);
    EXPECT_EQ(WaitForBlocks(4), (std::vector<int>{1, 3, 0, 2}));
    for (int i = 0; i < 4; i++) AudioWriteOutput(i, blocks[i].data(), HALF_SECOND);
    AudioResetOutput();
    Notifications all;
    for (int i = 0; i < 4; i++) all.emplace_back(AUDIO_OUTPUT_DONE, i);
    EXPECT_EQ(CollectNotifications(), all);
    AudioCloseOutput();
    std::vector<uint8_t> expected;
    for (int i : {1, 3, 0, 2}) expected.insert(expected.end(), blocks[i].begin(), blocks[i].end());
    EXPECT_TRUE(Prefix(ReadFile(playbackPath), expected.size()) == expected);

    WriteFile(playbackPath, {});
    ASSERT_TRUE(AudioOpenOutput(FindDevice(false, "filecap"), MakeFormat(1, 16, 48000, 2)));
    std::vector<uint8_t> mono = PatternBytes(HALF_SECOND / 2, 50), stereo;
    AudioWriteOutput(0, mono.data(), HALF_SECOND / 2);
    ASSERT_EQ(WaitForBlocks(1), (std::vector<int>{0}));
    AudioCloseOutput();
    for (size_t i = 0; i < mono.size(); i += 2) stereo.insert(stereo.end(), {0, 0, mono[i], mono[i + 1]});
    EXPECT_TRUE(Prefix(ReadFile(playbackPath), stereo.size()) == stereo);
}

constexpr uint32_t RATE = 48000;
constexpr uint32_t BUFFER_BYTES = RATE / 2 * 4;  // half a second of 16-bit stereo

// The pulse records (left, then right) the detector stores from these samples fed in half-second
// buffers, as a capture of 3 s with a threshold of 3 runs.
std::vector<uint8_t> DetectInBuffers(const std::vector<uint8_t>& samples) {
    ResetProgramState();
    settings.inputChannels = 2;
    settings.channel[0].minHeight = settings.channel[1].minHeight = 3;
    settings.channel[0].acquisitionTime = settings.channel[1].acquisitionTime = 3;
    ValidateAudioFormats();
    dataSampleRate = RATE;
    QuantizeSettings(true);
    EXPECT_TRUE(AllocatePulseStore(true, false));
    ClearAcquisition();
    DropOpenPulses();
    ResetShapeHistory();
    runState |= RS_ACQUIRING;
    std::vector<uint8_t> buffer(4 + BUFFER_BYTES, 0);  // placed as the capture places its buffers
    for (size_t at = 0; at + BUFFER_BYTES <= samples.size() && !(runState & RS_LIMIT_REACHED);
         at += BUFFER_BYTES) {
        std::memcpy(buffer.data() + 4, samples.data() + at, BUFFER_BYTES);
        DetectPulses(buffer.data() + 4, BUFFER_BYTES);
    }
    std::vector<uint8_t> records;
    for (int c = 0; c < 2; ++c)
        for (uint32_t i = 0; i < pulseCount[c]; ++i) {
            const uint8_t* raw = reinterpret_cast<const uint8_t*>(&Pulse(c, i));
            records.insert(records.end(), raw, raw + sizeof(PulseRecord));
        }
    return records;
}

TEST_F(LiveAudioTest, BatchCaptureStoresThePulsesOfHalfSecondBlocks) {
    PulseGeneratorParameters parameters;
    parameters.pulseRate = 400.0, parameters.seed = 11;
    PulseGenerator generator;
    ASSERT_TRUE(InitPulseGenerator(generator, parameters, RATE));
    std::vector<uint8_t> samples(size_t{RATE} * 9 / 2 * 4);  // 4.5 s: the device must never run dry
    GeneratePulseFrames(generator, MakeFormat(2, 16, RATE, 3), samples.data(), RATE * 9 / 2);
    WriteFile(capturePath, samples);
    std::string dataFile = folder + "/capture.pls";
    std::string command =
        "TIK_SETTINGS='" + folder + "/cli.ini' '" + TIK_CLI_PATH +
        "' capture --device filecap --seconds 3 --set inputChannels=2 --set left.minHeight=3 "
        "--set right.minHeight=3 --save '" +
        dataFile + "' > '" + folder + "/cli.out' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    std::vector<uint8_t> bytes = ReadFile(dataFile);
    ASSERT_GE(bytes.size(), DATA_FILE_HEADER_SIZE);
    DataFileHeader header;
    std::memcpy(&header, bytes.data(), sizeof(header));
    std::vector<uint8_t> records = DetectInBuffers(samples);
    EXPECT_EQ(std::vector<int64_t>({header.sampleClock, header.leftCount, header.rightCount}),
              std::vector<int64_t>({3 * RATE, pulseCount[0], pulseCount[1]}));
    EXPECT_GT(std::min(pulseCount[0], pulseCount[1]), 500u);
    EXPECT_TRUE(std::vector<uint8_t>(bytes.begin() + DATA_FILE_HEADER_SIZE, bytes.end()) == records);
}
}  // namespace
