// The data file through its commands: written and read back byte for byte, every accepted layout and
// every refused file in one table (also on the command line), "&Open" against "&Load Data",
// capacities, safe writing during a capture, and pulse times beyond 32 bits.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/pulse_store.h"
#include "analysis/calibration.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "files/binary_file.h"
#include "files/data_file_format.h"
#include "files/file_messages.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "tests/files/file_test_support.h"
#include "tests/support/store_fill.h"
#include "ui/commands.h"
#include "ui/host_events.h"
#include "ui/program_state.h"
#include "ui/startup.h"

namespace {
constexpr uint32_t PULSES_PER_BUFFER = 24;

class DataFileTest : public FilesTest {
  protected:
    // Half a second of 16-bit mono at 48000 Hz: 24 rectangular pulses of 40 % full scale at frames
    // 100, 1100, ...
    void Deliver(int buffers) {
        Bytes block(48000, 0);
        for (int f = 100; f + 8 <= 24000; f += 1000)
            for (int j = 0; j < 8; ++j) {
                int16_t value = 13107;
                std::memcpy(&block[static_cast<size_t>(f + j) * 2], &value, 2);
            }
        for (int i = 0; i < buffers; ++i) ASSERT_TRUE(ScriptedDeliverInput(block.data(), block.size()));
    }
    std::vector<PulseRecord> LeftRecords() const { return {pulseStore, pulseStore + pulseCount[0]}; }
};

// Saved, then read by a fresh program: "&Load Data" takes the pulses, capacities and channels only,
// "&Open" also the settings, comment and windows; saving again gives the same bytes.
TEST_F(DataFileTest, SaveLoadOpenSaveGivesTheSameBytes) {
    auto left = MakeRecords(5000, 1), right = MakeRecords(3000, 2);
    FillStore(left, right, 987654321);
    dataSampleRate = 22050;  // a replay at a rate outside the table
    std::strcpy(settings.comments, "<2024/01/02 03:04:05 0, 2024/01/02 04:04:05 3600>");
    settings.channel[0].minHeight = 7.5;
    settings.channel[0].maxPulses = 6000;
    settings.inputChannels = 1;
    ShowPlotWindow(3, true);
    // The finest bin overflows the Gaussian kernel table: the correlation goes off, the file stays readable.
    for (ChannelSettings& channel : settings.channel) channel.heightBinSize = 0.00001;
    QuantizeSettings(true);
    const double minHeight = settings.channel[0].minHeight;
    std::string first = TempPath("first.pls"), second = TempPath("second.pls");
    SetFileTransferLimit(1000);  // large transfers are moved in many calls
    uint64_t callsBefore = FileTransferCalls();
    RunCommand(IDM_SAVE, first);
    EXPECT_GE(FileTransferCalls() - callsBefore, (7216u + 24u * 8000u) / 1000u);
    auto firstBytes = ReadFileBytes(first);
    ASSERT_EQ(firstBytes.size(), 7216u + 24u * 8000u);
    DataFileHeader header;
    std::memcpy(&header, firstBytes.data(), sizeof(header));
    EXPECT_EQ(std::memcmp(header.magic, "PULS", 4), 0);
    EXPECT_EQ(header.sampleRate, 22050u);
    EXPECT_EQ(Headless().windows[0].title, "Pulses View vs Time/s   first.pls");

    RestartProgram();
    SetFileTransferLimit(777);
    const double defaultMinHeight = settings.channel[0].minHeight;
    for (ChannelSettings& channel : settings.channel) channel.heightBinSize = 0.00001;
    QuantizeSettings(true);
    RunCommand(IDM_LOAD_DATA, first);
    EXPECT_EQ(FormatErrors(), 0);
    ExpectStoreHolds(left, right);
    EXPECT_EQ(settings.channel[0].minHeight, defaultMinHeight);
    EXPECT_EQ(settings.channel[0].maxPulses, 6000);
    EXPECT_EQ(settings.inputChannels, 1u);
    EXPECT_STREQ(settings.comments, "");
    EXPECT_FALSE(Headless().windows[3].visible);

    RunCommand(IDM_OPEN, first);
    EXPECT_EQ(FormatErrors(), 0);
    ExpectStoreHolds(left, right);
    EXPECT_EQ(sampleClock, 987654321);
    EXPECT_EQ(dataSampleRate, 22050u);
    EXPECT_DOUBLE_EQ(acquisitionSeconds, 987654321 / 22050.0);
    EXPECT_STREQ(settings.comments, "<2024/01/02 03:04:05 0, 2024/01/02 04:04:05 3600>");
    EXPECT_EQ(settings.channel[0].minHeight, minHeight);
    EXPECT_TRUE(calibrationValid[1]);  // the channel in use: right
    EXPECT_FALSE(gaussianValid[1]);
    EXPECT_TRUE(runState & RS_DATA_READY);
    EXPECT_TRUE(Headless().windows[3].visible);
    EXPECT_EQ(Headless().windows[5].title, "PulseHeight Histogram   first.pls");
    EXPECT_EQ(Headless().windows[6].title, "Audio Input");
    RunCommand(IDM_SAVE, second);
    EXPECT_EQ(ReadFileBytes(second), firstBytes);
}

// Every layout of the header's history at the boundaries of its version ranges, and every damage,
// through "&Open": an accepted file brings its records and the sample rate it stands for; a refused
// one gives one message and leaves the loaded data, the store's size and the rate as they were.
TEST_F(DataFileTest, AcceptedLayoutsAndRefusedFiles) {
    struct Case {
        const char* name;
        DataFileRecipe recipe;
        uint32_t rate;  // after the open, from 48000; 0: refused
        Bytes bytes;    // instead of the recipe's bytes when not empty
    };
    auto with = [](void (*change)(DataFileRecipe&)) {
        DataFileRecipe r;
        r.left = MakeRecords(3, 21);
        r.right = MakeRecords(2, 22);
        r.sampleClock = 777;
        r.reserved = 44100;
        change(r);
        return r;
    };
    auto counts = [](uint32_t left, uint32_t right, int64_t extra) {
        DataFileRecipe r;
        r.maxPulses[0] = r.maxPulses[1] = 100000000.0;
        Bytes bytes = DataFileBytes(r);
        std::memcpy(&bytes[4], &left, 4);
        std::memcpy(&bytes[8], &right, 4);
        bytes.resize(static_cast<size_t>(static_cast<int64_t>(bytes.size()) + extra), 0);
        return bytes;
    };
    Case cases[] = {
        {"current: the true rate", with([](auto&) {}), 44100, {}},
        {"current without a rate", with([](auto& r) { r.reserved = 0, r.rateIndex = 5; }), 192000, {}},
        {"implausible rate", with([](auto& r) { r.reserved = 4000000000u, r.rateIndex = 0; }), 44100, {}},
        {"version 24", with([](auto& r) { r.version = 24, r.reserved = 12345, r.rateIndex = 3; }), 96000, {}},
        {"version 20", with([](auto& r) { r.version = 20, r.rateIndex = 3; }), 96000, {}},
        {"version 19: no rate", with([](auto& r) { r.version = 19, r.rateIndex = 3; }), 48000, {}},
        {"version 26: no rate", with([](auto& r) { r.version = 26, r.rateIndex = 3; }), 48000, {}},
        {"small capacities", with([](auto& r) { r.maxPulses[0] = r.maxPulses[1] = 2; }), 44100, {}},
        {"version 0", with([](auto& r) { r.version = 0, r.left = MakeRecords(60, 5); }), 48000, {}},
        {"Puls",
         with([](auto& r) { r.magic = "Puls", r.left = MakeRecords(200, 3), r.right = {}; }),
         48000,
         {}},
        {"short Puls", with([](auto& r) { r.magic = "Puls", r.right = {}; }), 0, {}},
        {"shorter than any header", {}, 0, Bytes(43, 'P')},
        {"unknown magic", with([](auto& r) { r.magic = "PULX"; }), 0, {}},
        {"one byte more", with([](auto& r) { r.sizeDelta = 1; }), 0, {}},
        {"one byte less", with([](auto& r) { r.sizeDelta = -1; }), 0, {}},
        {"negative clock", with([](auto& r) { r.sampleClock = -1; }), 0, {}},
        {"rate index beyond the table", with([](auto& r) { r.version = 22, r.rateIndex = 8; }), 0, {}},
        {"negative rate index", with([](auto& r) { r.rateIndex = -1; }), 0, {}},
        {"counts beyond any file", {}, 0, counts(0xFFFFFFFFu, 0xFFFFFFFFu, 0)},
        // 24 x (100000000 + 78956971) = 2^32 + 8: a 32-bit size would expect 7216 + 8 bytes.
        {"record bytes wrapping in 32 bits", {}, 0, counts(100000000u, 78956971u, 8)},
    };
    const auto kept = MakeRecords(5, 9);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FillStore(kept, {}, 100);
        dataSampleRate = 48000;
        settings.channel[0].maxPulses = settings.channel[1].maxPulses = 100;
        const uint32_t sizeBefore = storeSize;
        Headless().messages.clear();
        RunCommand(IDM_OPEN, MakeFile("case.pls", c.bytes.empty() ? DataFileBytes(c.recipe) : c.bytes));
        if (c.rate == 0) {
            ASSERT_EQ(Headless().messages.size(), 1u);
            EXPECT_EQ(Headless().messages[0].text, WRONG_FORMAT_MESSAGE);
            ExpectStoreHolds(kept, {});
            EXPECT_EQ(storeSize, sizeBefore);
            EXPECT_EQ(dataSampleRate, 48000u);
            continue;
        }
        EXPECT_TRUE(Headless().messages.empty());
        ExpectStoreHolds(c.recipe.left, c.recipe.right);
        EXPECT_EQ(sampleClock, c.recipe.sampleClock);
        EXPECT_EQ(dataSampleRate, c.rate);
        if (c.recipe.magic == "Puls") {  // left pulses only: the input "Left", room for every pulse
            EXPECT_EQ(settings.inputChannels, 0u);
            EXPECT_GE(settings.channel[1].maxPulses, 200);
        }
    }

