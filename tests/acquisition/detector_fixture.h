// Fixture of the detector tests: a small pulse store, a live input format of choice, the capture
// flag set, and helpers that pack generated signals and run them through DetectPulses.
#pragma once
#include <cstdint>
#include <vector>

#include "acquisition/audio_interface.h"
#include "acquisition/detector.h"
#include "acquisition/pulse_store.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "tests/acquisition/detector_signals.h"
#include "tests/support/test_support.h"

class DetectorTest : public TikTest {
public:
    // Whether the latest Detect reported a limit (its caller would then stop the capture).
    static inline bool limitReported = false;

protected:
    void SetUp() override {
        TikTest::SetUp();
        settings.channel[0].maxPulses = settings.channel[1].maxPulses = 1000;
        QuantizeSettings(true);
        AllocatePulseStore(true, false);
        UseLiveFormat(2, 2);
        runState |= RS_ACQUIRING;
    }

    // A live input of 1 or 2 channels and 2, 3 or 4 bytes per sample at 48000 Hz.
    static void UseLiveFormat(int channels, int bytesPerSample) {
        inputWaveFormat = BuildWaveFormat(0, channels == 2 ? 2 : settings.inputChannels, 1,
                                          static_cast<uint16_t>(bytesPerSample - 2));
    }

    // Changes one channel setting and re-derives the working parameters, as the dialog's Apply does.
    static void SetChannelField(int c, int field, double value) {
        ChannelFieldRef(settings.channel[c], field) = value;
        QuantizeSettings(false);
    }

    // Runs one pass and remembers whether it reported a limit.
    static void Detect(const std::vector<Signal>& channels, int bytesPerSample) {
        std::vector<uint8_t> block = PackBlock(channels, bytesPerSample);
        limitReported = DetectPulses(block.data(), static_cast<uint32_t>(block.size()));
    }

    // What Continue does to the detector before capturing again.
    static void ContinueCapture() {
        runState &= ~RS_LIMIT_REACHED;
        DropOpenPulses();
        ResetShapeHistory();
    }

    static const PulseRecord& Record(int c, uint32_t i) { return pulseStore[PulseIndex(c, i)]; }

    static std::vector<PulseRecord> Records(int c) {
        std::vector<PulseRecord> out;
        for (uint32_t i = 0; i < pulseCount[c]; ++i) out.push_back(Record(c, i));
        return out;
    }
};
