// WAV replay through the open path: the chunk walk, refused formats, the block size, files that end
// early, replays that reach a limit, and the pulse-shape variant.
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
class WavReplayTest : public FilesTest {
protected:
    void ExpectStoreMatches(const ReferencePulses& reference) {
        for (int c = 0; c < 2; ++c) {
            ASSERT_EQ(pulseCount[c], reference.channel[c].size()) << "channel " << c;
            for (uint32_t i = 0; i < pulseCount[c]; ++i)
                ASSERT_EQ(std::memcmp(&Pulse(c, i), &reference.channel[c][i], sizeof(PulseRecord)), 0)
                    << "channel " << c << " pulse " << i;
        }
        EXPECT_EQ(sampleClock, reference.frames);
    }
};

std::vector<uint64_t> progressSeen;
void RecordProgress(uint64_t done, uint64_t) { progressSeen.push_back(done); }

TEST_F(WavReplayTest, StereoAndMonoRecordingsGiveTheReferencePulses) {
    WavRecipe stereo;
    stereo.samples = SamplesAsBytes(PulseTrain(2, 88200, RandomPulses(2, 88200, 40, 1)));
    ReferencePulses reference = ReferenceThresholdDetect(stereo.samples, 2, 2, DEFAULT_THRESHOLD);
    ASSERT_GE(reference.channel[0].size(), 40u);
    ASSERT_GE(reference.channel[1].size(), 40u);
    ASSERT_TRUE(std::any_of(reference.channel[0].begin(), reference.channel[0].end(),
                            [](const PulseRecord& r) { return r.partner != 0; }));

    OpenWith(IDM_OPEN, MakeFile("stereo.wav", WavBytes(stereo)));
    EXPECT_EQ(FormatErrors(), 0);
    EXPECT_EQ(dataSampleRate, 44100u);
    ExpectStoreMatches(reference);
    EXPECT_DOUBLE_EQ(acquisitionSeconds, 2.0);
    EXPECT_EQ(runState & (RS_ACQUIRING | RS_FILE_REPLAY | RS_SHAPE_ACQUISITION), 0u);
    EXPECT_TRUE(runState & RS_DATA_READY);
    EXPECT_EQ(Headless().windows[0].title, "Pulses View vs Time/s   ");
    // One sample period of the file becomes the interval and width bin.
    EXPECT_NEAR(settings.channel[0].intervalBinSize, 1e6 / 44100, 1e-9);

    WavRecipe mono;
    mono.channels = 1;
    mono.sampleRate = 96000;
    mono.samples = SamplesAsBytes(PulseTrain(1, 50000, RandomPulses(1, 50000, 25, 2)));
    reference = ReferenceThresholdDetect(mono.samples, 1, 2, DEFAULT_THRESHOLD);
    OpenWith(IDM_LOAD_DATA, MakeFile("mono.wav", WavBytes(mono)));
    EXPECT_EQ(FormatErrors(), 0);
    EXPECT_EQ(dataSampleRate, 96000u);
    EXPECT_EQ(pulseCount[1], 0u);
    ExpectStoreMatches(reference);

    // The same train widened to 24- and 32-bit samples (the 16-bit value in the top bytes).
    std::vector<int16_t> train = PulseTrain(2, 20000, RandomPulses(2, 20000, 10, 3));
    for (uint16_t width : {3, 4}) {
        SCOPED_TRACE(width);
        WavRecipe wide;
        wide.bytesPerSample = width;
        for (int16_t sample : train) {
            wide.samples.insert(wide.samples.end(), width - 2, 0);
            wide.samples.push_back(static_cast<uint8_t>(sample & 0xFF));
            wide.samples.push_back(static_cast<uint8_t>((sample >> 8) & 0xFF));
        }
        reference = ReferenceThresholdDetect(wide.samples, 2, width, DEFAULT_THRESHOLD);
        ASSERT_GE(reference.channel[0].size(), 10u);
        OpenWith(IDM_OPEN, MakeFile("wide.wav", WavBytes(wide)));
        EXPECT_EQ(FormatErrors(), 0);
        ExpectStoreMatches(reference);
    }
}

