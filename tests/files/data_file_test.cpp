// The data file through its commands: write and read back byte for byte, the accepted layouts,
// "&Open" against "&Load Data", the true sample rate, damaged files, and safe writing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/capture.h"
#include "acquisition/pulse_store.h"
#include "analysis/calibration.h"
#include "analysis/calibration_dialog.h"
#include "analysis/series.h"
#include "core/run_state.h"
#include "core/view_state.h"
#include "core/settings.h"
#include "files/binary_file.h"
#include "files/data_file.h"
#include "files/data_file_format.h"
#include "files/file_messages.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "tests/files/file_test_support.h"
#include "ui/commands.h"
#include "ui/daq_dialog.h"
#include "ui/host_events.h"
#include "ui/program_state.h"
#include "ui/startup.h"

namespace {
class DataFileTest : public FilesTest {
protected:
    // Puts records into the store as an acquisition would leave them.
    void FillStore(const std::vector<PulseRecord>& left, const std::vector<PulseRecord>& right, int64_t clock) {
        for (uint32_t i = 0; i < left.size(); ++i) Pulse(0, i) = left[i];
        for (uint32_t i = 0; i < right.size(); ++i) Pulse(1, i) = right[i];
        pulseCount[0] = static_cast<uint32_t>(left.size());
        pulseCount[1] = static_cast<uint32_t>(right.size());
        sampleClock = clock;
        runState |= RS_DATA_READY;
    }
    void ExpectStoreHolds(const std::vector<PulseRecord>& left, const std::vector<PulseRecord>& right) {
        ASSERT_EQ(pulseCount[0], left.size());
        ASSERT_EQ(pulseCount[1], right.size());
        for (uint32_t i = 0; i < left.size(); ++i) ASSERT_EQ(std::memcmp(&Pulse(0, i), &left[i], 24), 0) << i;
        for (uint32_t i = 0; i < right.size(); ++i) ASSERT_EQ(std::memcmp(&Pulse(1, i), &right[i], 24), 0) << i;
    }
    uint32_t Reserved(const std::vector<unsigned char>& file) {
        uint32_t value;
        std::memcpy(&value, file.data() + 28, 4);
        return value;
    }
};

TEST_F(DataFileTest, WriteOpenWriteGivesTheSameBytes) {
    auto left = MakeRecords(300, 1), right = MakeRecords(120, 2);
    FillStore(left, right, 987654321);
    std::strcpy(settings.comments, "<2024/01/02 03:04:05 0, 2024/01/02 04:04:05 3600>");
    settings.channel[0].minHeight = 2.5;
    QuantizeSettings(true);
    const double minHeight = settings.channel[0].minHeight;
    std::string first = TempPath("first.pls"), second = TempPath("second.pls");
    SaveAs(first);
    auto firstBytes = ReadFileBytes(first);
    ASSERT_EQ(firstBytes.size(), 7216u + 24u * 420u);
    EXPECT_EQ(std::memcmp(firstBytes.data(), "PULS", 4), 0);
    EXPECT_EQ(Reserved(firstBytes), 48000u);
    EXPECT_EQ(Headless().windows[0].title, "Pulses View vs Time/s   first.pls");

    // A fresh program opens it and writes it again.
    RestartProgram();
    OpenWith(IDM_OPEN, first);
    EXPECT_EQ(FormatErrors(), 0);
    ExpectStoreHolds(left, right);
    EXPECT_EQ(sampleClock, 987654321);
    EXPECT_DOUBLE_EQ(acquisitionSeconds, 987654321 / 48000.0);
    EXPECT_STREQ(settings.comments, "<2024/01/02 03:04:05 0, 2024/01/02 04:04:05 3600>");
    EXPECT_EQ(settings.channel[0].minHeight, minHeight);
    EXPECT_TRUE(runState & RS_DATA_READY);
    SaveAs(second);
    EXPECT_EQ(ReadFileBytes(second), firstBytes);
}

TEST_F(DataFileTest, AcceptedLayoutsAndRefusedFiles) {
    // Shorter than any header: refused before anything is read.
    OpenWith(IDM_OPEN, MakeFile("short.pls", Bytes(43, 'P')));
    EXPECT_EQ(FormatErrors(), 1);

    // An old "Puls" file of 200 left pulses: 4120 + 4800 bytes, input "Left".
    DataFileRecipe old;
    old.magic = "Puls";
    old.left = MakeRecords(200, 3);
    old.sampleClock = 50000;
    Bytes oldBytes = DataFileBytes(old);
    ASSERT_EQ(oldBytes.size(), 4120u + 4800u);
    settings.inputChannels = 2;
    settings.channel[0].maxPulses = settings.channel[1].maxPulses = 100;
    OpenWith(IDM_OPEN, MakeFile("old.pls", oldBytes));
    EXPECT_EQ(FormatErrors(), 1);
    ExpectStoreHolds(old.left, {});
    EXPECT_EQ(settings.inputChannels, 0u);
    EXPECT_GE(settings.channel[0].maxPulses, 200);
    EXPECT_GE(settings.channel[1].maxPulses, 200);

    // A "Puls" file of 10 pulses is 4360 bytes, shorter than the 7216 read first: refused.
    DataFileRecipe tiny = old;
    tiny.left = MakeRecords(10, 4);
    OpenWith(IDM_OPEN, MakeFile("tiny.pls", DataFileBytes(tiny)));
    EXPECT_EQ(FormatErrors(), 2);

    // Unknown magic, one byte too many, counts that would need 100 GB.
    DataFileRecipe wrongMagic;
    wrongMagic.magic = "PULX";
    OpenWith(IDM_OPEN, MakeFile("magic.pls", DataFileBytes(wrongMagic)));
    DataFileRecipe longer;
    longer.left = MakeRecords(5, 5);
    longer.sizeDelta = 1;
    OpenWith(IDM_OPEN, MakeFile("longer.pls", DataFileBytes(longer)));
    Bytes huge = DataFileBytes(DataFileRecipe());
    uint32_t many = 0xFFFFFFFFu;
    std::memcpy(huge.data() + 4, &many, 4);
    std::memcpy(huge.data() + 8, &many, 4);
    uint32_t capacityBefore = pulseCapacity[0];
    OpenWith(IDM_OPEN, MakeFile("huge.pls", huge));
    EXPECT_EQ(FormatErrors(), 5);
    EXPECT_EQ(pulseCapacity[0], capacityBefore);

    // A file that does not exist: silent, nothing changes.
    size_t messages = Headless().messages.size();
    OpenWith(IDM_OPEN, TempPath("missing.pls"));
    EXPECT_EQ(Headless().messages.size(), messages);
}

TEST_F(DataFileTest, OpenTakesTheSettingsAndLoadDataOnlyCapacitiesAndChannels) {
    // A file saved with other settings, window 3 shown and a comment.
    auto left = MakeRecords(40, 6), right = MakeRecords(30, 7);
    FillStore(left, right, 100000);
    settings.channel[0].minHeight = 7.5;
    settings.channel[0].maxPulses = 5000;
    QuantizeSettings(false);
    const double savedMinHeight = settings.channel[0].minHeight;
    settings.inputChannels = 1;
    std::strcpy(settings.comments, "run one");
    ShowPlotWindow(3, true);
    std::string path = TempPath("run1.pls");
    SaveAs(path);

    RestartProgram();
    const double defaultMinHeight = settings.channel[0].minHeight;
    OpenWith(IDM_LOAD_DATA, path);
    EXPECT_EQ(FormatErrors(), 0);
    ExpectStoreHolds(left, right);
    EXPECT_EQ(settings.channel[0].minHeight, defaultMinHeight);
    EXPECT_EQ(settings.channel[0].maxPulses, 5000);
    EXPECT_EQ(settings.inputChannels, 1u);
    EXPECT_STREQ(settings.comments, "");
    EXPECT_FALSE(Headless().windows[3].visible);
    EXPECT_EQ(Headless().fileDialogs.back().title, "Open Data");

    OpenWith(IDM_OPEN, path);
    EXPECT_EQ(settings.channel[0].minHeight, savedMinHeight);
    EXPECT_STREQ(settings.comments, "run one");
    EXPECT_TRUE(Headless().windows[3].visible);
    EXPECT_EQ(Headless().windows[0].title, "Pulses View vs Time/s   run1.pls");
    EXPECT_EQ(Headless().windows[5].title, "PulseHeight Histogram   run1.pls");
    EXPECT_EQ(Headless().windows[6].title, "Audio Input");
}

// The history of the header, at the boundaries of each version range: kind, where the records
// begin and the size the file must have for one left and two right records.
TEST(DataFileLayoutTest, VersionsAndMagicsAtTheirBoundaries) {
    struct Case {
        const char* magic;
        uint32_t version;
        DataFileKind kind;
        uint32_t recordOffset;
    };
    const Case cases[] = {
        {"PULS", 25, DATA_FILE_CURRENT, 7216}, {"PULS", 24, DATA_FILE_RATED, 7216},
        {"PULS", 20, DATA_FILE_RATED, 7216},   {"PULS", 19, DATA_FILE_OLD, 7216},
        {"PULS", 26, DATA_FILE_OLD, 7216},     {"PULS", 0, DATA_FILE_OLD, VERSION_0_HEADER_SIZE},
        {"Puls", 25, DATA_FILE_OLD, OLD_PULS_HEADER_SIZE}, {"PULX", 25, DATA_FILE_UNKNOWN, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.magic) + " " + std::to_string(c.version));
        DataFileHeader header{};
        std::memcpy(header.magic, c.magic, 4);
        header.version = c.version;
        header.headerSize = 7216;
        header.leftCount = 1;
        header.rightCount = 2;
        DataFileLayout layout = DescribeDataFile(header);
        EXPECT_EQ(layout.kind, c.kind);
        EXPECT_EQ(layout.recordOffset, c.recordOffset);
        if (c.kind != DATA_FILE_UNKNOWN) {
            EXPECT_EQ(layout.expectedSize, c.recordOffset + 3 * PULSE_RECORD_SIZE);
        }
    }
}

