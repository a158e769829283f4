// File faults: the disk filling up during the hourly and the final data-file write of a capture,
// data and settings files that are unreadable, truncated or of the wrong size (on open and at
// start-up), and comment or unit texts without a terminating zero in a loaded file.
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/capture.h"
#include "acquisition/pulse_store.h"
#include "analysis/calibration_dialog.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "files/binary_file.h"
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
