// tik-cli as scripts run it: a replay with save, exports and summary checked against an independent
// detector and independently counted spectra, "load" against "open", background subtraction,
// "settings show" and "settings set" reproducing records byte for byte, and refused inputs in one table.
#include <algorithm>
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

// Changes of every kind of field: numbers of both channels, switches, escaped texts, lists, regions
// and window placements.
const std::vector<std::string> CHANGES = {
    "inputRateIndex=3",
    "channelSelection=4",
    "left.minHeight=2.5",
    "right.minHeight=-3",
    "right.heightBinSize=0.05",
    "left.filterWidthMax=400",
    "right.subtractBackground=1",
    "comments=\"Station 4\\r\\nA \\\"quoted\\\" \\xB5 line\"",
    "right.quantityUnits=\"E /\\xB5J\"",
    "right.calibration=5:0.25:40,12.5:0.5:122,30:1.5:1332",
    "left.calibrationMode=1",
    "right.shapePointUsed=" + std::string(58, '1') + "00",
    "window3.normalPosition=3,20,810,320",
};

class CliTest : public FilesTest {
  protected:
    // Three seconds of stereo at 48000 Hz, some pulses coincident.
    std::string MakeRecording(const std::string& name, std::vector<PulseRecord>* reference) {
        WavRecipe recipe;
        recipe.sampleRate = 48000;
        recipe.samples = SamplesAsBytes(PulseTrain(2, 144000, RandomPulses(2, 144000, 60, 11)));
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
    MakeRecording("rec.wav", reference);
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

    char expected[160];
    std::snprintf(
        expected, sizeof(expected),
        "{\"pulseCount\":[%zu,%zu],\"sampleClock\":144000,\"dataSampleRate\":48000,\"acquisitionSeconds\":3,",
        left, right);
    EXPECT_EQ(cliOutput.substr(0, std::strlen(expected)), expected);

    // "load" keeps the settings given on the command line; "open" takes the file's.
    ASSERT_EQ(RunCli("load out.pls --set left.heightBinSize=0.2 --export height=h2.txt"), 0) << cliErrors;
    EXPECT_EQ(Lines(ReadText(TempPath("h2.txt"))).at(2).rfind("0.2\t", 0), 0u);
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

TEST_F(CliTest, ShowAndSetReproduceTheDefaultRecordAndOneWithFieldsOfEveryKindChanged) {
    ASSERT_EQ(RunCli("defaults d.ini"), 0);
    ASSERT_EQ(RunCli("settings show d.ini"), 0) << cliErrors;
    std::vector<std::string> defaults = Lines(cliOutput);
    ASSERT_GT(defaults.size(), 130u);
    std::filesystem::copy_file(TempPath("d.ini"), TempPath("e.ini"));
    ASSERT_EQ(RunCli("settings set e.ini" + Quoted(defaults)), 0) << cliErrors;
    EXPECT_EQ(ReadFileBytes(TempPath("e.ini")), ReadFileBytes(TempPath("d.ini")));

    // Changes of every kind; the printed lines show them and reproduce the file from the defaults.
    std::filesystem::copy_file(TempPath("d.ini"), TempPath("r.ini"));
    ASSERT_EQ(RunCli("settings set r.ini" + Quoted(CHANGES) + " --roi left=600:700 --roi right=200:300"), 0)
        << cliErrors;
    ASSERT_EQ(RunCli("settings show r.ini"), 0) << cliErrors;
    std::vector<std::string> changed = Lines(cliOutput);
    ASSERT_EQ(changed.size(), defaults.size() + 2);  // the two regions
    for (const std::string& change : CHANGES)
        EXPECT_NE(std::find(changed.begin(), changed.end(), change), changed.end()) << change;
    std::filesystem::copy_file(TempPath("d.ini"), TempPath("s.ini"));
    ASSERT_EQ(RunCli("settings set s.ini" + Quoted(changed)), 0) << cliErrors;
    EXPECT_EQ(ReadFileBytes(TempPath("s.ini")), ReadFileBytes(TempPath("r.ini")));

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
    MakeRecording("rec.wav", nullptr);
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
        {"replay x.wav --device 1", 2, ""},
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

}  // namespace
