// tik-cli's settings by name: "settings show" and "settings set" reproduce records byte for byte,
// refused values leave everything as it was, a replay set up from the command line exports what the
// same settings made in the dialogs export, and "shape" obtains the template the menu command does.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/calibration_dialog.h"
#include "analysis/roi.h"
#include "analysis/selection.h"
#include "core/file_name.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "tests/files/file_test_support.h"
#include "ui/commands.h"
#include "ui/daq_dialog.h"

namespace {
class CliSettingsTest : public FilesTest {
protected:
    // Runs tik-cli in the test folder with its own settings file; returns the exit status.
    int Run(const std::string& arguments) {
        std::string command = "cd '" + tempDirectory + "' && TIK_SETTINGS='" + TempPath("cli.ini") + "' '" +
                              TIK_CLI_PATH + "' " + arguments + " >'" + TempPath("out.txt") + "' 2>'" +
                              TempPath("err.txt") + "'; echo $? >'" + TempPath("status.txt") + "'";
        std::system(command.c_str());
        output = ReadText(TempPath("out.txt"));
        errors = ReadText(TempPath("err.txt"));
        return std::atoi(ReadText(TempPath("status.txt")).c_str());
    }
    std::vector<unsigned char> FileBytes(const std::string& name) { return ReadFileBytes(TempPath(name)); }
    // A recording with pulses of several heights and widths, some coincident.
    std::string MakeRecording(const std::string& name) {
        std::vector<TestPulse> pulses = RandomPulses(2, 240000, 120, 5);
        for (size_t i = 0; i < pulses.size(); ++i) {
            pulses[i].width = 1 + static_cast<int>(i % 9);
            pulses[i].amplitude = static_cast<int16_t>(4000 + 131 * (i % 128));
        }
        WavRecipe recipe;
        recipe.sampleRate = 48000;
        recipe.samples = SamplesAsBytes(PulseTrain(2, 240000, pulses));
        return MakeFile(name, WavBytes(recipe));
    }
    std::string output, errors;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The lines as shell words.
std::string Quoted(const std::vector<std::string>& lines) {
    std::string words;
    for (const std::string& line : lines) {
        words += " '";
        for (char c : line) words += c == '\'' ? std::string("'\\''") : std::string(1, c);
        words += "'";
    }
    return words;
}

// A change of every field that this machine's devices allow (device 0 is always there).
const char* const EVERY_FIELD_CHANGED =
    " inputRateIndex=3 inputBitsCode=1 inputFormat=1 inputChannels=2 outputRateIndex=0 outputBitsCode=2"
    " outputFormat=1 outputChannels=1"
    " left.minHeight=2.5 left.maxDistortion=7 left.correction=0.25 left.boostGain=2 left.acquisitionTime=60"
    " left.maxPulses=5000 left.beginTime=1 left.durationTime=30 left.timeStep=2 left.rateBinSize=3"
    " left.intervalBinSize=50 left.sFold=3 left.widthBinSize=41.7 left.heightBinSize=0.2"
    " right.minHeight=-3 right.maxDistortion=8 right.correction=0.5 right.boostGain=3 right.maxPulses=7000"
    " right.beginTime=2 right.durationTime=20 right.timeStep=0.5 right.rateBinSize=4 right.intervalBinSize=62.5"
    " right.sFold=2 right.widthBinSize=62.5 right.heightBinSize=0.05"
    " left.useShapeMethod=1 left.useAdvancedFilter=1 left.logRateVsTime=1 left.logRateHistogram=1"
    " left.logIntervalHistogram=1 left.logWidthHistogram=1 left.subtractBackground=1 left.useCalibration=1"
    " left.gaussianCorrelation=1 left.logHeightHistogram=1 left.sumQuantity=1"
    " right.useShapeMethod=1 right.useAdvancedFilter=1 right.logRateVsTime=1 right.logRateHistogram=1"
    " right.logIntervalHistogram=1 right.logWidthHistogram=1 right.subtractBackground=1 right.useCalibration=1"
    " right.gaussianCorrelation=1 right.logHeightHistogram=1 right.sumQuantity=1"
    " left.filterHeight=1 left.filterDistortion=1 left.filterWidth=1 right.filterHeight=1"
    " right.filterDistortion=1 right.filterWidth=1 'comments=\"Station 4\\r\\nA \\\"quoted\\\" \\xB5 line\"'"
    " window0.length=40 window0.flags=2 window0.showCommand=3 window0.minPosition=-5,6 window0.maxPosition=7,-8"
    " window0.normalPosition=10,20,810,320 window1.length=41 window1.flags=1 window1.showCommand=1"
    " window1.minPosition=1,1 window1.maxPosition=2,2 window1.normalPosition=1,2,3,4 window2.length=42"
    " window2.flags=1 window2.showCommand=2 window2.minPosition=3,3 window2.maxPosition=4,4"
    " window2.normalPosition=5,6,7,8 window3.length=43 window3.flags=1 window3.showCommand=1"
    " window3.minPosition=5,5 window3.maxPosition=6,6 window3.normalPosition=9,10,11,12 window4.length=45"
    " window4.flags=1 window4.showCommand=1 window4.minPosition=7,7 window4.maxPosition=8,8"
    " window4.normalPosition=13,14,15,16 window5.length=46 window5.flags=1 window5.showCommand=1"
    " window5.minPosition=9,9 window5.maxPosition=10,10 window5.normalPosition=17,18,19,20 window6.length=47"
    " window6.flags=1 window6.showCommand=1 window6.minPosition=11,11 window6.maxPosition=12,12"
    " window6.normalPosition=21,22,23,24"
    " left.filterHeightMin=2 left.filterHeightMax=150 left.filterDistortionMin=1 left.filterDistortionMax=90"
    " left.filterWidthMin=40 left.filterWidthMax=400 right.filterHeightMin=3 right.filterHeightMax=120"
    " right.filterDistortionMin=2 right.filterDistortionMax=80 right.filterWidthMin=50 right.filterWidthMax=500"
    " left.pulseShape=0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0.1,0.2,0.3,0.4,0.5,0.6,0.5,0.4,0.3,0.2,"
    "0.1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,-0.125"
    " right.pulseShape=1e-3,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0.7,0.9,0.7,0,0,0,0,0,0,0,0,"
    "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,-2.5"
    " left.shapePointUsed=011111111111111111111111111111111111111111111111111111111110"
    " right.shapePointUsed=111111111111111111111111111111111111111111111111111111111100"
    " left.calibration=10:0.5:100,23.2:1.1:662 right.calibration=5:0.25:40,12.5:0.5:122,30:1.5:1332"
    " 'left.quantityUnits=Energy /MeV' 'right.quantityUnits=\"E /\\xB5J\"' left.calibrationMode=1"
    " right.calibrationMode=2 channelSelection=4 --roi left=600:700 --roi left=100:150 --roi right=200:300";

TEST_F(CliSettingsTest, ShowAndSetReproduceTheDefaultRecordAndOneWithEveryFieldChanged) {
    ASSERT_EQ(Run("defaults d.ini"), 0);
    ASSERT_EQ(Run("settings show d.ini"), 0) << errors;
    std::vector<std::string> defaults = Lines(output);
    ASSERT_GT(defaults.size(), 130u);
    std::filesystem::copy_file(TempPath("d.ini"), TempPath("e.ini"));
    ASSERT_EQ(Run("settings set e.ini" + Quoted(defaults)), 0) << errors;
    EXPECT_EQ(FileBytes("e.ini"), FileBytes("d.ini"));

    // Every field changed through the settings dialogs; the printed lines reproduce it from the defaults.
    std::filesystem::copy_file(TempPath("d.ini"), TempPath("r.ini"));
    ASSERT_EQ(Run(std::string("settings set r.ini") + EVERY_FIELD_CHANGED), 0) << errors;
    ASSERT_EQ(Run("settings show r.ini"), 0) << errors;
    std::vector<std::string> changed = Lines(output);
    ASSERT_EQ(changed.size(), defaults.size() + 3);  // the three regions
    for (size_t i = 0; i < defaults.size(); ++i) {
        bool device = defaults[i].rfind("inputDevice=", 0) == 0 || defaults[i].rfind("outputDevice=", 0) == 0;
        EXPECT_NE(changed[i] == defaults[i], !device) << changed[i];
    }
    std::filesystem::copy_file(TempPath("d.ini"), TempPath("s.ini"));
    ASSERT_EQ(Run("settings set s.ini" + Quoted(changed)), 0) << errors;
    std::vector<unsigned char> made = FileBytes("r.ini"), remade = FileBytes("s.ini");
    ASSERT_EQ(remade.size(), SETTINGS_RECORD_SIZE);
    for (size_t i = 0; i < made.size(); ++i) EXPECT_EQ(remade[i], made[i]) << "offset " << i;
    ASSERT_EQ(Run("settings show s.ini"), 0);
    EXPECT_EQ(Lines(output), changed);

    // A data file shows the settings it stores, its width limits at its own rate.
    DataFileRecipe recipe;
    recipe.reserved = 96000;
    MakeFile("data.pls", DataFileBytes(recipe));
    ASSERT_EQ(Run("settings show data.pls"), 0) << errors;
    EXPECT_NE(output.find("\nleft.filterWidthMax=1041.666"), std::string::npos) << output;
}

TEST_F(CliSettingsTest, RefusedValuesLeaveTheFileAsItWasAndExitWithStatusTwo) {
    ASSERT_EQ(Run("defaults d.ini"), 0);
    std::vector<unsigned char> original = FileBytes("d.ini");
    struct Case {
        const char* arguments;
        const char* reason;
    };
    const Case cases[] = {
        {"left.nosuch=1", "unknown setting name left.nosuch"},
        {"left.minHeight=2 left.calibration=23.2:662", "expected MEAN:SD:QUANTITY"},
        {"left.minHeight=2 left.calibration=10:0:5", "Wrong calibration data"},
        {"left.minHeight=2 inputDevice=99", "the list has no position 99"},
        {"left.minHeight=2 --roi left=10:10.01", "same bin"},
        {"left.minHeight=2 --roi left=10:5000", "outside the spectrum"},
        {"left.minHeight=2 --roi middle=1:2", "expected left=START:END"},
        {"'comments=\"open'", "double quotes"},
        {"left.quantityUnits=123456789012345678901234567890", "at most 29 characters"},
        {"left.shapePointUsed=0101", "60 digits"},
        {"window7.flags=1", "unknown setting name"},
        {"left.roi0=5:5:0:0:0:0:0:0", "START_BIN < END_BIN"},
        {"left.calibrationMode=3", "Interpolate"},
        {"'comments=\xE2\x9C\x93'", "Windows-1252"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run(std::string("settings set d.ini ") + c.arguments), 2) << c.arguments;
        EXPECT_NE(errors.find(c.reason), std::string::npos) << c.arguments << ": " << errors;
        EXPECT_EQ(FileBytes("d.ini"), original) << c.arguments;
    }
    // A run stops before the file is touched.
    MakeFile("rec.wav", WavBytes(WavRecipe{}));
    EXPECT_EQ(Run("replay rec.wav --set left.calibration=10:0:5 --save out.pls"), 2);
    EXPECT_FALSE(std::filesystem::exists(TempPath("out.pls")));
    EXPECT_EQ(Run("settings show missing.ini"), 1);
}

TEST_F(CliSettingsTest, ReplaySetUpOnTheCommandLineExportsWhatTheDialogsGive) {
    std::string wav = MakeRecording("rec.wav");
    // The dialogs: filter limits, calibration, analysis switches; regions made in the height window.
    SendCommand(WND_PULSES, IDM_ADVANCED_FILTER);
    HeadlessSetCheck(IDD_ADVANCED_FILTER, FilterEnableId(0, 2), true);
    HeadlessTypeText(IDD_ADVANCED_FILTER, FilterLimitId(0, 2, 0), "40");
    HeadlessTypeText(IDD_ADVANCED_FILTER, FilterLimitId(0, 2, 1), "130");
    HeadlessSetCheck(IDD_ADVANCED_FILTER, FilterEnableId(0, 0), true);
    HeadlessTypeText(IDD_ADVANCED_FILTER, FilterLimitId(0, 0, 0), "4");
    HeadlessPressButton(IDD_ADVANCED_FILTER, IDC_FILTER_APPLY);
    HeadlessCloseDialog(IDD_ADVANCED_FILTER);
    SendCommand(WND_PULSES, IDM_CALIBRATION);
    const char* row[2][3] = {{"5", "0.2", "220"}, {"20", "0.5", "900"}};
    for (int r = 0; r < 2; ++r)
        for (int f = 0; f < 3; ++f) HeadlessTypeText(IDD_CALIBRATION, CalibrationEditId(0, r, f), row[r][f]);
    HeadlessTypeText(IDD_CALIBRATION, CalibrationEditId(0, 15, 0), "0");
    HeadlessTypeText(IDD_CALIBRATION, CalibrationEditId(0, 15, 1), "0");
    HeadlessTypeText(IDD_CALIBRATION, CalibrationEditId(0, 15, 2), "0");
    HeadlessSelectComboItem(IDD_CALIBRATION, IDC_CALIBRATION_MODE_LEFT, 1);
    HeadlessPressButton(IDD_CALIBRATION, IDC_CALIBRATION_APPLY);
    HeadlessCloseDialog(IDD_CALIBRATION);
    SendCommand(WND_PULSES, IDM_DAQ_SETTINGS);
    HeadlessSetCheck(IDD_DAQ, DaqCheckId(OPT_USE_ADVANCED_FILTER), true);
    HeadlessSetCheck(IDD_DAQ, DaqCheckId(OPT_USE_CALIBRATION), true);
    HeadlessTypeText(IDD_DAQ, DaqEditId(FIELD_HEIGHT_BIN_SIZE), "0.05");
    HeadlessPressButton(IDD_DAQ, IDC_DAQ_APPLY);
    HeadlessCloseDialog(IDD_DAQ);
    // 300 to 500 and 600 to 650 keV on the line through (5, 220) and (20, 900): heights / 0.05 arb.u.
    auto bin = [](double kev) { return static_cast<int32_t>((kev + 100.0 / 15) * 15 / 680 / 0.05 + 0.5); };
    ASSERT_TRUE(AddRoi(0, bin(300), bin(500)));
    ASSERT_TRUE(AddRoi(0, bin(600), bin(650)));
    SetFileName(wav.c_str());
    SendCommand(WND_PULSES, IDM_OPEN_NAMED_FILE);
    const int exports[] = {IDM_EXPORT_HEIGHT, IDM_EXPORT_ROI, IDM_EXPORT_WIDTH, IDM_EXPORT_ROI_TIME};
    for (int command : exports) ExportTo(command, TempPath("dialog-" + std::to_string(command) + ".txt"));

    std::string arguments =
        "replay rec.wav --set left.filterWidth=1 --set left.filterWidthMin=40 --set left.filterWidthMax=130"
        " --set left.filterHeight=1 --set left.filterHeightMin=4 --set left.calibration=5:0.2:220,20:0.5:900"
        " --set left.calibrationMode=1 --set left.useAdvancedFilter=1 --set left.useCalibration=1"
        " --set left.heightBinSize=0.05 --clear-rois --roi left=300:500 --roi left=600:650";
    for (int command : exports) {
        const char* kind = command == IDM_EXPORT_HEIGHT ? "height"
                           : command == IDM_EXPORT_ROI  ? "roi"
                           : command == IDM_EXPORT_WIDTH ? "width"
                                                         : "roi-time";
        arguments += std::string(" --export ") + kind + "=cli-" + std::to_string(command) + ".txt";
    }
    ASSERT_EQ(Run(arguments), 0) << errors;
    for (int command : exports) {
        std::string suffix = std::to_string(command) + ".txt";
        std::string dialog = ReadText(TempPath("dialog-" + suffix));
        EXPECT_NE(dialog.find("\r\n"), dialog.rfind("\r\n")) << command;  // more than a heading
        EXPECT_EQ(ReadText(TempPath("cli-" + suffix)), dialog) << command;
    }
}

TEST_F(CliSettingsTest, ShapeFromASoundFileIsTheTemplateOfTheMenuCommand) {
    std::string wav = MakeRecording("pulses.wav");
    OpenWith(IDM_OBTAIN_SHAPE, wav);
    ASSERT_EQ(FormatErrors(), 0);
    ASSERT_EQ(Run("shape pulses.wav --save-settings shape.ini"), 0) << errors;
    std::vector<unsigned char> file = FileBytes("shape.ini");
    ASSERT_EQ(file.size(), SETTINGS_RECORD_SIZE);
    size_t shape = offsetof(SettingsRecord, pulseShape);
    EXPECT_EQ(std::memcmp(file.data() + shape, settings.pulseShape, sizeof(settings.pulseShape)), 0);
    size_t used = offsetof(SettingsRecord, shapePointUsed);
    EXPECT_EQ(std::memcmp(file.data() + used, settings.shapePointUsed, sizeof(settings.shapePointUsed)), 0);
    EXPECT_EQ(output.rfind("left.pulseShape=", 0), 0u) << output;
    // The saved template drives the shape method of a later replay.
    EXPECT_EQ(Run("replay pulses.wav --settings shape.ini --set left.useShapeMethod=1 --summary"), 0) << errors;
}
}  // namespace