TEST_F(DataFileTest, SampleRateComesFromTheReservedFieldWhenPlausible) {
    DataFileRecipe recipe;
    recipe.left = MakeRecords(3, 8);
    recipe.rateIndex = 1;
    recipe.reserved = 44100;
    OpenWith(IDM_OPEN, MakeFile("a.pls", DataFileBytes(recipe)));
    EXPECT_EQ(dataSampleRate, 44100u);
    recipe.reserved = 0;
    recipe.rateIndex = 5;
    OpenWith(IDM_OPEN, MakeFile("b.pls", DataFileBytes(recipe)));
    EXPECT_EQ(dataSampleRate, 192000u);
    recipe.reserved = 4000000000u;
    recipe.rateIndex = 0;
    OpenWith(IDM_OPEN, MakeFile("c.pls", DataFileBytes(recipe)));
    EXPECT_EQ(dataSampleRate, 44100u);
    // Versions 20 to 24 use only the rate index; their reserved field means nothing.
    recipe.version = 22;
    recipe.reserved = 12345;
    recipe.rateIndex = 3;
    OpenWith(IDM_OPEN, MakeFile("d.pls", DataFileBytes(recipe)));
    EXPECT_EQ(dataSampleRate, 96000u);
    EXPECT_EQ(FormatErrors(), 0);
    recipe.rateIndex = 8;
    OpenWith(IDM_OPEN, MakeFile("e.pls", DataFileBytes(recipe)));
    recipe.version = 25;
    recipe.rateIndex = -1;
    OpenWith(IDM_OPEN, MakeFile("f.pls", DataFileBytes(recipe)));
    EXPECT_EQ(FormatErrors(), 2);

    // A replay at a rate outside the table is saved and reopened with that rate.
    dataSampleRate = 22050;
    recipe = DataFileRecipe();
    std::string saved = TempPath("replayed.pls");
    SaveAs(saved);
    dataSampleRate = 48000;
    OpenWith(IDM_OPEN, saved);
    EXPECT_EQ(dataSampleRate, 22050u);
}

