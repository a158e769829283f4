// tik-cli as scripts run it: a replay with save, exports and summary checked against an independent
// detector and independently computed histograms, "load" with changed settings, background
// subtraction, and the exit status of refused files and bad command lines.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/files/file_test_support.h"

namespace {
constexpr double HEIGHT_BIN = 2147484 / 21474836.47;  // 0.1 arb.u on the sample grid

class CliTest : public TikTest {
protected:
    // Runs tik-cli with the arguments (already quoted where needed); returns its exit status.
    int Run(const std::string& arguments) {
        std::string command = "cd '" + tempDirectory + "' && TIK_SETTINGS='" + TempPath("cli.ini") + "' '" +
                              TIK_CLI_PATH + "' " + arguments + " >'" + TempPath("out.txt") + "' 2>'" +
                              TempPath("err.txt") + "'; echo $? >'" + TempPath("status.txt") + "'";
        EXPECT_TRUE(std::filesystem::exists(TIK_CLI_PATH)) << "build the tik-cli target first";
        std::system(command.c_str());
        output = Text("out.txt");
        errors = Text("err.txt");
        return std::atoi(Text("status.txt").c_str());
    }
    std::string Text(const std::string& name) {
        auto bytes = ReadFileBytes(TempPath(name));
        return std::string(bytes.begin(), bytes.end());
    }
    std::string output, errors;
};

std::string Trimmed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", decimals, value);
    std::string out = text;
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out;
}

// The pulse height export of the left channel computed from the records, with a scale factor for
// the bin width.
std::string HeightExport(const std::vector<PulseRecord>& pulses, uint32_t binUnits, double binWidth) {
    std::vector<int> counts(32768, 0);
    size_t last = 0;
    for (const PulseRecord& p : pulses) {
        size_t bin = p.height / binUnits;
        counts[bin] += 1;
        if (bin > last) last = bin;
    }
    std::string text = "Height/arb.u\tCounts\r\n";
    for (size_t i = 0; i <= last; ++i)
        text += Trimmed(static_cast<double>(i) * binWidth, 4) + "\t" + std::to_string(counts[i]) + "\r\n";
    return text;
}

Bytes Recording(ReferencePulses* reference) {
    WavRecipe recipe;
    recipe.sampleRate = 48000;
    recipe.samples = SamplesAsBytes(PulseTrain(2, 144000, RandomPulses(2, 144000, 60, 11)));
    *reference = ReferenceThresholdDetect(recipe.samples, 2, 2, DEFAULT_THRESHOLD);
    return WavBytes(recipe);
}

TEST_F(CliTest, ReplaySavesExportsAndSummarisesTheReferencePulses) {
    ReferencePulses reference;
    WriteFileBytes(TempPath("rec.wav"), [&] {
        Bytes b = Recording(&reference);
        return std::vector<unsigned char>(b.begin(), b.end());
    }());
    ASSERT_EQ(Run("replay rec.wav --save out.pls --export height=h.txt --summary"), 0) << errors;
    EXPECT_EQ(errors.find("Wrong format"), std::string::npos);

    auto file = ReadFileBytes(TempPath("out.pls"));
    size_t left = reference.channel[0].size(), right = reference.channel[1].size();
    ASSERT_EQ(file.size(), 7216 + 24 * (left + right));
    uint32_t counts[2], rate;
    std::memcpy(counts, file.data() + 4, 8);
    std::memcpy(&rate, file.data() + 28, 4);
    EXPECT_EQ(counts[0], left);
    EXPECT_EQ(counts[1], right);
    EXPECT_EQ(rate, 48000u);
    EXPECT_EQ(std::memcmp(file.data() + 7216, reference.channel[0].data(), 24 * left), 0);
    EXPECT_EQ(std::memcmp(file.data() + 7216 + 24 * left, reference.channel[1].data(), 24 * right), 0);

    EXPECT_EQ(Text("h.txt"), HeightExport(reference.channel[0], 2147484, HEIGHT_BIN));
    char expected[160];
    std::snprintf(expected, sizeof(expected),
                  "{\"pulseCount\":[%zu,%zu],\"sampleClock\":144000,\"dataSampleRate\":48000,\"acquisitionSeconds\":3,",
                  left, right);
    EXPECT_EQ(output.substr(0, std::strlen(expected)), expected);
    EXPECT_NE(output.find("{\"window\":5,\"dataLength\":"), std::string::npos);

    // "load" keeps the settings given on the command line; "open" takes the file's.
    ASSERT_EQ(Run("load out.pls --set left.heightBinSize=0.2 --export height=h2.txt"), 0) << errors;
    EXPECT_EQ(Text("h2.txt"), HeightExport(reference.channel[0], 4294967, 4294967 / 21474836.47));
    ASSERT_EQ(Run("open out.pls --set left.heightBinSize=0.2 --export height=h3.txt"), 0) << errors;
    EXPECT_EQ(Text("h3.txt"), Text("h.txt"));
    EXPECT_NE(errors.find("open takes the settings stored in"), std::string::npos);

    // The recording as its own background leaves nothing after subtraction.
    ASSERT_EQ(Run("replay rec.wav --background rec.wav --set left.subtractBackground=1 --export height=h4.txt"), 0)
        << errors;
    std::string subtracted = Text("h4.txt");
    EXPECT_EQ(subtracted.find("\t1"), std::string::npos);
    EXPECT_GT(subtracted.size(), 100u);
}

