// The data file through its commands: write and read back byte for byte, the accepted layouts,
// "&Open" against "&Load Data", the true sample rate, damaged files, and safe writing.
#include <cstring>
#include <filesystem>

#include "acquisition/pulse_store.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "files/binary_file.h"
#include "files/data_file.h"
#include "platform/headless/headless.h"
#include "tests/files/file_test_support.h"
#include "ui/commands.h"

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
    OpenWith(IDM_LOAD_DATA, MakeFile("raised.pls", DataFileBytes(recipe)));
    EXPECT_EQ(FormatErrors(), 0);
    EXPECT_GE(pulseCapacity[0], 50u);
    ExpectStoreHolds(recipe.left, {});

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
