// The program behind the seam: start-up, command dispatch, window closing and Exit, the acquisition
// dialog, the settings-file commands and the audio interface dialog.
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "acquisition/audio_interface.h"
#include "acquisition/audio_interface_dialog.h"
#include "acquisition/pulse_store.h"
#include "core/file_name.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"
#include "ui/daq_dialog.h"
#include "ui/host_events.h"
#include "ui/program_state.h"
#include "ui/startup.h"

namespace {
using AppTest = ProgramTest;

std::vector<unsigned char> Bytes(const WaveFormat& format) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&format);
    return std::vector<unsigned char>(p, p + sizeof(format));
}
}  // namespace

TEST_F(AppTest, FirstStartWritesDefaultsAndShowsOnlyThePulsesView) {
    Headless().workArea = {0, 0, 1280, 1000};
    Start();
    ASSERT_EQ(ReadFileBytes(settingsFile).size(), 7184u);
    EXPECT_TRUE(Headless().windows[0].visible);
    for (int w = 1; w < 7; ++w) EXPECT_FALSE(Headless().windows[w].visible) << w;
    EXPECT_EQ(settings.windowPlacement[3].normalLeft, 640);
    EXPECT_EQ(settings.windowPlacement[3].normalTop, 250);
    EXPECT_EQ(Headless().windows[5].title, "PulseHeight Histogram   ");
    EXPECT_TRUE(runState & RS_READY);
    EXPECT_EQ(pulseCapacity[0], 1000000u);
    EXPECT_EQ(storeSize, 2000000u);
    for (int id : {IDM_START, IDM_CONTINUE, IDM_START_SHAPE, IDM_AUDIO_INTERFACE, IDM_PULSE_SHAPE,
                   IDM_LOAD_SETTINGS, IDM_OPEN, IDM_LOAD_DATA, IDM_OBTAIN_SHAPE})
        EXPECT_TRUE(MenuEnabled(id)) << id;
    for (int id = IDM_SAVE; id <= IDM_EXPORT_COINCIDENT; ++id) EXPECT_FALSE(MenuEnabled(id)) << id;
}

TEST_F(AppTest, WithoutAnInputDeviceTheCaptureItemsStayGrayed) {
    ScriptedAudio().inputDevices.clear();
    Start();
    for (int id : {IDM_START, IDM_CONTINUE, IDM_START_SHAPE, IDM_AUDIO_INTERFACE, IDM_PULSE_SHAPE, IDM_LOAD_SETTINGS})
        EXPECT_FALSE(MenuEnabled(id)) << id;
    for (int id : {IDM_OPEN, IDM_LOAD_DATA, IDM_OBTAIN_SHAPE}) EXPECT_TRUE(MenuEnabled(id)) << id;
    for (int id = IDM_SAVE; id <= IDM_EXPORT_COINCIDENT; ++id) EXPECT_FALSE(MenuEnabled(id)) << id;
}

TEST_F(AppTest, StoredSettingsAndHiddenWindowsSurviveARestart) {
    Start();
    HostClose(WND_INTERVAL);  // was hidden anyway; show it first
    SendCommand(WND_PULSES, IDM_VIEW_INTERVAL);
    EXPECT_TRUE(Headless().windows[WND_INTERVAL].visible);
    SendCommand(WND_PULSES, IDM_VIEW_WIDTH);
    HostClose(WND_WIDTH);
    EXPECT_FALSE(Headless().windows[WND_WIDTH].visible);
    EXPECT_EQ(settings.windowPlacement[WND_WIDTH].showCommand, 0u);
    SendCommand(WND_PULSES, IDM_SAVE_SETTINGS);
    std::vector<unsigned char> saved = ReadFileBytes(settingsFile);
    ASSERT_EQ(saved.size(), 7184u);

    HeadlessReset();
    ResetProgramState();
    Start();
    EXPECT_TRUE(Headless().windows[WND_INTERVAL].visible);
    EXPECT_FALSE(Headless().windows[WND_WIDTH].visible);
}

TEST_F(AppTest, CommandsOutsideTheTableAreIgnored) {
    Start();
    size_t before = DispatchedCommands().size();
    for (int id : {0, IDM_FIRST - 1, IDM_VIEW_PEAKS + 1, IDM_OPEN_NAMED_FILE - 1, IDM_OPEN_NAMED_FILE + 1, 40000}) SendCommand(WND_PULSES, id);
    EXPECT_EQ(DispatchedCommands().size(), before);
    SendCommand(WND_PULSES, 0x10000 | IDM_VIEW_AUDIO_INPUT);  // only the low 16 bits count
    EXPECT_TRUE(Headless().windows[WND_AUDIO_INPUT].visible);
}