TEST_F(CliTest, HelpAndVersionAnswerOnStandardOutput) {
    ASSERT_EQ(Run("--help"), 0);
    EXPECT_EQ(output.rfind("usage:", 0), 0u) << output;
    EXPECT_NE(output.find("tik-cli replay IN.wav"), std::string::npos);
    EXPECT_EQ(errors, "");
    ASSERT_EQ(Run("--version"), 0);
    EXPECT_EQ(output, "tik-cli " TIK_VERSION "\n");
    EXPECT_EQ(Run("--version extra"), 2);
}

TEST_F(CliTest, RefusedFilesAndBadCommandLinesFail) {
    WriteFileBytes(TempPath("corrupt.pls"), std::vector<unsigned char>(9000, 'P'));
    EXPECT_EQ(Run("open corrupt.pls --summary"), 1);
    EXPECT_NE(errors.find("Wrong format or file is corrupted"), std::string::npos);
    EXPECT_EQ(Run("load missing.pls"), 1);
    EXPECT_NE(errors.find("cannot read"), std::string::npos);
    EXPECT_EQ(Run("replay corrupt.pls"), 1);
    EXPECT_NE(errors.find("not a WAV file"), std::string::npos);

    EXPECT_EQ(Run("replay x.wav --set left.minHeight=abc"), 2);
    EXPECT_NE(errors.find("usage:"), std::string::npos);
    EXPECT_EQ(Run("replay x.wav --export volume=v.txt"), 2);
    EXPECT_EQ(Run("defaults d.ini --summary"), 2);
    EXPECT_EQ(Run("frobnicate x"), 2);
    EXPECT_EQ(Run("replay"), 2);
    EXPECT_EQ(Run("capture --seconds 0"), 2);
    EXPECT_EQ(Run("capture --seconds ten"), 2);
    EXPECT_EQ(Run("replay x.wav --device 1"), 2);
    EXPECT_EQ(Run("capture --device 'no such card' --seconds 1"), 1);
    EXPECT_NE(errors.find("no input device no such card"), std::string::npos) << errors;

    // An export into a folder that does not exist is reported and fails the run.
    ReferencePulses reference;
    Bytes wav = Recording(&reference);
    WriteFileBytes(TempPath("rec.wav"), std::vector<unsigned char>(wav.begin(), wav.end()));
    EXPECT_EQ(Run("replay rec.wav --export width=no/such/w.txt"), 1);
    EXPECT_NE(errors.find("File could not be written:"), std::string::npos);

    ASSERT_EQ(Run("defaults d.ini"), 0);
    EXPECT_EQ(ReadFileBytes(TempPath("d.ini")).size(), 7184u);
}
}  // namespace
