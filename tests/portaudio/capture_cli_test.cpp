// End to end: `tik-cli capture` from the file-fed ALSA device through PortAudio stores exactly the
// pulses that the detector finds in the same samples fed in the capture's half-second buffers.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "acquisition/audio_interface.h"
#include "acquisition/detector.h"
#include "acquisition/pulse_generator.h"
#include "acquisition/pulse_store.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "files/data_file_format.h"
#include "tests/portaudio/portaudio_support.h"
#include "ui/program_state.h"

namespace {
constexpr uint32_t RATE = 48000;
constexpr uint32_t FRAME_BYTES = 4;                       // 16-bit stereo
constexpr uint32_t BUFFER_BYTES = RATE / 2 * FRAME_BYTES;  // half a second

// The sample clock, the pulse counts and the pulse records (left, then right) of a capture.
struct StoredPulses {
    int64_t clock = 0;
    uint32_t count[2] = {0, 0};
    std::vector<uint8_t> records;
};

StoredPulses ReadDataFile(const std::string& path) {
    StoredPulses result;
    std::vector<uint8_t> bytes = ReadFile(path);
    if (bytes.size() < DATA_FILE_HEADER_SIZE) return result;
    DataFileHeader header;
    std::memcpy(&header, bytes.data(), sizeof(header));
    result = {header.sampleClock, {header.leftCount, header.rightCount}, {}};
    size_t size = std::min(bytes.size() - DATA_FILE_HEADER_SIZE, size_t{header.leftCount + header.rightCount} * sizeof(PulseRecord));
    result.records.assign(bytes.begin() + DATA_FILE_HEADER_SIZE, bytes.begin() + static_cast<long>(DATA_FILE_HEADER_SIZE + size));
    return result;
}

// The same samples through the detector in half-second buffers, as a capture with these settings runs.
StoredPulses DetectInBuffers(const std::vector<uint8_t>& samples, double seconds, double threshold) {
    ResetProgramState();
    settings.inputChannels = 2;
    for (ChannelSettings& channel : settings.channel) {
        channel.minHeight = threshold;
        channel.acquisitionTime = seconds;
    }
    ValidateAudioFormats();
    dataSampleRate = RATE;
    QuantizeSettings(true);
    EXPECT_TRUE(AllocatePulseStore(true, false));
    ClearAcquisition();
    DropOpenPulses();
    ResetShapeHistory();
    runState |= RS_ACQUIRING;
    std::vector<uint8_t> buffer(4 + BUFFER_BYTES, 0);
    for (size_t at = 0; at + BUFFER_BYTES <= samples.size() && !(runState & RS_LIMIT_REACHED); at += BUFFER_BYTES) {
        std::memcpy(buffer.data() + 4, samples.data() + at, BUFFER_BYTES);
        DetectPulses(buffer.data() + 4, BUFFER_BYTES);
    }
    StoredPulses result{sampleClock, {pulseCount[0], pulseCount[1]}, {}};
    for (int c = 0; c < 2; ++c)
        for (uint32_t i = 0; i < pulseCount[c]; ++i) {
            PulseRecord record = Pulse(c, i);
            const uint8_t* raw = reinterpret_cast<const uint8_t*>(&record);
            result.records.insert(result.records.end(), raw, raw + sizeof record);
        }
    return result;
}

struct CliRun {
    int status;
    std::string output;
};

// Runs tik-cli with its own settings file, standard output and error collected.
CliRun RunCli(const std::string& environment, const std::string& arguments) {
    std::string folder = AudioTestFolder(), output = folder + "/cli.out";
    std::string command = "TIK_SETTINGS='" + folder + "/cli.ini' " + environment + " '" + TIK_CLI_PATH + "' " +
                          arguments + " > '" + output + "' 2>&1";
    int status = std::system(command.c_str());
    std::vector<uint8_t> bytes = ReadFile(output);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(bytes.begin(), bytes.end())};
}
}  // namespace

TEST_F(LiveAudioTest, BatchCaptureStoresThePulsesOfHalfSecondBlocks) {
    const double seconds = 3.0;
    PulseGeneratorParameters parameters;
    parameters.pulseRate = 400.0, parameters.seed = 11;
    PulseGenerator generator;
    ASSERT_TRUE(InitPulseGenerator(generator, parameters, RATE));
    std::vector<uint8_t> samples(size_t{RATE} * 9 / 2 * FRAME_BYTES);  // 4.5 s: the device must never run dry
    GeneratePulseFrames(generator, MakeFormat(2, 16, RATE, 3), samples.data(), RATE * 9 / 2);
    WriteFile(capturePath, samples);
    std::string dataFile = AudioTestFolder() + "/capture.pls";
    CliRun run = RunCli("", "capture --device filecap --seconds 3 --set inputChannels=2 --set left.minHeight=3 "
                            "--set right.minHeight=3 --save '" + dataFile + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    StoredPulses captured = ReadDataFile(dataFile);
    StoredPulses expected = DetectInBuffers(samples, seconds, 3.0);
    EXPECT_EQ(captured.clock, static_cast<int64_t>(seconds * RATE));
    EXPECT_EQ(expected.clock, captured.clock);
    ASSERT_GT(expected.count[0], 500u);
    ASSERT_GT(expected.count[1], 500u);
    EXPECT_EQ(captured.count[0], expected.count[0]);
    EXPECT_EQ(captured.count[1], expected.count[1]);
    EXPECT_TRUE(captured.records == expected.records);
}

// The generator stops delivering after 1.2 s: without a data file the watchdog ends the capture with
// a message; with one, it waits silently to restart (a minute later; SIGTERM ends the wait first) and
// keeps the two buffers it had.
TEST_F(LiveAudioTest, DeviceThatStopsDeliveringEndsTheCaptureThroughTheWatchdog) {
    CliRun run = RunCli("TIK_GEN_STALL_AFTER=1.2", "capture --device 'TIK pulse generator' --seconds 30 --summary");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("Data acquisition stopped early."), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("\"sampleClock\":48000,"), std::string::npos) << run.output;

    std::string dataFile = AudioTestFolder() + "/stalled.pls";
    run = RunCli("TIK_GEN_STALL_AFTER=1.2 timeout --preserve-status -s TERM 6",
                 "capture --device 'TIK pulse generator' --seconds 30 --save '" + dataFile + "'");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("Data acquisition stopped early."), std::string::npos) << run.output;
    StoredPulses stored = ReadDataFile(dataFile);
    EXPECT_EQ(stored.clock, 48000);
    EXPECT_GT(stored.count[0], 50u);
}