TEST_F(DataFileTest, CapacitiesFollowTheCountsAndStayWithinTheStore) {
    // maxPulses of 10 in the file, but 50 left pulses: the capacities are raised.
    DataFileRecipe recipe;
    recipe.left = MakeRecords(50, 9);
    recipe.maxPulses[0] = recipe.maxPulses[1] = 10;
    settings.channel[0].maxPulses = settings.channel[1].maxPulses = 10;
    AllocatePulseStore(true, true);
    recipe.sampleClock = 480000;
    OpenWith(IDM_LOAD_DATA, MakeFile("raised.pls", DataFileBytes(recipe)));
    EXPECT_EQ(FormatErrors(), 0);
    EXPECT_GE(pulseCapacity[0], 50u);
    ExpectStoreHolds(recipe.left, {});
    ASSERT_EQ(sampleClock, 480000);

    // An absurd capacity is clamped before allocating; when the store cannot be had, the default
    // store takes over and a file that does not fit it is refused with an empty store.
    SetPulseStoreAllocationLimit(2000000);
    DataFileRecipe absurd;
    absurd.maxPulses[0] = absurd.maxPulses[1] = 1e300;
    absurd.left = MakeRecords(1000001, 10);
    OpenWith(IDM_OPEN, MakeFile("absurd.pls", DataFileBytes(absurd)));
    EXPECT_EQ(FormatErrors(), 1);
    EXPECT_EQ(pulseCapacity[0], 1000000u);
    EXPECT_EQ(pulseCount[0], 0u);
    EXPECT_EQ(pulseCount[1], 0u);
    EXPECT_EQ(settings.channel[0].maxPulses, 1000000);
    // Empty means empty: no clock, no seconds and no file name of the earlier data are left.
    EXPECT_EQ(sampleClock, 0);
    EXPECT_EQ(acquisitionSeconds, 0.0);
    EXPECT_EQ(Headless().windows[0].title, "Pulses View vs Time/s   ");
}

