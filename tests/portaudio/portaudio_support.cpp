// Helpers of the live-audio tests: the private ALSA configuration, the event loop with a timeout.
#include "tests/portaudio/portaudio_support.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "acquisition/pulse_generator.h"
#include "platform/headless/headless.h"

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

// Removes the program's folder when all tests have run.
class FolderCleanup : public ::testing::Environment {
  public:
    void TearDown() override { std::filesystem::remove_all(AudioTestFolder()); }
};
[[maybe_unused]] ::testing::Environment* const folderCleanup =
    ::testing::AddGlobalTestEnvironment(new FolderCleanup);
}  // namespace

const std::string& AudioTestFolder() {
    static const std::string folder = [] {
        const char* base = std::getenv("TIK_TEST_TMP");
        std::filesystem::path root =
            base ? std::filesystem::path(base) : std::filesystem::temp_directory_path();
        std::filesystem::path path = root / ("tik-portaudio-tests-" + std::to_string(getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        std::ofstream(path / "asound.conf") << ALSA_CONFIGURATION;
        setenv("ALSA_CONFIG_PATH", (path / "asound.conf").c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        return path.string();
    }();
    return folder;
}

bool RunNotifications(const std::function<bool(AudioNotification, int)>& handler, double seconds) {
    int marker = --lastMarker;
    bool timedOut = false;
    HeadlessState& headless = Headless();
    headless.quitPosted = false;
    headless.audioObserver = [&](AudioNotification kind, int index) {
        if (index == marker) {
            timedOut = true;
            PostQuit(0);
        } else if (index >= 0 && handler(kind, index)) {
            PostQuit(0);
        }
    };
    // The timeout arrives as one more notification, behind everything posted before it.
    std::mutex mutex;
    std::condition_variable signal;
    bool finished = false;
    std::thread timer([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!signal.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return finished; }))
            PostAudioNotification(AUDIO_OUTPUT_DONE, marker);
    });
    RunEventLoop();
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
    }
    signal.notify_all();
    timer.join();
    headless.audioObserver = nullptr;
    return !timedOut;
}

std::vector<std::pair<AudioNotification, int>> CollectNotifications() {
    std::vector<std::pair<AudioNotification, int>> seen;
    RunNotifications([&seen](AudioNotification kind, int index) { return seen.emplace_back(kind, index), false; }, 0.0);
    return seen;
}

WaveFormat MakeFormat(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t mask) {
    WaveFormat f{};
    f.formatTag = 1;
    f.channels = channels;
    f.samplesPerSecond = rate;
    f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.averageBytesPerSecond = rate * f.blockAlign;
    f.bitsPerSample = bits;
    f.validBitsPerSample = bits;
    f.channelMask = mask;
    return f;
}

static int FindDevice(int count, bool (*name)(int, char*, int), const std::string& wanted) {
    char text[256];
    for (int i = 0; i < count; i++)
        if (name(i, text, sizeof text) && wanted == text) return i;
    return -1;
}
int FindInputDevice(const std::string& name) { return FindDevice(AudioInputDeviceCount(), AudioInputDeviceName, name); }
int FindOutputDevice(const std::string& name) { return FindDevice(AudioOutputDeviceCount(), AudioOutputDeviceName, name); }

std::vector<uint8_t> PatternBytes(size_t count, uint32_t seed) {
    std::vector<uint8_t> bytes(count);
    uint32_t x = seed * 2654435761u + 1;
    for (uint8_t& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 24);
    }
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

void LiveAudioTest::SetUp() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string stem = AudioTestFolder() + "/" + info->test_suite_name() + "." + info->name();
    capturePath = stem + ".capture.raw";
    playbackPath = stem + ".playback.raw";
    WriteFile(capturePath, {});
    setenv("CAPTURE_FILE", capturePath.c_str(), 1);
    setenv("PLAYBACK_FILE", playbackPath.c_str(), 1);
    for (const char* const* name = pulseGeneratorVariables; *name; name++) unsetenv(*name);
}

void LiveAudioTest::TearDown() {
    AudioCloseInput();
    AudioCloseOutput();
    CollectNotifications();
}
