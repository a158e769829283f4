// tik-cli as scripts run it: a replay with save, exports and summary checked against an independent
// detector and independently counted spectra, "load" against "open", background subtraction,
// "settings show" and "settings set" reproducing records byte for byte, refused inputs in one table,
// and "shape" against the menu command.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/settings.h"
#include "files/setting_names.h"
#include "platform/headless/headless.h"
#include "tests/files/file_test_support.h"
#include "ui/commands.h"

namespace {
// The pulse height export of the left channel counted from the records, bins of `binUnits`.
std::string HeightExport(const std::vector<PulseRecord>& pulses, uint32_t binUnits) {
    std::vector<int> counts(32768, 0);
    size_t last = 0;
    for (const PulseRecord& p : pulses) {
        counts[p.height / binUnits] += 1;
        last = std::max<size_t>(last, p.height / binUnits);
    }
    std::string text = "Height/arb.u\tCounts\r\n";
    for (size_t i = 0; i <= last; ++i) {
        char edge[32];
        std::snprintf(edge, sizeof(edge), "%.4f", static_cast<double>(i * binUnits) / 21474836.47);
        std::string trimmed = edge;
        trimmed.erase(trimmed.find_last_not_of('0') + 1);
        if (trimmed.back() == '.') trimmed.pop_back();
        text += trimmed + "\t" + std::to_string(counts[i]) + "\r\n";
    }
    return text;
}

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
std::string EveryFieldChanged() {
    std::string a =
        " inputRateIndex=3 inputBitsCode=1 inputFormat=1 inputChannels=2 outputRateIndex=0 outputBitsCode=2"
        " outputFormat=1 outputChannels=1 channelSelection=4"
        " left.minHeight=2.5 left.maxDistortion=7 left.correction=0.25 left.boostGain=2 "
        "left.acquisitionTime=60"
        " left.maxPulses=5000 left.beginTime=1 left.durationTime=30 left.timeStep=2 left.rateBinSize=3"
        " left.intervalBinSize=50 left.sFold=3 left.widthBinSize=41.7 left.heightBinSize=0.2"
        " right.minHeight=-3 right.maxDistortion=8 right.correction=0.5 right.boostGain=3 "
        "right.maxPulses=7000"
        " right.beginTime=2 right.durationTime=20 right.timeStep=0.5 right.rateBinSize=4"
        " right.intervalBinSize=62.5 right.sFold=2 right.widthBinSize=62.5 right.heightBinSize=0.05"
        " 'comments=\"Station 4\\r\\nA \\\"quoted\\\" \\xB5 line\"'"
        " left.filterHeightMin=2 left.filterHeightMax=150 left.filterDistortionMin=1 "
        "left.filterDistortionMax=90"
        " left.filterWidthMin=40 left.filterWidthMax=400 right.filterHeightMin=3 right.filterHeightMax=120"
        " right.filterDistortionMin=2 right.filterDistortionMax=80 right.filterWidthMin=50"
        " right.filterWidthMax=500 left.calibration=10:0.5:100,23.2:1.1:662"
        " right.calibration=5:0.25:40,12.5:0.5:122,30:1.5:1332 'left.quantityUnits=Energy /MeV'"
        " 'right.quantityUnits=\"E /\\xB5J\"' left.calibrationMode=1 right.calibrationMode=2"
        " --roi left=600:700 --roi left=100:150 --roi right=200:300";
    for (const char* side : {" left.", " right."}) {
        for (int k = 0; k < CHANNEL_OPTION_COUNT; ++k)
            a += side + std::string(CHANNEL_OPTION_NAMES[k]) + "=1";
        for (const char* filter : {"filterHeight=1", "filterDistortion=1", "filterWidth=1"})
            a += side + std::string(filter);
        a += side + std::string("pulseShape=");
        for (int k = 0; k < 60; ++k)
            a += (k ? "," : "") + std::to_string(side[1] == 'l' ? k * 0.01 : -k * 0.5);
        a += side + std::string("shapePointUsed=") +
             (side[1] == 'l' ? "0" + std::string(59, '1') : std::string(58, '1') + "00");
    }
    for (int w = 0; w < 7; ++w) {
        char window[200];
        std::snprintf(window, sizeof(window),
                      " window%d.length=%d window%d.flags=1 window%d.showCommand=2 window%d.minPosition=%d,%d"
                      " window%d.maxPosition=%d,-8 window%d.normalPosition=%d,20,810,320",
                      w, 50 + w, w, w, w, w, -5, w, w, w, w);
        a += window;
    }
    return a;
}

class CliTest : public FilesTest {
  protected:
    // Three seconds of stereo at 48000 Hz, some pulses coincident; `varied`: widths and heights of many
    // sizes.
    std::string MakeRecording(const std::string& name, std::vector<PulseRecord>* reference, bool varied) {
        std::vector<TestPulse> pulses = RandomPulses(2, 144000, 60, 11);
        for (size_t i = 0; varied && i < pulses.size(); ++i) {
            pulses[i].width = 1 + static_cast<int>(i % 9);
            pulses[i].amplitude = static_cast<int16_t>(4000 + 131 * (i % 128));
        }
        WavRecipe recipe;
        recipe.sampleRate = 48000;
        recipe.samples = SamplesAsBytes(PulseTrain(2, 144000, pulses));
        if (reference) {
            ThresholdModel model = ReplayModel(recipe.samples, 2, 2);
            reference[0] = model.channel[0].closed;
            reference[1] = model.channel[1].closed;
        }
        return MakeFile(name, WavBytes(recipe));
    }
};

TEST_F(CliTest, ReplaySavesExportsAndSummarisesTheReferencePulses) {
    std::vector<PulseRecord> reference[2];
    MakeRecording("rec.wav", reference, false);
    ASSERT_EQ(RunCli("replay rec.wav --save out.pls --export height=h.txt --summary"), 0) << cliErrors;
    EXPECT_EQ(cliErrors.find("Wrong format"), std::string::npos);

    auto file = ReadFileBytes(TempPath("out.pls"));
    size_t left = reference[0].size(), right = reference[1].size();
    ASSERT_EQ(file.size(), 7216 + 24 * (left + right));
    uint32_t counts[2], rate;
    std::memcpy(counts, file.data() + 4, 8);
    std::memcpy(&rate, file.data() + 28, 4);
    EXPECT_EQ(counts[0], left);
    EXPECT_EQ(counts[1], right);
    EXPECT_EQ(rate, 48000u);
    EXPECT_EQ(std::memcmp(file.data() + 7216, reference[0].data(), 24 * left), 0);
    EXPECT_EQ(std::memcmp(file.data() + 7216 + 24 * left, reference[1].data(), 24 * right), 0);

    EXPECT_EQ(ReadText(TempPath("h.txt")), HeightExport(reference[0], 2147484));
    char expected[160];
    std::snprintf(
        expected, sizeof(expected),
        "{\"pulseCount\":[%zu,%zu],\"sampleClock\":144000,\"dataSampleRate\":48000,\"acquisitionSeconds\":3,",
        left, right);
    EXPECT_EQ(cliOutput.substr(0, std::strlen(expected)), expected);

    // "load" keeps the settings given on the command line; "open" takes the file's.
    ASSERT_EQ(RunCli("load out.pls --set left.heightBinSize=0.2 --export height=h2.txt"), 0) << cliErrors;
    EXPECT_EQ(ReadText(TempPath("h2.txt")), HeightExport(reference[0], 4294967));
    ASSERT_EQ(RunCli("open out.pls --set left.heightBinSize=0.2 --export height=h3.txt"), 0) << cliErrors;
    EXPECT_EQ(ReadText(TempPath("h3.txt")), ReadText(TempPath("h.txt")));
    EXPECT_NE(cliErrors.find("open takes the settings stored in"), std::string::npos);

    // The recording as its own background leaves nothing after subtraction.
    ASSERT_EQ(
        RunCli("replay rec.wav --background rec.wav --set left.subtractBackground=1 --export height=h4.txt"),
        0);
    std::string subtracted = ReadText(TempPath("h4.txt"));
    EXPECT_EQ(subtracted.find("\t1"), std::string::npos);
    EXPECT_GT(subtracted.size(), 100u);
}

TEST_F(CliTest, ShowAndSetReproduceTheDefaultRecordAndOneWithEveryFieldChanged) {
    ASSERT_EQ(RunCli("defaults d.ini"), 0);
    ASSERT_EQ(RunCli("settings show d.ini"), 0) << cliErrors;
    std::vector<std::string> defaults = Lines(cliOutput);
    ASSERT_GT(defaults.size(), 130u);
    std::filesystem::copy_file(TempPath("d.ini"), TempPath("e.ini"));
    ASSERT_EQ(RunCli("settings set e.ini" + Quoted(defaults)), 0) << cliErrors;
    EXPECT_EQ(ReadFileBytes(TempPath("e.ini")), ReadFileBytes(TempPath("d.ini")));

    // Every field changed through the settings dialogs; the printed lines reproduce it from the defaults.
    std::filesystem::copy_file(TempPath("d.ini"), TempPath("r.ini"));
    ASSERT_EQ(RunCli("settings set r.ini" + EveryFieldChanged()), 0) << cliErrors;
    ASSERT_EQ(RunCli("settings show r.ini"), 0) << cliErrors;
    std::vector<std::string> changed = Lines(cliOutput);
    ASSERT_EQ(changed.size(), defaults.size() + 3);  // the three regions
    for (size_t i = 0; i < defaults.size(); ++i) {
        bool device = defaults[i].rfind("inputDevice=", 0) == 0 || defaults[i].rfind("outputDevice=", 0) == 0;
        EXPECT_NE(changed[i] == defaults[i], !device) << changed[i];
    }
    std::filesystem::copy_file(TempPath("d.ini"), TempPath("s.ini"));
    ASSERT_EQ(RunCli("settings set s.ini" + Quoted(changed)), 0) << cliErrors;
    EXPECT_EQ(ReadFileBytes(TempPath("s.ini")), ReadFileBytes(TempPath("r.ini")));
    ASSERT_EQ(RunCli("settings show s.ini"), 0);
    EXPECT_EQ(Lines(cliOutput), changed);

    // A data file shows the settings it stores, its width limits at its own rate.
    DataFileRecipe recipe;
    recipe.reserved = 96000;
    MakeFile("data.pls", DataFileBytes(recipe));
    ASSERT_EQ(RunCli("settings show data.pls"), 0) << cliErrors;
    EXPECT_NE(cliOutput.find("\nleft.filterWidthMax=1041.666"), std::string::npos) << cliOutput;
}

// Refused files exit with 1, refused command lines and values with 2; neither touches a file.
TEST_F(CliTest, RefusedInputsFailWithTheirStatusAndLeaveTheFiles) {
    ASSERT_EQ(RunCli("defaults d.ini"), 0);
    const std::vector<unsigned char> original = ReadFileBytes(TempPath("d.ini"));
    MakeFile("corrupt.pls", Bytes(9000, 'P'));
    MakeRecording("rec.wav", nullptr, false);
    struct Case {
        const char* arguments;
        int status;
        const char* reason;
    };
    const Case cases[] = {
        {"open corrupt.pls --summary", 1, "Wrong format or file is corrupted"},
        {"load missing.pls", 1, "cannot read"},
        {"replay corrupt.pls", 1, "not a WAV file"},
        {"replay rec.wav --export width=no/such/w.txt", 1, "File could not be written:"},
        {"capture --device 'no such card' --seconds 1", 1, "no input device no such card"},
        {"settings show missing.ini", 1, ""},
        {"replay x.wav --set left.minHeight=abc", 2, "usage:"},
        {"replay x.wav --export volume=v.txt", 2, ""},
        {"defaults d.ini --summary", 2, ""},
        {"frobnicate x", 2, ""},
        {"replay", 2, ""},
        {"capture --seconds 0", 2, ""},
        {"capture --seconds ten", 2, ""},
        {"replay x.wav --device 1", 2, ""},
        {"--version extra", 2, ""},
        {"replay rec.wav --set left.calibration=10:0:5 --save d.ini", 2, "Wrong calibration data"},
        {"settings set d.ini left.minHeight=2 inputDevice=99", 2, "the list has no position 99"},
        {"settings set d.ini left.minHeight=2 --roi left=10:10.01", 2, "same bin"},
        {"settings set d.ini left.minHeight=2 --roi left=10:5000", 2, "outside the spectrum"},
        {"settings set d.ini left.minHeight=2 --roi middle=1:2", 2, "expected left=START:END"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunCli(c.arguments), c.status) << c.arguments;
        EXPECT_NE(cliErrors.find(c.reason), std::string::npos) << c.arguments << ": " << cliErrors;
        EXPECT_EQ(ReadFileBytes(TempPath("d.ini")), original) << c.arguments;
    }
    ASSERT_EQ(RunCli("--version"), 0);
    EXPECT_EQ(cliOutput, "tik-cli " TIK_VERSION "\n");
    ASSERT_EQ(RunCli("--help"), 0);
    EXPECT_EQ(cliOutput.rfind("usage:", 0), 0u) << cliOutput;
}

TEST_F(CliTest, ShapeFromASoundFileIsTheTemplateOfTheMenuCommand) {
    RunCommand(IDM_OBTAIN_SHAPE, MakeRecording("pulses.wav", nullptr, true));
    ASSERT_EQ(FormatErrors(), 0);
    ASSERT_EQ(RunCli("shape pulses.wav --save-settings shape.ini"), 0) << cliErrors;
    std::vector<unsigned char> file = ReadFileBytes(TempPath("shape.ini"));
    ASSERT_EQ(file.size(), SETTINGS_RECORD_SIZE);
    SettingsRecord saved;
    std::memcpy(&saved, file.data(), sizeof(saved));
    EXPECT_EQ(std::memcmp(saved.pulseShape, settings.pulseShape, sizeof(settings.pulseShape)), 0);
    EXPECT_EQ(std::memcmp(saved.shapePointUsed, settings.shapePointUsed, sizeof(settings.shapePointUsed)), 0);
    EXPECT_EQ(cliOutput.rfind("left.pulseShape=", 0), 0u) << cliOutput;
    // The saved template drives the shape method of a later replay.
    EXPECT_EQ(RunCli("replay pulses.wav --settings shape.ini --set left.useShapeMethod=1 --summary"), 0)
        << cliErrors;
}
}  // namespace