TEST_F(DataFileTest, AFileSavedWithAFineHeightBinReopensWithItsPulses) {
    // The finest bin (0.00001 arb.u) overflows the Gaussian kernel table of the default calibration: the
    // correlation goes off, the calibration stays valid and the file must stay readable.
    auto left = MakeRecords(30, 16), right = MakeRecords(20, 17);
    FillStore(left, right, 300000);
    for (ChannelSettings& channel : settings.channel) channel.heightBinSize = 0.00001;
    QuantizeSettings(true);
    std::string path = TempPath("fine.pls");
    SaveAs(path);
    for (int command : {IDM_OPEN, IDM_LOAD_DATA}) {
        RestartProgram();
        for (ChannelSettings& channel : settings.channel) channel.heightBinSize = 0.00001;
        QuantizeSettings(true);
        OpenWith(command, path);
        EXPECT_EQ(FormatErrors(), 0) << command;
        EXPECT_TRUE(calibrationValid[0]) << command;
        EXPECT_FALSE(gaussianValid[0]) << command;
        ExpectStoreHolds(left, right);
        EXPECT_EQ(sampleClock, 300000);
    }
}

// The reader alone, on bytes: which files it accepts and what it reads from them, with nothing of the
// program touched.
TEST(DataFileReader, ChecksBytesIntoAPlainRecord) {
    DataFileRecipe current;
    current.left = MakeRecords(3, 21);
    current.right = MakeRecords(2, 22);
    current.sampleClock = 777;
    current.reserved = 44100;
    DataFileRecipe rated = current;
    rated.version = 22;
    rated.rateIndex = 3;
    DataFileRecipe old;
    old.magic = "Puls";
    old.left = MakeRecords(200, 23);
    auto changed = [](DataFileRecipe recipe, void (*change)(DataFileRecipe&)) {
        change(recipe);
        return DataFileBytes(recipe);
    };
    Bytes hugeCounts = DataFileBytes(DataFileRecipe());
    std::memset(hugeCounts.data() + 4, 0xFF, 8);
    struct Case {
        const char* name;
        Bytes bytes;
        bool accepted;
        DataFileKind kind;
        uint32_t rate;  // 0: the file carries none
        const DataFileRecipe* recipe;
    };
    const Case cases[] = {
        {"current", DataFileBytes(current), true, DATA_FILE_CURRENT, 44100, &current},
        {"rated", DataFileBytes(rated), true, DATA_FILE_RATED, 96000, &rated},
        {"old", DataFileBytes(old), true, DATA_FILE_OLD, 0, &old},
        {"old shorter than a header", changed(old, [](DataFileRecipe& r) { r.left.resize(10); }), false, {}, 0, nullptr},
        {"unknown magic", changed(current, [](DataFileRecipe& r) { r.magic = "PULX"; }), false, {}, 0, nullptr},
        {"one byte more", changed(current, [](DataFileRecipe& r) { r.sizeDelta = 1; }), false, {}, 0, nullptr},
        {"one byte less", changed(current, [](DataFileRecipe& r) { r.sizeDelta = -1; }), false, {}, 0, nullptr},
        {"negative clock", changed(current, [](DataFileRecipe& r) { r.sampleClock = -1; }), false, {}, 0, nullptr},
        {"rate index outside the table", changed(rated, [](DataFileRecipe& r) { r.rateIndex = 8; }), false, {}, 0, nullptr},
        {"counts beyond any file", hugeCounts, false, {}, 0, nullptr},
    };
    const uint32_t rateBefore = dataSampleRate;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFileSource source = MemoryDataFileSource(c.bytes.data(), c.bytes.size());
        DataFileContents contents{};
        ASSERT_EQ(ParseDataFile(source, &contents), c.accepted);
        if (!c.accepted) continue;
        EXPECT_EQ(contents.layout.kind, c.kind);
        EXPECT_EQ(contents.hasSampleRate, c.rate != 0);
        if (c.rate != 0) {
            EXPECT_EQ(contents.sampleRate, c.rate);
        }
        EXPECT_EQ(contents.header.sampleClock, c.recipe->sampleClock);
        const std::vector<PulseRecord>* expected[2] = {&c.recipe->left, &c.recipe->right};
        for (int channel = 0; channel < 2; ++channel) {
            std::vector<PulseRecord> read(expected[channel]->size());
            ASSERT_TRUE(ReadDataFileRecords(source, contents, channel, read.data()));
            if (!read.empty()) {  // an empty vector may have no storage at all
                EXPECT_EQ(std::memcmp(read.data(), expected[channel]->data(), read.size() * sizeof(PulseRecord)), 0);
            }
        }
    }
    EXPECT_EQ(dataSampleRate, rateBefore);
}

