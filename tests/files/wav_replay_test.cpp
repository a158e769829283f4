// WAV replay through the open path: recordings of every accepted layout against the reference
// detector, refused formats, the block size, replays that reach a limit and the pulse shape from a file
// (also through tik-cli).
#include <algorithm>
#include <cstring>
#include <vector>

#include "acquisition/pulse_shape.h"
#include "acquisition/pulse_store.h"
#include "analysis/selection.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "files/wav_input.h"
#include "platform/headless/headless.h"
#include "tests/files/file_test_support.h"
#include "ui/commands.h"

namespace {
using WavReplayTest = FilesTest;

std::vector<uint64_t> progressSeen;
void RecordProgress(uint64_t done, uint64_t) {
    progressSeen.push_back(done);
}

// Stereo and mono, 16-, 24- and 32-bit samples (the 16-bit value in the top bytes), a longer format
// chunk, a chunk before the data, a data chunk that claims more than the file holds (replayed to the
// end without a message), and 3000000 bytes replayed in blocks of 1536000.
TEST_F(WavReplayTest, RecordingsGiveTheReferencePulses) {
    struct Case {
        const char* name;
        WavRecipe recipe;  // the layout; the samples are made here
        int64_t frames;
        int pulses;
    };
    auto with = [](void (*change)(WavRecipe&)) {
        WavRecipe r;
        change(r);
        return r;
    };
    const Case cases[] = {
        {"stereo", {}, 88200, 40},
        {"mono at 96000/s", with([](auto& r) { r.channels = 1, r.sampleRate = 96000; }), 50000, 25},
        {"24-bit", with([](auto& r) { r.bytesPerSample = 3; }), 20000, 10},
        {"32-bit", with([](auto& r) { r.bytesPerSample = 4; }), 20000, 10},
        {"18-byte format chunk", with([](auto& r) { r.formatChunkSize = 18; }), 20000, 10},
        {"LIST chunk, data claimed longer", with([](auto& r) { r.listChunk = true, r.dataSizeDelta = 20; }),
         30000, 10},
        {"two blocks", with([](auto& r) { r.channels = 1; }), 1500000, 300},
    };
    replayProgressHandler = RecordProgress;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WavRecipe recipe = c.recipe;
        const uint16_t width = recipe.bytesPerSample;
        for (int16_t sample :
             PulseTrain(recipe.channels, c.frames, RandomPulses(recipe.channels, c.frames, c.pulses, 1))) {
            recipe.samples.insert(recipe.samples.end(), width - 2, 0);
            recipe.samples.push_back(static_cast<uint8_t>(sample & 0xFF));
            recipe.samples.push_back(static_cast<uint8_t>((sample >> 8) & 0xFF));
        }
        ThresholdModel reference = ReplayModel(recipe.samples, recipe.channels, width);
        ASSERT_GE(reference.channel[0].closed.size(), static_cast<size_t>(c.pulses));
        progressSeen.clear();
        Headless().messages.clear();
        RunCommand(IDM_OPEN, MakeFile("case.wav", WavBytes(recipe)));
        EXPECT_TRUE(Headless().messages.empty());
        ExpectStoreHolds(reference.channel[0].closed, reference.channel[1].closed);
        EXPECT_EQ(sampleClock, reference.clock);
        EXPECT_EQ(dataSampleRate, recipe.sampleRate);
        EXPECT_DOUBLE_EQ(acquisitionSeconds, static_cast<double>(c.frames) / recipe.sampleRate);
        // One sample period of the file becomes the interval bin.
        EXPECT_NEAR(settings.channel[0].intervalBinSize, 1e6 / recipe.sampleRate, 1e-9);
        EXPECT_EQ(runState & (RS_ACQUIRING | RS_FILE_REPLAY | RS_SHAPE_ACQUISITION), 0u);
        if (recipe.samples.size() == 3000000) {
            EXPECT_EQ(progressSeen, (std::vector<uint64_t>{1536000, 3000000}));
        }
    }
}

TEST_F(WavReplayTest, FilesThatDoNotFitAreRefusedBeforeAnythingChanges) {
    WavRecipe good;
    good.samples = SamplesAsBytes(PulseTrain(2, 20000, RandomPulses(2, 20000, 10, 4)));
    RunCommand(IDM_OPEN, MakeFile("good.wav", WavBytes(good)));
    const uint32_t leftCount = pulseCount[0];
    ASSERT_GT(leftCount, 0u);

    std::vector<WavRecipe> bad(10, good);
    bad[0].formatTag = 3;       // floating point
    bad[1].formatTag = 0xFFFE;  // extensible
    bad[2].channels = 3;
    bad[3].bytesPerSample = 1;  // 8-bit
    bad[4].sampleRate = 0;
    bad[5].sampleRate = 20000000;
    bad[6].riffSizeDelta = 1;        // larger than the file
    bad[7].dataBeforeFormat = true;  // "data" is looked for only after "fmt "
    bad[8].dataSizeDelta = 1;        // more than the file minus 44 bytes
    bad[9].blockAlign = 5;           // no whole number of samples per frame
    for (size_t i = 0; i < bad.size(); ++i) {
        RunCommand(IDM_OPEN, MakeFile("bad.wav", WavBytes(bad[i])));
        EXPECT_EQ(FormatErrors(), static_cast<int>(i + 1)) << "case " << i;
        EXPECT_EQ(pulseCount[0], leftCount) << "case " << i;
        EXPECT_EQ(dataSampleRate, 44100u) << "case " << i;
    }
    EXPECT_EQ(runState & (RS_ACQUIRING | RS_FILE_REPLAY), 0u);
}