TEST_F(AppTest, ViewCommandsShowTheirWindowsWithAFullRecompute) {
    Start();
    for (int w = 1; w <= 6; ++w) {
        int before = Headless().windows[w].invalidations;
        SendCommand(WND_PULSES, IDM_VIEW_RATE_TIME + w - 1);
        EXPECT_TRUE(Headless().windows[w].visible) << w;
        if (w <= 5) {
            EXPECT_GT(Headless().windows[w].invalidations, before) << w;
        }
    }
}

TEST_F(AppTest, ExitClosesOpenDialogsThenEveryWindowAndSavesNothing) {
    Start();
    std::vector<unsigned char> before = ReadFileBytes(settingsFile);
    SendCommand(WND_PULSES, IDM_DAQ_SETTINGS);
    SendCommand(WND_PULSES, IDM_ADVANCED_FILTER);
    ASSERT_TRUE(IsDialogOpen(IDD_DAQ));
    settings.channel[0].timeStep = 7;  // a change that must not be saved
    HostClose(WND_PULSES);
    EXPECT_TRUE(runState & RS_CLOSING);
    EXPECT_FALSE(IsDialogOpen(IDD_DAQ));
    EXPECT_FALSE(IsDialogOpen(IDD_ADVANCED_FILTER));
    EXPECT_FALSE(runState & RS_DAQ_DIALOG_OPEN);
    for (int w = 0; w < 7; ++w) EXPECT_TRUE(Headless().windows[w].destroyed) << w;
    EXPECT_TRUE(Headless().quitPosted);
    EXPECT_EQ(ReadFileBytes(settingsFile), before);
}

TEST_F(AppTest, HelpAndInformationUseTheirPaths) {
    Start();
    SendCommand(WND_HEIGHT, IDM_HELP_TOPICS);
    ASSERT_EQ(Headless().shellOpened.size(), 1u);
    EXPECT_EQ(Headless().shellOpened[0].substr(Headless().shellOpened[0].size() - 4), ".pdf");
    SendCommand(WND_HEIGHT, IDM_ABOUT);
    EXPECT_TRUE(IsDialogOpen(IDD_ABOUT));
    HeadlessPressButton(IDD_ABOUT, IDOK);
    EXPECT_FALSE(IsDialogOpen(IDD_ABOUT));
    SendCommand(WND_HEIGHT, IDM_INFORMATION);
    EXPECT_TRUE(IsDialogOpen(IDD_INFORMATION));
    EXPECT_EQ(Headless().dialogs[IDD_INFORMATION].owner, WND_HEIGHT);
}

TEST_F(AppTest, DroppedFilesAreIgnoredDuringACapture) {
    Start();
    runState &= ~RS_FILES_ALLOWED;
    size_t before = DispatchedCommands().size();
    HostDropFile(WND_HEIGHT, "/tmp/x.pls");
    EXPECT_EQ(DispatchedCommands().size(), before);
    runState |= RS_FILES_ALLOWED;
    HostDropFile(WND_HEIGHT, "/tmp/x.pls");
    ASSERT_EQ(DispatchedCommands().size(), before + 1);
    EXPECT_EQ(DispatchedCommands().back(), IDM_OPEN_NAMED_FILE);
}

using DaqDialogTest = AppTest;

TEST_F(DaqDialogTest, ApplyClampsAndShowsWhatTheRecordHolds) {
    Start();
    SendCommand(WND_PULSES, IDM_DAQ_SETTINGS);
    ASSERT_TRUE(runState & RS_DAQ_DIALOG_OPEN);
    EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_MIN_HEIGHT), "1");
    HeadlessTypeText(IDD_DAQ, IDC_DAQ_MIN_HEIGHT, "200");
    HeadlessPressButton(IDD_DAQ, IDC_DAQ_APPLY);
    EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_MIN_HEIGHT), "100");
    EXPECT_EQ(settings.channel[0].minHeight, 100.0);
    SendCommand(WND_PULSES, IDM_DAQ_SETTINGS);  // open: brought to the top
    EXPECT_EQ(Headless().dialogs[IDD_DAQ].raisedCount, 1);
}