TEST_F(DataFileTest, AFailedWriteKeepsThePreviousFileAndIsReported) {
    FillStore(MakeRecords(100, 11), {}, 1000);
    std::string path = TempPath("keep.pls");
    SaveAs(path);
    auto before = ReadFileBytes(path);
    ASSERT_EQ(before.size(), 7216u + 2400u);
    Headless().messages.clear();

    // The disk fills up in the middle of the hourly write.
    FillStore(MakeRecords(200, 12), {}, 2000);
    SetOutputSizeLimit(8000);
    SendCommand(WND_PULSES, IDM_WRITE_DATA_FILE);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, "File could not be written:\n" + path);
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

    // A folder that does not exist.
    SaveAs(TempPath("no/such/folder/x.pls"));
    EXPECT_EQ(Headless().messages.size(), 2u);
}

TEST_F(DataFileTest, WritesWithoutANameDoNothingAndSaveDuringCaptureArmsTheFinalWrite) {
    FillStore(MakeRecords(5, 13), {}, 10);
    Headless().messages.clear();
    SendCommand(WND_PULSES, IDM_WRITE_DATA_FILE);
    EXPECT_TRUE(Headless().messages.empty());
    EXPECT_FALSE(std::filesystem::exists(TempPath("x.pls")));

    runState |= RS_ACQUIRING;
    SaveAs(TempPath("x.pls"));
    EXPECT_TRUE(runState & RS_AUTOSAVE);
    EXPECT_EQ(Headless().fileDialogs.back().title, "Save Data");
    EXPECT_EQ(Headless().fileDialogs.back().defaultExtension, "pls");
    EXPECT_TRUE(std::filesystem::exists(TempPath("x.pls")));
    runState &= ~RS_ACQUIRING;
}

TEST_F(DataFileTest, LargeTransfersAreMovedInManyCalls) {
    auto left = MakeRecords(5000, 14), right = MakeRecords(3000, 15);
    FillStore(left, right, 5000000);
    SetFileTransferLimit(1000);
    uint64_t callsBefore = FileTransferCalls();
    std::string path = TempPath("pieces.pls");
    SaveAs(path);
    EXPECT_GE(FileTransferCalls() - callsBefore, (7216u + 24u * 8000u) / 1000u);
    RestartProgram();
    SetFileTransferLimit(777);
    OpenWith(IDM_OPEN, path);
    EXPECT_EQ(FormatErrors(), 0);
    ExpectStoreHolds(left, right);
}
}  // namespace

