// The soak check's reference run: the generator's signal, made here from the same parameters and fed
// in half-second buffers through the scripted device to the same capture controller and detector, so
// that a live capture's data file can be compared with it record for record.
#include "tools/scale_soak.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "acquisition/audio_interface.h"
#include "acquisition/pulse_generator.h"
#include "acquisition/pulse_store.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "ui/commands.h"
#include "ui/startup.h"

namespace {
PulseGeneratorParameters ParametersFromEnvironment() {
    PulseGeneratorParameters parameters;
    for (const char* const* name = pulseGeneratorVariables; *name; ++name) {
        const char* value = std::getenv(*name);
        if (value && !SetPulseGeneratorParameter(parameters, *name, value))
            std::fprintf(stderr, "tik-scale: ignoring %s=%s\n", *name, value);
    }
    return parameters;
}
}  // namespace

int RunGeneratorReference(int argc, char** argv) {
    if (argc != 4) return 2;
    setenv("TIK_SETTINGS", argv[2], 1);
    if (!StartProgram(nullptr)) return 1;
    PulseGenerator generator;
    if (!InitPulseGenerator(generator, ParametersFromEnvironment(), inputWaveFormat.samplesPerSecond)) {
        std::fprintf(stderr, "tik-scale: generator parameters not usable\n");
        return 1;
    }
    SendCommand(WND_PULSES, IDM_START);
    if (!(runState & RS_ACQUIRING)) return 1;
    uint32_t frames = inputWaveFormat.samplesPerSecond / 2;
    std::vector<uint8_t> block(static_cast<size_t>(frames) * inputWaveFormat.blockAlign);
    uint64_t buffers = 0;
    while (runState & RS_ACQUIRING) {
        GeneratePulseFrames(generator, inputWaveFormat, block.data(), frames);
        if (!ScriptedDeliverInput(block.data(), block.size())) return 1;
        if (++buffers % 7200 == 0)
            std::fprintf(stderr, "reference: %llu s, pulses %u + %u\n",
                         static_cast<unsigned long long>(buffers / 2), pulseCount[0], pulseCount[1]);
    }
    Headless().fileAnswers.push_back(argv[3]);
    SendCommand(WND_PULSES, IDM_SAVE);
    std::printf(
        "reference: %llu buffers, sampleClock %lld, stored %u + %u, generator started %llu + %llu (%llu "
        "pairs)\n",
        static_cast<unsigned long long>(buffers), static_cast<long long>(sampleClock), pulseCount[0],
        pulseCount[1], static_cast<unsigned long long>(generator.pulseCount[0]),
        static_cast<unsigned long long>(generator.pulseCount[1]),
        static_cast<unsigned long long>(generator.pairCount));
    for (const RecordedMessage& message : Headless().messages)
        std::fprintf(stderr, "message: %s\n", message.text.c_str());
    return Headless().messages.empty() ? 0 : 1;
}