TEST_F(WavReplayTest, AnOpenFilterDialogFollowsTheDataSampleRateOfEachLoadedFile) {
    constexpr int D = IDD_ADVANCED_FILTER, WIDTH_MAX = FilterLimitId(0, 2, 1);
    OpenAdvancedFilterDialog();
    ASSERT_EQ(HeadlessItemText(D, WIDTH_MAX), "2083.3333");  // the limit of 100 samples at 48000/s
    WavRecipe fast;
    fast.sampleRate = 96000;
    fast.samples = SamplesAsBytes(PulseTrain(2, 9600, {}));
    OpenWith(IDM_LOAD_DATA, MakeFile("fast.wav", WavBytes(fast)));
    EXPECT_EQ(HeadlessItemText(D, WIDTH_MAX), "1041.6667");
    OpenWith(IDM_LOAD_DATA, MakeFile("slow.pls", DataFileBytes(DataFileRecipe())));
    ASSERT_EQ(dataSampleRate, 48000u);
    EXPECT_EQ(HeadlessItemText(D, WIDTH_MAX), "2083.3333");
    // Apply then keeps the limit in samples (up to the 4 decimals shown).
    HeadlessPressButton(D, IDC_FILTER_APPLY);
    EXPECT_NEAR(settings.filterLimits[0][5], 100.0, 1e-4);
}

TEST_F(WavReplayTest, LongerFormatChunksAndChunksBeforeTheDataAreWalked) {
    WavRecipe plain;
    plain.samples = SamplesAsBytes(PulseTrain(2, 20000, RandomPulses(2, 20000, 10, 3)));
    ReferencePulses reference = ReferenceThresholdDetect(plain.samples, 2, 2, DEFAULT_THRESHOLD);
    WavRecipe eighteen = plain;
    eighteen.formatChunkSize = 18;
    WavRecipe list = plain;
    list.listChunk = true;
    for (const WavRecipe* recipe : {&eighteen, &list}) {
        OpenWith(IDM_OPEN, MakeFile("walk.wav", WavBytes(*recipe)));
        EXPECT_EQ(FormatErrors(), 0);
        ExpectStoreMatches(reference);
    }
}

TEST_F(WavReplayTest, FilesThatDoNotFitAreRefusedBeforeAnythingChanges) {
    WavRecipe good;
    good.samples = SamplesAsBytes(PulseTrain(2, 20000, RandomPulses(2, 20000, 10, 4)));
    OpenWith(IDM_OPEN, MakeFile("good.wav", WavBytes(good)));
    const uint32_t leftCount = pulseCount[0];
    ASSERT_GT(leftCount, 0u);

    std::vector<WavRecipe> bad(10, good);
    bad[0].formatTag = 3;                 // floating point
    bad[1].formatTag = 0xFFFE;            // extensible
    bad[2].channels = 3;
    bad[3].bytesPerSample = 1;            // 8-bit
    bad[4].sampleRate = 0;
    bad[5].sampleRate = 20000000;
    bad[6].riffSizeDelta = 1;             // larger than the file
    bad[7].dataBeforeFormat = true;       // "data" is looked for only after "fmt "
    bad[8].dataSizeDelta = 1;             // more than the file minus 44 bytes
    bad[9].blockAlign = 5;                // no whole number of samples per frame
    for (size_t i = 0; i < bad.size(); ++i) {
        OpenWith(IDM_OPEN, MakeFile("bad.wav", WavBytes(bad[i])));
        EXPECT_EQ(FormatErrors(), static_cast<int>(i + 1)) << "case " << i;
        EXPECT_EQ(pulseCount[0], leftCount) << "case " << i;
        EXPECT_EQ(dataSampleRate, 44100u) << "case " << i;
    }
    EXPECT_EQ(runState & (RS_ACQUIRING | RS_FILE_REPLAY), 0u);
}