// File faults: the disk filling up during the hourly and the final data-file write of a capture,
// data and settings files that are unreadable, truncated or of the wrong size (on open and at
// start-up), and comment or unit texts without a terminating zero in a loaded file.
namespace {
constexpr uint32_t PULSES_PER_BUFFER = 24;

// Half a second of 16-bit mono at 48000 Hz: 24 rectangular pulses of 40 % full scale.
Bytes MonoPulseBlock() {
    Bytes bytes(48000, 0);
    for (int f = 100; f + 8 <= 24000; f += 1000)
        for (int j = 0; j < 8; ++j) {
            int16_t value = 13107;
            std::memcpy(&bytes[static_cast<size_t>(f + j) * 2], &value, 2);
        }
    return bytes;
}

class FileFaultTest : public FilesTest {
  protected:
    void Deliver(int buffers) {
        Bytes block = MonoPulseBlock();
        for (int i = 0; i < buffers; ++i) ASSERT_TRUE(ScriptedDeliverInput(block.data(), block.size()));
    }
    std::vector<PulseRecord> LeftRecords() const {
        std::vector<PulseRecord> records;
        for (uint32_t i = 0; i < pulseCount[0]; ++i) records.push_back(Pulse(0, i));
        return records;
    }
    // A data file written by the program: `count` left pulses of a short capture.
    std::string SavedCapture(const std::string& name, int buffers) {
        SendCommand(WND_PULSES, IDM_START);
        Deliver(buffers);
        SendCommand(WND_PULSES, IDM_STOP);
        std::string path = TempPath(name);
        SaveAs(path);
        return path;
    }
    static uint32_t FileLeftCount(const std::vector<unsigned char>& file) {
        uint32_t count = 0;
        if (file.size() >= 8) std::memcpy(&count, file.data() + 4, 4);
        return count;
    }
    size_t MessagesStartingWith(const std::string& start) const {
        size_t n = 0;
        for (const RecordedMessage& m : Headless().messages) n += m.text.rfind(start, 0) == 0 ? 1 : 0;
        return n;
    }
};

TEST_F(FileFaultTest, DiskFullDuringHourlyAndFinalWritesKeepsThePreviousFileAndTheCapture) {
    std::string path = TempPath("run.pls");
    SendCommand(WND_PULSES, IDM_START);
    Deliver(2);
    SaveAs(path);  // written now, and again hourly and at Stop
    std::vector<unsigned char> first = ReadFileBytes(path);
    ASSERT_EQ(FileLeftCount(first), 2 * PULSES_PER_BUFFER);

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
    EXPECT_EQ(pulseCount[0], 5 * PULSES_PER_BUFFER);

    // Still full at Stop: the final write fails too, and the pulses stay in memory.
    SendCommand(WND_PULSES, IDM_STOP);
    EXPECT_EQ(Headless().messages.size(), 2u);
    EXPECT_EQ(ReadFileBytes(path), first);
    std::vector<PulseRecord> captured = LeftRecords();
    ASSERT_EQ(captured.size(), 5 * PULSES_PER_BUFFER);

    // Space is freed: saving again writes every pulse, and the file reads back whole.
    SetOutputSizeLimit(0);
    SaveAs(path);
    EXPECT_EQ(Headless().messages.size(), 2u);
    std::vector<unsigned char> last = ReadFileBytes(path);
    ASSERT_EQ(last.size(), DATA_FILE_HEADER_SIZE + PULSE_RECORD_SIZE * captured.size());
    EXPECT_EQ(std::memcmp(last.data() + DATA_FILE_HEADER_SIZE, captured.data(),
                          captured.size() * sizeof(PulseRecord)),
              0);
}

TEST_F(FileFaultTest, DamagedDataFilesAreRefusedWithAMessageAndTheLoadedDataStay) {
    std::string good = SavedCapture("good.pls", 3);
    std::vector<unsigned char> bytes = ReadFileBytes(good);
    std::vector<PulseRecord> records = LeftRecords();
    ASSERT_EQ(records.size(), 3 * PULSES_PER_BUFFER);

    struct Damage {
        const char* name;
        size_t keep;   // bytes kept from the start of the good file
        size_t extra;  // zero bytes added after them
    } damages[] = {
        {"one-record-short.pls", bytes.size() - 24, 0},
        {"one-byte-short.pls", bytes.size() - 1, 0},
        {"one-byte-long.pls", bytes.size(), 1},
        {"header-cut.pls", 5000, 0},
        {"magic-only.pls", 4, 0},
        {"empty.pls", 0, 0},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        std::vector<unsigned char> damaged(bytes.begin(), bytes.begin() + static_cast<long>(d.keep));
        damaged.resize(damaged.size() + d.extra, 0);
        std::string path = TempPath(d.name);
        WriteFileBytes(path, damaged);
        Headless().messages.clear();
        OpenWith(IDM_OPEN, path);
        ASSERT_EQ(Headless().messages.size(), 1u);
        EXPECT_EQ(Headless().messages[0].text, WRONG_FORMAT_MESSAGE);
        // Refused before anything was taken over: the acquisition in memory is untouched.
        EXPECT_EQ(LeftRecords().size(), records.size());
        EXPECT_EQ(std::memcmp(LeftRecords().data(), records.data(), records.size() * sizeof(PulseRecord)), 0);
    }

    // Something that is there but cannot be read as a file.
    std::string folder = TempPath("folder.pls");
    std::filesystem::create_directories(folder);
    Headless().messages.clear();
    OpenWith(IDM_LOAD_DATA, folder);
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, "File could not be read:\n" + folder);
    EXPECT_EQ(LeftRecords().size(), records.size());

    // A missing file (a stale command-line name) stays silent.
    Headless().messages.clear();
    OpenWith(IDM_OPEN, TempPath("gone.pls"));
    EXPECT_TRUE(Headless().messages.empty());
}

TEST_F(FileFaultTest, DamagedDataFileOnTheCommandLineIsReportedAndTheProgramStarts) {
    std::string good = SavedCapture("good.pls", 2);
    std::vector<unsigned char> bytes = ReadFileBytes(good);
    bytes.resize(bytes.size() - 7);
    std::string path = TempPath("cut.pls");
    WriteFileBytes(path, bytes);

    HeadlessReset();
    ScriptedAudioReset();
    ResetProgramState();
    ASSERT_TRUE(StartProgram(path.c_str()));
    HeadlessRunPostedCommands();
    EXPECT_EQ(FormatErrors(), 1);
    EXPECT_TRUE(runState & RS_READY);
    EXPECT_EQ(pulseCount[0], 0u);
    EXPECT_EQ(pulseCount[1], 0u);
    // The program works on: a capture runs and saves as usual.
    std::string again = SavedCapture("again.pls", 1);
    EXPECT_EQ(FileLeftCount(ReadFileBytes(again)), PULSES_PER_BUFFER);
}