TEST_F(WavReplayTest, AReplayThatReachesALimitNeverWritesOverAnEarlierCapture) {
    // A capture saved while running left the autosave bit set for its final write.
    for (uint32_t i = 0; i < 20; ++i) Pulse(0, i) = {static_cast<int64_t>(i) * 100, 1, 50000000, 0, 0};
    pulseCount[0] = 20;
    runState |= RS_ACQUIRING;
    std::string capture = TempPath("capture.pls");
    RunCommand(IDM_SAVE, capture);
    runState &= ~RS_ACQUIRING;
    ASSERT_TRUE(runState & RS_AUTOSAVE);
    auto saved = ReadFileBytes(capture);

    settings.channel[0].maxPulses = 10;
    WavRecipe recipe;
    recipe.samples = SamplesAsBytes(PulseTrain(2, 40000, RandomPulses(2, 40000, 30, 7)));
    RunCommand(IDM_OPEN, MakeFile("limit.wav", WavBytes(recipe)));
    EXPECT_EQ(pulseCount[0], 10u);
    EXPECT_EQ(ReadFileBytes(capture), saved);
    EXPECT_EQ(runState & (RS_ACQUIRING | RS_FILE_REPLAY | RS_AUTOSAVE), 0u);
    EXPECT_TRUE(runState & RS_DATA_READY);
}

TEST_F(WavReplayTest, PulseShapeFromAMonoFileRebuildsOnlyTheLeftTemplateAsTheBatchToolDoes) {
    // Twenty equal pulses early in the block (where shapes are collected): rise over 5 frames,
    // fall over 25, 40 % of full scale.
    std::vector<int16_t> samples(44100, 0);
    for (int p = 0; p < 20; ++p)
        for (int t = 0; t <= 30; ++t)
            samples[static_cast<size_t>(200 + p * 1400 + t)] =
                static_cast<int16_t>(13107 * (t <= 5 ? t / 5.0 : 1.0 - (t - 5) / 25.0));
    WavRecipe recipe;
    recipe.channels = 1;
    recipe.samples = SamplesAsBytes(samples);
    const std::vector<double> right(settings.pulseShape[1], settings.pulseShape[1] + SHAPE_POINTS);
    auto peakOf = [](const double* shape) { return std::max_element(shape, shape + SHAPE_POINTS) - shape; };

    RunCommand(IDM_OBTAIN_SHAPE, MakeFile("shape.wav", WavBytes(recipe)));
    EXPECT_EQ(FormatErrors(), 0);
    EXPECT_EQ(shapeAcquisitionChannels, SHAPE_CHANNEL_LEFT);
    EXPECT_EQ(peakOf(settings.pulseShape[0]), 30);
    EXPECT_EQ(peakOf(settings.pulseShape[1]), peakOf(right.data()));
    EXPECT_EQ(runState & (RS_SHAPE_ACQUISITION | RS_ACQUIRING), 0u);
    EXPECT_TRUE(IsDialogOpen(IDD_PULSE_SHAPE));
    // The backup holds the templates from before the command.
    EXPECT_EQ(std::vector<double>(pulseShapeBackup[1], pulseShapeBackup[1] + SHAPE_POINTS), right);

    // tik-cli's "shape" saves the same templates, and they drive the shape method of a later replay.
    ASSERT_EQ(RunCli("shape shape.wav --save-settings shape.ini"), 0) << cliErrors;
    std::vector<unsigned char> file = ReadFileBytes(TempPath("shape.ini"));
    ASSERT_EQ(file.size(), SETTINGS_RECORD_SIZE);
    SettingsRecord saved;
    std::memcpy(&saved, file.data(), sizeof(saved));
    EXPECT_EQ(std::memcmp(saved.pulseShape, settings.pulseShape, sizeof(settings.pulseShape)), 0);
    EXPECT_EQ(std::memcmp(saved.shapePointUsed, settings.shapePointUsed, sizeof(settings.shapePointUsed)), 0);
    EXPECT_EQ(cliOutput.rfind("left.pulseShape=", 0), 0u) << cliOutput;
    EXPECT_EQ(RunCli("replay shape.wav --settings shape.ini --set left.useShapeMethod=1 --summary"), 0)
        << cliErrors;
}
}  // namespace
