// Deferred device checks (the batch tool): start-up and replays ask no device anything; the first use
// of a device, or a write of the device numbers to a file, runs the checks that start-up would have run.
#include <functional>
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
    const std::vector<std::pair<std::string, std::function<void()>>> firstUses = {
        {"Start", [] { SendCommand(WND_PULSES, IDM_START); }},
        {"Sound on", [] { SendCommand(WND_PULSES, IDM_SOUND); }},
        {"Audio Interface dialog", [] { SendCommand(WND_PULSES, IDM_AUDIO_INTERFACE); }},
        {"Save data file", [this] { SaveAs(TempPath("saved.pls")); }},
        {"Save settings", [] { SendCommand(WND_PULSES, IDM_SAVE_SETTINGS); }},
    };
    for (const auto& [name, use] : firstUses) {
        SCOPED_TRACE(name);
        queries = 0;
        StartDeferred();
        OpenWith(IDM_OPEN, wav);
        EXPECT_EQ(FormatErrors(), 0);
        EXPECT_GT(pulseCount[0], 0u);
        EXPECT_EQ(queries, 0);
        EXPECT_EQ(settings.inputDevice, 3u);
        EXPECT_EQ(inputWaveFormat.samplesPerSecond, sampleRateTable[settings.inputRateIndex]);
        use();
        EXPECT_GT(queries, 0);
        EXPECT_EQ(settings.inputDevice, 0u);
        if (runState & RS_ACQUIRING) SendCommand(WND_PULSES, IDM_STOP);
        int afterFirstUse = queries;
        SendCommand(WND_PULSES, IDM_SAVE_SETTINGS);
        EXPECT_EQ(queries, afterFirstUse) << "the checks run once";
    }
}
}  // namespace