    // A missing file (a stale command-line name) stays silent; a folder cannot be read.
    Headless().messages.clear();
    RunCommand(IDM_OPEN, TempPath("missing.pls"));
    EXPECT_TRUE(Headless().messages.empty());
    std::string folder = TempPath("folder.pls");
    std::filesystem::create_directories(folder);
    RunCommand(IDM_LOAD_DATA, folder);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, "File could not be read:\n" + folder);
    ExpectStoreHolds(kept, {});

    // A damaged file (the last of the table) on the command line is reported, and the program starts.
    HeadlessReset();
    ScriptedAudioReset();
    ResetProgramState();
    ASSERT_TRUE(StartProgram(TempPath("case.pls").c_str()));
    HeadlessRunPostedCommands();
    EXPECT_EQ(FormatErrors(), 1);
    EXPECT_TRUE(runState & RS_READY);
}

TEST_F(DataFileTest, CapacitiesStayWithinTheStore) {
    // An absurd capacity is clamped before allocating; when the store cannot be had, the default
    // store takes over and a file that does not fit it is refused with an empty store.
    SetPulseStoreAllocationLimit(2000000);
    DataFileRecipe absurd;
    absurd.maxPulses[0] = absurd.maxPulses[1] = 1e300;
    absurd.left = MakeRecords(1000001, 10);
    RunCommand(IDM_OPEN, MakeFile("absurd.pls", DataFileBytes(absurd)));
    EXPECT_EQ(FormatErrors(), 1);
    EXPECT_EQ(pulseCapacity[0], 1000000u);
    EXPECT_EQ(settings.channel[0].maxPulses, 1000000);
    // Empty means empty: no pulses, clock, seconds or file name of the earlier data are left.
    EXPECT_EQ(pulseCount[0] + pulseCount[1], 0u);
    EXPECT_EQ(sampleClock, 0);
    EXPECT_EQ(acquisitionSeconds, 0.0);
    EXPECT_EQ(Headless().windows[0].title, "Pulses View vs Time/s   ");
}