TEST_F(FileFaultTest, UnusableSettingsFileAtStartUpIsReportedAndReplacedByDefaults) {
    for (size_t size : {0u, 100u, 7183u, 7185u}) {
        SCOPED_TRACE(size);
        WriteFileBytes(SettingsFilePath(), std::vector<unsigned char>(size, 0x41));
        RestartProgram();
        EXPECT_EQ(MessagesStartingWith(SETTINGS_DEFAULTS_MESSAGE), 1u);
        EXPECT_EQ(ReadFileBytes(SettingsFilePath()).size(), SETTINGS_RECORD_SIZE);
        EXPECT_NEAR(settings.channel[0].minHeight, 1.0, 1e-6);
    }
    // A good file gives no message.
    RestartProgram();
    EXPECT_TRUE(Headless().messages.empty());

    // A folder in the settings file's place: reported, the program starts with the defaults.
    std::string folder = TempPath("folder.ini");
    std::filesystem::create_directories(folder);
    SetSettingsFilePath(folder);
    setenv("TIK_SETTINGS", folder.c_str(), 1);
    RestartProgram();
    EXPECT_EQ(MessagesStartingWith(SETTINGS_DEFAULTS_MESSAGE), 1u);
    EXPECT_TRUE(runState & RS_READY);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST_F(FileFaultTest, LoadSettingsOfAnUnusableFileIsReportedAndKeepsTheRecord) {
    settings.channel[0].minHeight = 4.5;
    std::vector<unsigned char> before(reinterpret_cast<unsigned char*>(&settings),
                                      reinterpret_cast<unsigned char*>(&settings) + SETTINGS_RECORD_SIZE);
    std::string cut = TempPath("cut.ini");
    WriteFileBytes(cut, std::vector<unsigned char>(before.begin(), before.end() - 1));
    std::string folder = TempPath("folder.ini");
    std::filesystem::create_directories(folder);
    for (const std::string& path : {cut, folder}) {
        Headless().messages.clear();
        Headless().fileAnswers.push_back(path);
        SendCommand(WND_PULSES, IDM_LOAD_SETTINGS);
        ASSERT_EQ(Headless().messages.size(), 1u);
        EXPECT_EQ(Headless().messages[0].text, std::string(SETTINGS_NOT_READ_MESSAGE) + "\n" + path);
        EXPECT_EQ(std::memcmp(&settings, before.data(), SETTINGS_RECORD_SIZE), 0);
    }
    // Cancelling the dialog stays silent.
    Headless().messages.clear();
    SendCommand(WND_PULSES, IDM_LOAD_SETTINGS);
    EXPECT_TRUE(Headless().messages.empty());
}

TEST_F(FileFaultTest, UnterminatedCommentAndUnitsInALoadedFileStayInsideTheirFields) {
    // A file of another program whose texts fill their fields without a terminating zero.
    std::memset(settings.comments, 'c', sizeof(settings.comments));
    std::memset(settings.quantityUnits[0], 'u', sizeof(settings.quantityUnits[0]));
    std::memset(settings.quantityUnits[1], 'v', sizeof(settings.quantityUnits[1]));
    std::string path = TempPath("texts.pls");
    SaveAs(path);
    std::vector<unsigned char> file = ReadFileBytes(path);
    ASSERT_EQ(file.size(), DATA_FILE_HEADER_SIZE);
    ASSERT_EQ(file[32 + offsetof(SettingsRecord, comments) + COMMENT_CAPACITY - 1], 'c');
    SetSettingsFilePath(TempPath("texts.ini"));
    ASSERT_TRUE(SaveSettingsFile(false));

    for (int source = 0; source < 2; ++source) {
        SCOPED_TRACE(source == 0 ? "data file" : "settings file");
        RestartProgram();
        if (source == 0) {
            OpenWith(IDM_OPEN, path);
        } else {
            Headless().fileAnswers.push_back(TempPath("texts.ini"));
            SendCommand(WND_PULSES, IDM_LOAD_SETTINGS);
        }
        EXPECT_TRUE(Headless().messages.empty());
        EXPECT_EQ(std::strlen(settings.comments), static_cast<size_t>(COMMENT_CAPACITY - 1));
        EXPECT_EQ(std::strlen(settings.quantityUnits[0]), static_cast<size_t>(QUANTITY_UNITS_CAPACITY - 1));
        EXPECT_EQ(std::strlen(settings.quantityUnits[1]), static_cast<size_t>(QUANTITY_UNITS_CAPACITY - 1));

        // The dialogs show them, and a continued capture's stamps stay within the field.
        SendCommand(WND_PULSES, IDM_DAQ_SETTINGS);
        EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_COMMENTS).size(),
                  static_cast<size_t>(COMMENT_CAPACITY - 1));
        SendCommand(WND_PULSES, IDM_CALIBRATION);
        EXPECT_EQ(HeadlessItemText(IDD_CALIBRATION, IDC_CALIBRATION_UNITS_LEFT), std::string(30, 'u'));
        SendCommand(WND_PULSES, IDM_CONTINUE);
        Deliver(1);
        SendCommand(WND_PULSES, IDM_STOP);
        EXPECT_EQ(std::strlen(settings.comments), static_cast<size_t>(COMMENT_CAPACITY - 1));
        EXPECT_EQ(pulseCount[0], PULSES_PER_BUFFER);
    }
}
}  // namespace