TEST_F(DaqDialogTest, RateBinIsAWholeMultipleOfTheInverseTimeStep) {
    Start();
    SendCommand(WND_PULSES, IDM_DAQ_SETTINGS);
    const std::pair<const char*, const char*> cases[] = {{"5", "4"}, {"3.9", "2"}, {"1", "2"}};
    for (const auto& [typed, shown] : cases) {
        HeadlessTypeText(IDD_DAQ, IDC_DAQ_TIME_STEP, "0.5");
        HeadlessTypeText(IDD_DAQ, IDC_DAQ_RATE_BIN_SIZE, typed);
        HeadlessPressButton(IDD_DAQ, IDC_DAQ_APPLY);
        EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_RATE_BIN_SIZE), shown) << typed;
    }
}

TEST_F(DaqDialogTest, IntervalBinOfOneSamplePeriodAt44100) {
    settings.inputRateIndex = 0;
    Start();
    dataSampleRate = 44100;
    QuantizeSettings(true);
    SendCommand(WND_PULSES, IDM_DAQ_SETTINGS);
    EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_INTERVAL_BIN_SIZE), "22.7");
    HeadlessPressButton(IDD_DAQ, IDC_DAQ_APPLY);
    EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_INTERVAL_BIN_SIZE), "22.7");
    EXPECT_DOUBLE_EQ(settings.channel[0].intervalBinSize, 22.7);
}

TEST_F(DaqDialogTest, AcquisitionTimeIsSharedAndChannelSwitchDiscardsTypedValues) {
    Start();
    SendCommand(WND_PULSES, IDM_DAQ_SETTINGS);
    HeadlessTypeText(IDD_DAQ, IDC_DAQ_ACQUISITION_TIME, "120");
    HeadlessPressButton(IDD_DAQ, IDC_DAQ_APPLY);
    EXPECT_EQ(settings.channel[1].acquisitionTime, 120.0);

    settings.channel[1].minHeight = -2.5;
    HeadlessTypeText(IDD_DAQ, IDC_DAQ_MIN_HEIGHT, "7");  // typed for the left channel, never applied
    HeadlessSelectComboItem(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION, 3);
    EXPECT_EQ(settings.channelSelection, 3);
    EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_MIN_HEIGHT), "-2.5");
    EXPECT_EQ(settings.channel[0].minHeight, 1.0);
}

TEST_F(DaqDialogTest, LoadingSettingsRefreshesTheOpenDialog) {
    Start();
    SettingsRecord other;
    SetDefaultSettings(other);
    other.channel[0].boostGain = 4.0;
    std::string path = TempPath("other.ini");
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&other);
    WriteFileBytes(path, std::vector<unsigned char>(p, p + sizeof(other)));
    SendCommand(WND_PULSES, IDM_DAQ_SETTINGS);
    Headless().fileAnswers.push_back(path);
    SendCommand(WND_PULSES, IDM_LOAD_SETTINGS);
    EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_BOOST_GAIN), "4");
    // "Save Settings" still writes the default settings file.
    SendCommand(WND_PULSES, IDM_SAVE_SETTINGS);
    EXPECT_EQ(ReadFileBytes(settingsFile).size(), 7184u);
    EXPECT_EQ(ReadFileBytes(path), std::vector<unsigned char>(p, p + sizeof(other)));
}

using AudioInterfaceTest = AppTest;

