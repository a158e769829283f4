// Deferred device checks (the batch tool): start-up and replays ask no device anything; the first use
// of a device, or a write of the device numbers to a file, runs the checks that start-up would have run.
#include <string>

#include "acquisition/audio_interface.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "tests/files/file_test_support.h"
#include "ui/commands.h"
#include "ui/program_state.h"
#include "ui/startup.h"

namespace {
class DeferredAudioTest : public FilesTest {
  protected:
    int queries = 0;

    // Starts the program as the batch tool does, from a settings file naming an input device that
    // does not exist (the checks turn it into device 0).
    void StartDeferred() {
        HeadlessReset();
        ScriptedAudioReset();
        ResetProgramState();
        settings.inputDevice = 3;
        ASSERT_TRUE(SaveSettingsFile(false));
        ScriptedAudio().inputAccepts = [this](int device, const WaveFormat&) {
            ++queries;
            return device == 0;
        };
        SetAudioValidationDeferred(true);
        ASSERT_TRUE(StartProgram(nullptr));
    }
};

TEST_F(DeferredAudioTest, ReplaysAskNoDeviceAndTheFirstDeviceUseChecksAsStartUpWould) {
    WavRecipe recipe;
    recipe.samples = SamplesAsBytes(PulseTrain(2, 20000, RandomPulses(2, 20000, 10, 7)));
    std::string wav = MakeFile("replay.wav", WavBytes(recipe));
    // Start, Sound on, the Audio Interface dialog, saving a data file, saving the settings.
    for (int command : {IDM_START, IDM_SOUND, IDM_AUDIO_INTERFACE, IDM_SAVE, IDM_SAVE_SETTINGS}) {
        SCOPED_TRACE(command);
        queries = 0;
        StartDeferred();
        RunCommand(IDM_OPEN, wav);
        EXPECT_GT(pulseCount[0], 0u);
        EXPECT_EQ(queries, 0);
        EXPECT_EQ(settings.inputDevice, 3u);
        EXPECT_EQ(inputWaveFormat.samplesPerSecond, sampleRateTable[settings.inputRateIndex]);
        RunCommand(command, command == IDM_SAVE ? TempPath("saved.pls") : "");
        EXPECT_GT(queries, 0);
        EXPECT_EQ(settings.inputDevice, 0u);
        if (runState & RS_ACQUIRING) RunCommand(IDM_STOP);
        int afterFirstUse = queries;
        RunCommand(IDM_SAVE_SETTINGS);
        EXPECT_EQ(queries, afterFirstUse) << "the checks run once";
    }
}
}  // namespace