// Small versions of the paths that a very long or very large acquisition takes: record byte counts
// that wrap around in 32 bits, and pulse times beyond 2^32 frames through capture, save and reopen.
namespace {
constexpr int64_t TWO_POW_32 = int64_t{1} << 32;

class ScaleEdgeTest : public FilesTest {
  protected:
    // Half a second of 16-bit mono at 48000 Hz with 24 pulses, at frames 100, 1100, ...
    void Deliver(int buffers) {
        Bytes bytes(48000, 0);
        for (int f = 100; f + 8 <= 24000; f += 1000)
            for (int j = 0; j < 8; ++j) {
                int16_t value = 13107;
                std::memcpy(&bytes[static_cast<size_t>(f + j) * 2], &value, 2);
            }
        for (int i = 0; i < buffers; ++i) ASSERT_TRUE(ScriptedDeliverInput(bytes.data(), bytes.size()));
    }
};

TEST_F(ScaleEdgeTest, CountsWhoseRecordBytesWrapAroundIn32BitsAreRefused) {
    // 24 x (100000000 + 78956971) = 2^32 + 8: a 32-bit size would expect a file of 7216 + 8 bytes.
    const uint32_t counts[][2] = {{100000000u, 78956971u}, {78956971u, 100000000u}};
    for (const auto& c : counts) {
        DataFileRecipe recipe;
        recipe.maxPulses[0] = recipe.maxPulses[1] = 100000000.0;
        Bytes bytes = DataFileBytes(recipe);
        std::memcpy(&bytes[4], &c[0], 4);
        std::memcpy(&bytes[8], &c[1], 4);
        bytes.resize(bytes.size() + 8, 0);
        Headless().messages.clear();
        OpenWith(IDM_OPEN, MakeFile("wrap.pls", bytes));
        EXPECT_EQ(FormatErrors(), 1);
        EXPECT_EQ(pulseCount[0], 0u);
        EXPECT_EQ(pulseCount[1], 0u);
        // Refused before the store was sized for the claimed counts.
        EXPECT_LE(storeSize, 2 * DEFAULT_PULSES_PER_CHANNEL);
    }
}

TEST_F(ScaleEdgeTest, PulseTimesBeyond32BitsSurviveCaptureSaveAndReopen) {
    SendCommand(WND_PULSES, IDM_START);
    Deliver(1);
    SendCommand(WND_PULSES, IDM_STOP);
    ASSERT_EQ(pulseCount[0], 24u);

    // As after 25 hours at 48000 Hz: the clock half a buffer short of 2^32 frames.
    const int64_t resume = TWO_POW_32 - 12000;
    sampleClock = resume;
    for (ChannelSettings& channel : settings.channel) channel.acquisitionTime = 200000.0;
    SendCommand(WND_PULSES, IDM_CONTINUE);
    Deliver(2);
    SendCommand(WND_PULSES, IDM_STOP);
    ASSERT_EQ(pulseCount[0], 72u);
    EXPECT_EQ(sampleClock, resume + 48000);
    for (uint32_t k = 0; k < 48; ++k) {
        int64_t expected = resume + 24000 * (k / 24) + 100 + 1000 * (k % 24);
        ASSERT_EQ(Pulse(0, 24 + k).time, expected) << k;
    }
    EXPECT_GT(Pulse(0, 71).time, TWO_POW_32);
    EXPECT_EQ(dataLength[WND_PULSES], sampleClock);
    EXPECT_DOUBLE_EQ(acquisitionSeconds, static_cast<double>(sampleClock) / 48000.0);

    std::vector<PulseRecord> captured(pulseStore, pulseStore + pulseCount[0]);
    std::string path = TempPath("long.pls");
    SaveAs(path);
    RestartProgram();
    OpenWith(IDM_OPEN, path);
    EXPECT_TRUE(Headless().messages.empty());
    ASSERT_EQ(pulseCount[0], captured.size());
    EXPECT_EQ(std::memcmp(pulseStore, captured.data(), captured.size() * sizeof(PulseRecord)), 0);
    EXPECT_EQ(sampleClock, resume + 48000);
    EXPECT_EQ(dataLength[WND_PULSES], sampleClock);
}
}  // namespace