TEST_F(AudioInterfaceTest, DescriptorsAreLaidOutByteForByte) {
    WaveFormat stereo = BuildWaveFormat(1, 2, 3, 1);  // PCM Ext, Left & Right, 96000, 24 bits
    EXPECT_EQ(stereo.formatTag, 0xFFFE);
    EXPECT_EQ(stereo.channels, 2);
    EXPECT_EQ(stereo.blockAlign, 6);
    EXPECT_EQ(stereo.averageBytesPerSecond, 576000u);
    EXPECT_EQ(stereo.extraSize, 22);
    EXPECT_EQ(stereo.channelMask, 3u);
    std::vector<unsigned char> expected = {0xFE, 0xFF, 2,    0,    0x00, 0x77, 0x01, 0x00, 0x00, 0xCA,
                                           0x08, 0x00, 6,    0,    24,   0,    22,   0,    24,   0,
                                           3,    0,    0,    0,    0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    EXPECT_EQ(Bytes(stereo), expected);

    WaveFormat right = BuildWaveFormat(0, 1, 1, 0);  // PCM, Right, 48000, 16 bits
    EXPECT_EQ(right.formatTag, 1);
    EXPECT_EQ(right.channels, 1);
    EXPECT_EQ(right.blockAlign, 2);
    EXPECT_EQ(right.extraSize, 0);
    EXPECT_EQ(right.channelMask, 2u);
    EXPECT_EQ(BuildWaveFormat(0, 2, 1, 0).averageBytesPerSecond, 192000u);
}

TEST_F(AudioInterfaceTest, DialogStoresSelectionsAtOnceAndCancelRestores) {
    ScriptedAudio().inputDevices = {"Card A", "Card B"};
    Start();
    SendCommand(WND_PULSES, IDM_AUDIO_INTERFACE);
    ASSERT_TRUE(IsDialogOpen(IDD_AUDIO_INTERFACE));
    EXPECT_EQ(Headless().dialogs[IDD_AUDIO_INTERFACE].items[IDC_INPUT_DEVICE].comboItems.size(), 2u);
    EXPECT_EQ(Headless().dialogs[IDD_AUDIO_INTERFACE].items[IDC_INPUT_RATE].comboItems[7], "384000");
    HeadlessSelectComboItem(IDD_AUDIO_INTERFACE, IDC_INPUT_RATE, 5);
    EXPECT_EQ(settings.inputRateIndex, 5);
    HeadlessPressButton(IDD_AUDIO_INTERFACE, IDCANCEL);
    EXPECT_FALSE(IsDialogOpen(IDD_AUDIO_INTERFACE));
    EXPECT_EQ(settings.inputRateIndex, 1);
}

TEST_F(AudioInterfaceTest, OkRefusesAFormatNoDeviceAccepts) {
    ScriptedAudio().inputAccepts = [](int, const WaveFormat& f) { return f.bitsPerSample == 16; };
    Start();
    SendCommand(WND_PULSES, IDM_AUDIO_INTERFACE);
    HeadlessSelectComboItem(IDD_AUDIO_INTERFACE, IDC_INPUT_BITS, 2);
    HeadlessPressButton(IDD_AUDIO_INTERFACE, IDOK);
    EXPECT_TRUE(IsDialogOpen(IDD_AUDIO_INTERFACE));
    ASSERT_FALSE(Headless().messages.empty());
    EXPECT_EQ(Headless().messages.back().text, "Not supported input format");
    HeadlessSelectComboItem(IDD_AUDIO_INTERFACE, IDC_INPUT_BITS, 0);
    HeadlessPressButton(IDD_AUDIO_INTERFACE, IDOK);
    EXPECT_FALSE(IsDialogOpen(IDD_AUDIO_INTERFACE));
    EXPECT_TRUE(runState & RS_INPUT_READY);
}

TEST_F(AudioInterfaceTest, StoredDeviceBeyondTheListFallsBackToZero) {
    ScriptedAudio().inputDevices = {"Card A", "Card B"};
    settings.inputDevice = 3;
    ValidateAudioFormats();
    EXPECT_EQ(settings.inputDevice, 0u);
    EXPECT_TRUE(runState & RS_INPUT_READY);
}

TEST_F(AppTest, CommandLineFileIsOpenedWithQuotesDropped) {
    ASSERT_TRUE(StartProgram("\"/data/my runs/cs137.pls\""));
    ASSERT_FALSE(DispatchedCommands().empty());
    EXPECT_EQ(DispatchedCommands().back(), IDM_OPEN_NAMED_FILE);
    EXPECT_STREQ(FileNameBuffer(), "/data/my runs/cs137.pls");
    EXPECT_EQ(fileNameOffset, 14);
}

TEST_F(AppTest, OverlongOrEmptyCommandLinesOpenNothing) {
    std::string longPath(260, 'a');
    ASSERT_TRUE(StartProgram(longPath.c_str()));
    for (int id : DispatchedCommands()) EXPECT_NE(id, IDM_OPEN_NAMED_FILE);
    ResetProgramState();
    ASSERT_TRUE(StartProgram("\"\""));
    for (int id : DispatchedCommands()) EXPECT_NE(id, IDM_OPEN_NAMED_FILE);
    ResetProgramState();
    std::string fits(259, 'b');
    ASSERT_TRUE(StartProgram(fits.c_str()));
    EXPECT_EQ(DispatchedCommands().back(), IDM_OPEN_NAMED_FILE);
}
