// The program behind the seam: start-up and restart, the command line, command dispatch, Exit, the
// acquisition dialog, the settings-file commands and the audio interface dialog.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "acquisition/audio_interface.h"
#include "acquisition/audio_interface_dialog.h"
#include "acquisition/pulse_store.h"
#include "analysis/peak_report.h"
#include "core/file_name.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "tests/support/test_support.h"
#include "ui/commands.h"
#include "ui/daq_dialog.h"
#include "ui/host_events.h"
#include "ui/peaks_view.h"
#include "ui/program_state.h"
#include "ui/startup.h"

namespace {
using AppTest = ProgramTest;

// The first start writes the default settings file and shows only the pulses view, the others
// cascaded over the work area; the capture items need an input device, the file items do not.
TEST_F(AppTest, FirstStartWithAndWithoutAnInputDevice) {
    for (bool device : {false, true}) {
        HeadlessReset();
        ScriptedAudioReset();
        ResetProgramState();
        std::filesystem::remove(settingsFile);
        if (!device) ScriptedAudio().inputDevices.clear();
        Headless().workArea = {0, 0, 1280, 1000};
        Start();
        ASSERT_EQ(ReadFileBytes(settingsFile).size(), 7184u);
        for (int w = 0; w < 7; ++w) EXPECT_EQ(Headless().windows[w].visible, w == 0) << w;
        EXPECT_EQ(
            std::make_pair(settings.windowPlacement[3].normalLeft, settings.windowPlacement[3].normalTop),
            std::make_pair(640, 250));
        for (int id : {IDM_START, IDM_CONTINUE, IDM_START_SHAPE, IDM_AUDIO_INTERFACE, IDM_LOAD_SETTINGS})
            EXPECT_EQ(MenuEnabled(id), device) << id;
        for (int id : {IDM_OPEN, IDM_LOAD_DATA, IDM_OBTAIN_SHAPE}) EXPECT_TRUE(MenuEnabled(id)) << id;
    }
}

// The View commands show their windows with a full recompute; which windows are shown survives a
// restart through Save Settings. Help opens the manual.
TEST_F(AppTest, ViewCommandsAndShownWindowsSurviveARestart) {
    Start();
    for (int w = 1; w <= 6; ++w) {
        int before = Headless().windows[w].invalidations;
        SendCommand(WND_PULSES, IDM_VIEW_RATE_TIME + w - 1);
        EXPECT_TRUE(Headless().windows[w].visible) << w;
        EXPECT_TRUE(w == 6 || Headless().windows[w].invalidations > before) << w;
    }
    HostClose(WND_WIDTH);
    SendCommand(WND_PULSES, IDM_SAVE_SETTINGS);
    SendCommand(WND_HEIGHT, IDM_HELP_TOPICS);
    ASSERT_EQ(Headless().shellOpened.size(), 1u);
    EXPECT_EQ(Headless().shellOpened[0].substr(Headless().shellOpened[0].size() - 4), ".pdf");
    HeadlessReset();
    ResetProgramState();
    Start();
    for (int w = 0; w < 7; ++w) EXPECT_EQ(Headless().windows[w].visible, w != WND_WIDTH) << w;
}

// A file named on the command line is opened, quotes dropped, if its name fits the file name buffer.
TEST_F(AppTest, CommandLineFileIsOpenedWhenItsNameFits) {
    const std::pair<std::string, std::string> cases[] = {
        {"\"/data/my runs/cs137.pls\"", "/data/my runs/cs137.pls"},
        {std::string(259, 'b'), std::string(259, 'b')},
        {std::string(260, 'a'), ""},
        {"\"\"", ""}};
    for (const auto& [line, opened] : cases) {
        ResetProgramState();
        ASSERT_TRUE(StartProgram(line.c_str()));
        const std::vector<int>& sent = DispatchedCommands();
        bool open = std::find(sent.begin(), sent.end(), IDM_OPEN_NAMED_FILE) != sent.end();
        ASSERT_EQ(open, !opened.empty()) << line;
        if (open) {
            EXPECT_EQ(FileNameBuffer(), opened);
            EXPECT_EQ(FileNameBuffer() + fileNameOffset, opened.substr(opened.rfind('/') + 1));
        }
    }
}

// Commands outside the table and files dropped during a capture are ignored; Exit closes the open
// dialogs, then every window, and saves nothing.
TEST_F(AppTest, IgnoredCommandsAndDropsAndExit) {
    Start();
    std::vector<unsigned char> before = ReadFileBytes(settingsFile);
    size_t sent = DispatchedCommands().size();
    for (int id :
         {0, IDM_FIRST - 1, IDM_VIEW_PEAKS + 1, IDM_OPEN_NAMED_FILE - 1, IDM_OPEN_NAMED_FILE + 1, 40000})
        SendCommand(WND_PULSES, id);
    runState &= ~RS_FILES_ALLOWED;
    HostDropFile(WND_HEIGHT, "/tmp/x.pls");
    EXPECT_EQ(DispatchedCommands().size(), sent);
    runState |= RS_FILES_ALLOWED;
    HostDropFile(WND_HEIGHT, "/tmp/x.pls");
    EXPECT_EQ(DispatchedCommands().back(), IDM_OPEN_NAMED_FILE);
    SendCommand(WND_PULSES, 0x10000 | IDM_VIEW_AUDIO_INPUT);  // only the low 16 bits count
    EXPECT_TRUE(Headless().windows[WND_AUDIO_INPUT].visible);

    SendCommand(WND_PULSES, IDM_DAQ_SETTINGS);
    SendCommand(WND_PULSES, IDM_ADVANCED_FILTER);
    settings.channel[0].timeStep = 7;  // a change that must not be saved
    HostClose(WND_PULSES);
    EXPECT_TRUE(runState & RS_CLOSING);
    EXPECT_FALSE(IsDialogOpen(IDD_DAQ) || IsDialogOpen(IDD_ADVANCED_FILTER) ||
                 (runState & RS_DAQ_DIALOG_OPEN));
    for (int w = 0; w < 7; ++w) EXPECT_TRUE(Headless().windows[w].destroyed) << w;
    EXPECT_TRUE(Headless().quitPosted);
    EXPECT_EQ(ReadFileBytes(settingsFile), before);
}

using DaqDialogTest = AppTest;

// Apply stores the typed values through the record's clamping and quantising and shows what the
// record then holds; a second open only raises the dialog; switching the channel discards what was
// typed and shows the other channel's values.
TEST_F(DaqDialogTest, ApplyShowsWhatTheRecordHolds) {
    Start();
    dataSampleRate = 44100;
    QuantizeSettings(true);
    SendCommand(WND_PULSES, IDM_DAQ_SETTINGS);
    ASSERT_TRUE(runState & RS_DAQ_DIALOG_OPEN);
    const std::tuple<int, const char*, const char*> cases[] = {
        // control, typed, shown
        {IDC_DAQ_MIN_HEIGHT, "200", "100"},          {IDC_DAQ_RATE_BIN_SIZE, "5", "4"},  // time step 0.5 s
        {IDC_DAQ_RATE_BIN_SIZE, "3.9", "2"},         {IDC_DAQ_RATE_BIN_SIZE, "1", "2"},
        {IDC_DAQ_INTERVAL_BIN_SIZE, "1", "22.7"},  // one sample period
        {IDC_DAQ_INTERVAL_BIN_SIZE, "22.7", "22.7"}, {IDC_DAQ_ACQUISITION_TIME, "120", "120"},
    };
    for (const auto& [control, typed, shown] : cases) {
        HeadlessTypeText(IDD_DAQ, IDC_DAQ_TIME_STEP, "0.5");
        HeadlessTypeText(IDD_DAQ, control, typed);
        HeadlessPressButton(IDD_DAQ, IDC_DAQ_APPLY);
        EXPECT_EQ(HeadlessItemText(IDD_DAQ, control), shown) << control << " " << typed;
    }
    EXPECT_EQ(settings.channel[1].acquisitionTime, 120.0);  // one acquisition time for both channels
    EXPECT_DOUBLE_EQ(settings.channel[0].intervalBinSize, 22.7);
    SendCommand(WND_PULSES, IDM_DAQ_SETTINGS);
    EXPECT_EQ(Headless().dialogs[IDD_DAQ].raisedCount, 1);

    settings.channel[1].minHeight = -2.5;
    HeadlessTypeText(IDD_DAQ, IDC_DAQ_MIN_HEIGHT, "7");  // typed for the left channel, never applied
    HeadlessSelectComboItem(IDD_DAQ, IDC_DAQ_CHANNEL_SELECTION, 3);
    EXPECT_EQ(HeadlessItemText(IDD_DAQ, IDC_DAQ_MIN_HEIGHT), "-2.5");
    EXPECT_EQ(settings.channel[0].minHeight, 100.0);
}

TEST_F(DaqDialogTest, LoadingSettingsRefreshesTheOpenDialogAndSaveStillWritesTheDefaultFile) {
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
    SendCommand(WND_PULSES, IDM_SAVE_SETTINGS);
    std::vector<unsigned char> bytes = ReadFileBytes(settingsFile);
    ASSERT_EQ(bytes.size(), sizeof(other));
    std::memcpy(&other, bytes.data(), sizeof(other));
    EXPECT_EQ(other.channel[0].boostGain, 4.0);
}

using AudioInterfaceTest = AppTest;

// Selections are stored at once and Cancel restores them; OK refuses a format no device accepts.
TEST_F(AudioInterfaceTest, DialogStoresSelectionsAtOnceCancelRestoresAndOkChecksTheFormat) {
    ScriptedAudio().inputDevices = {"Card A", "Card B"};
    ScriptedAudio().inputAccepts = [](int, const WaveFormat& f) { return f.bitsPerSample == 16; };
    Start();
    SendCommand(WND_PULSES, IDM_AUDIO_INTERFACE);
    EXPECT_EQ(Headless().dialogs[IDD_AUDIO_INTERFACE].items[IDC_INPUT_DEVICE].comboItems.size(), 2u);
    HeadlessSelectComboItem(IDD_AUDIO_INTERFACE, IDC_INPUT_RATE, 5);
    EXPECT_EQ(settings.inputRateIndex, 5);
    HeadlessPressButton(IDD_AUDIO_INTERFACE, IDCANCEL);
    EXPECT_FALSE(IsDialogOpen(IDD_AUDIO_INTERFACE));
    EXPECT_EQ(settings.inputRateIndex, 1);

    SendCommand(WND_PULSES, IDM_AUDIO_INTERFACE);
    HeadlessSelectComboItem(IDD_AUDIO_INTERFACE, IDC_INPUT_BITS, 2);
    HeadlessPressButton(IDD_AUDIO_INTERFACE, IDOK);
    EXPECT_TRUE(IsDialogOpen(IDD_AUDIO_INTERFACE));
    ASSERT_EQ(Headless().messages.size(), 1u);
    EXPECT_EQ(Headless().messages[0].text, "Not supported input format");
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
// The Peaks and Nuclides dialog on the demo recording shows and copies the report; the height window
// labels the peaks found until key N hides them.
TEST_F(AppTest, PeaksDialogAndPeakLabelsOnTheDemoRecording) {
    std::string command = std::string("'") + TIK_DEMO_PATH + "' '" + tempDirectory + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::filesystem::copy_file(TempPath("demo.ini"), settingsFile);
    Start(TempPath("demo.wav").c_str());
    SendCommand(WND_PULSES, IDM_VIEW_PEAKS);
    std::string shown = HeadlessItemText(IDD_PEAKS, IDC_PEAKS_TEXT);
    EXPECT_EQ(shown.rfind(PeakRowsText(), 0), 0u) << shown;
    EXPECT_NE(shown.find("Left\tCs-137\t"), std::string::npos);
    HeadlessPressButton(IDD_PEAKS, IDC_PEAKS_COPY);
    EXPECT_EQ(Headless().clipboard, PeakReportText());

    Headless().windows[WND_HEIGHT].clientWidth = 1200;  // the whole spectrum in view
    for (bool labelled : {true, false}) {
        HeadlessPaint(WND_HEIGHT);
        const std::vector<CanvasCall>& calls = Headless().canvasCalls;
        EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                                [](const CanvasCall& call) { return call.text.rfind("661 Cs-137", 0) == 0; }),
                  labelled ? 1 : 0);
        HostKeyDown(WND_HEIGHT, 'N');
    }
}
}  // namespace