TEST_F(DataFileTest, DiskFullKeepsThePreviousFileAndTheCaptureAndTimesBeyond32BitsSurvive) {
    RunCommand(IDM_WRITE_DATA_FILE);  // nothing named yet: nothing written
    EXPECT_TRUE(Headless().messages.empty());
    std::string path = TempPath("run.pls");
    RunCommand(IDM_START);
    Deliver(2);
    RunCommand(IDM_SAVE, path);  // written now, and again hourly and at Stop
    std::vector<unsigned char> first = ReadFileBytes(path);
    ASSERT_EQ(first.size(), DATA_FILE_HEADER_SIZE + PULSE_RECORD_SIZE * 2 * PULSES_PER_BUFFER);

    // The disk fills up: the hourly write fails, the previous file stays, the capture goes on.
    Deliver(2);
    SetOutputSizeLimit(DATA_FILE_HEADER_SIZE + 100);
    HostTimer(TIMER_HOURLY);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, "File could not be written:\n" + path);
    EXPECT_EQ(ReadFileBytes(path), first);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    EXPECT_TRUE(runState & RS_ACQUIRING);
    Deliver(1);

    // Still full at Stop: the final write fails too, and the pulses stay in memory.
    RunCommand(IDM_STOP);
    EXPECT_EQ(Headless().messages.size(), 2u);
    EXPECT_EQ(ReadFileBytes(path), first);
    std::vector<PulseRecord> captured = LeftRecords();
    ASSERT_EQ(captured.size(), 5 * PULSES_PER_BUFFER);

    // Space is freed. The capture goes on from a clock half a buffer short of 2^32 frames (as after
    // 25 hours at 48000 Hz); the pulse times beyond 32 bits survive a save and reopen.
    SetOutputSizeLimit(0);
    RunCommand(IDM_SAVE, TempPath("no/such/folder/x.pls"));
    EXPECT_EQ(Headless().messages.size(), 3u);
    const int64_t resume = (int64_t{1} << 32) - 12000;
    sampleClock = resume;
    for (ChannelSettings& channel : settings.channel) channel.acquisitionTime = 200000.0;
    RunCommand(IDM_CONTINUE);
    Deliver(2);
    RunCommand(IDM_STOP);
    ASSERT_EQ(pulseCount[0], 7 * PULSES_PER_BUFFER);
    EXPECT_EQ(sampleClock, resume + 48000);
    for (uint32_t k = 0; k < 48; ++k) {
        int64_t expected = resume + 24000 * (k / 24) + 100 + 1000 * (k % 24);
        ASSERT_EQ(Pulse(0, 120 + k).time, expected) << k;
    }
    EXPECT_EQ(dataLength[WND_PULSES], sampleClock);
    EXPECT_DOUBLE_EQ(acquisitionSeconds, static_cast<double>(sampleClock) / 48000.0);

    captured = LeftRecords();
    RunCommand(IDM_SAVE, path);
    EXPECT_EQ(Headless().messages.size(), 3u);
    RestartProgram();
    RunCommand(IDM_OPEN, path);
    EXPECT_TRUE(Headless().messages.empty());
    ExpectStoreHolds(captured, {});
    EXPECT_EQ(sampleClock, resume + 48000);
    EXPECT_EQ(dataLength[WND_PULSES], sampleClock);
}
}  // namespace