TEST_F(WavReplayTest, DataIsReplayedInBlocksUpToTheEndOfTheFile) {
    // 3000000 bytes: one block of 1536000 bytes and one of 1464000.
    WavRecipe recipe;
    recipe.channels = 1;
    recipe.samples = SamplesAsBytes(PulseTrain(1, 1500000, RandomPulses(1, 1500000, 300, 5)));
    ASSERT_EQ(recipe.samples.size(), 3000000u);
    ReferencePulses reference = ReferenceThresholdDetect(recipe.samples, 1, 2, DEFAULT_THRESHOLD);
    progressSeen.clear();
    replayProgressHandler = RecordProgress;
    OpenWith(IDM_OPEN, MakeFile("blocks.wav", WavBytes(recipe)));
    EXPECT_EQ(progressSeen, (std::vector<uint64_t>{1536000, 3000000}));
    ExpectStoreMatches(reference);

    // A data chunk that claims 20 bytes more than the file holds (allowed by the chunk before it):
    // replayed up to the end without a message.
    WavRecipe early;
    early.listChunk = true;
    early.dataSizeDelta = 20;
    early.samples = SamplesAsBytes(PulseTrain(2, 30000, RandomPulses(2, 30000, 10, 6)));
    reference = ReferenceThresholdDetect(early.samples, 2, 2, DEFAULT_THRESHOLD);
    size_t messages = Headless().messages.size();
    OpenWith(IDM_OPEN, MakeFile("early.wav", WavBytes(early)));
    EXPECT_EQ(Headless().messages.size(), messages);
    ExpectStoreMatches(reference);
}

TEST_F(WavReplayTest, AReplayThatReachesALimitNeverWritesOverAnEarlierCapture) {
    // A capture saved while running left the autosave bit set for its final write.
    for (uint32_t i = 0; i < 20; ++i) Pulse(0, i) = {static_cast<int64_t>(i) * 100, 1, 50000000, 0, 0};
    pulseCount[0] = 20;
    runState |= RS_ACQUIRING;
    std::string capture = TempPath("capture.pls");
    SaveAs(capture);
    runState &= ~RS_ACQUIRING;
    ASSERT_TRUE(runState & RS_AUTOSAVE);
    auto saved = ReadFileBytes(capture);

    settings.channel[0].maxPulses = 10;
    WavRecipe recipe;
    recipe.samples = SamplesAsBytes(PulseTrain(2, 40000, RandomPulses(2, 40000, 30, 7)));
    OpenWith(IDM_OPEN, MakeFile("limit.wav", WavBytes(recipe)));
    EXPECT_EQ(pulseCount[0], 10u);
    EXPECT_EQ(ReadFileBytes(capture), saved);
    EXPECT_EQ(runState & (RS_ACQUIRING | RS_FILE_REPLAY | RS_AUTOSAVE), 0u);
    EXPECT_TRUE(runState & RS_DATA_READY);
}

TEST_F(WavReplayTest, PulseShapeFromAMonoFileRebuildsOnlyTheLeftTemplate) {
    // Twenty equal pulses early in the block (where shapes are collected): rise over 5 frames,
    // fall over 25, 40 % of full scale.
    std::vector<int16_t> samples(44100, 0);
    for (int p = 0; p < 20; ++p) {
        int start = 200 + p * 1400;
        for (int t = 0; t <= 30; ++t) {
            double value = t <= 5 ? t / 5.0 : 1.0 - (t - 5) / 25.0;
            samples[static_cast<size_t>(start + t)] = static_cast<int16_t>(13107 * value);
        }
    }
    WavRecipe recipe;
    recipe.channels = 1;
    recipe.samples = SamplesAsBytes(samples);
    const std::vector<double> right(settings.pulseShape[1], settings.pulseShape[1] + SHAPE_POINTS);
    auto peakOf = [](const double* shape) { return std::max_element(shape, shape + SHAPE_POINTS) - shape; };

    OpenWith(IDM_OBTAIN_SHAPE, MakeFile("shape.wav", WavBytes(recipe)));
    EXPECT_EQ(FormatErrors(), 0);
    EXPECT_EQ(Headless().fileDialogs.back().title, "Open Sound File to obtain Pulse Shape");
    EXPECT_EQ(Headless().fileDialogs.back().defaultExtension, "wav");
    EXPECT_EQ(shapeAcquisitionChannels, SHAPE_CHANNEL_LEFT);
    EXPECT_EQ(peakOf(settings.pulseShape[0]), 30);
    EXPECT_EQ(peakOf(settings.pulseShape[1]), peakOf(right.data()));
    EXPECT_EQ(runState & (RS_SHAPE_ACQUISITION | RS_ACQUIRING), 0u);
    EXPECT_TRUE(IsDialogOpen(IDD_PULSE_SHAPE));
    // The backup holds the templates from before the command.
    EXPECT_EQ(std::vector<double>(pulseShapeBackup[1], pulseShapeBackup[1] + SHAPE_POINTS), right);
}
}  // namespace
