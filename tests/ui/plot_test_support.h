// Fixture of the painting and navigation tests: a small pulse store, window sizes, and helpers that
// pick recorded canvas calls apart.
#pragma once
#include <string>
#include <vector>

#include "acquisition/pulse_store.h"
#include "analysis/series.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "platform/headless/headless.h"
#include "tests/support/test_support.h"
#include "ui/plot_render.h"

class PlotTest : public TikTest {
  protected:
    void SetUp() override {
        TikTest::SetUp();
        QuantizeSettings(true);
        BindSeries();
    }

    // A store for `perChannel` pulses per channel, empty.
    static void MakeStore(uint32_t perChannel) {
        settings.channel[0].maxPulses = perChannel;
        settings.channel[1].maxPulses = perChannel;
        ASSERT_TRUE(AllocatePulseStore(true, false));
        pulseCount[0] = pulseCount[1] = 0;
    }

    static void AddPulse(int channel, int64_t time, uint32_t width, uint32_t height) {
        Pulse(channel, pulseCount[channel]++) = PulseRecord{time, width, height, 0, 0};
        if (time + width > sampleClock) sampleClock = time + width;
    }

    static void SetClient(int window, int width, int height) {
        Headless().windows[window].clientWidth = width;
        Headless().windows[window].clientHeight = height;
    }

    static std::vector<CanvasCall> Calls(CanvasCall::Kind kind) {
        std::vector<CanvasCall> out;
        for (const CanvasCall& call : Headless().canvasCalls)
            if (call.kind == kind) out.push_back(call);
        return out;
    }

    // The text drawn at (x, y), empty when there is none.
    static std::string TextAt(int x, int y) {
        for (const CanvasCall& call : Headless().canvasCalls)
            if (call.kind == CanvasCall::TEXT && call.a == x && call.b == y) return call.text;
        return std::string();
    }

    static std::string LegendText() { return TextAt(2, 2); }

    // Splits the information text of a window into its labels and its values.
    static void InformationPieces(int window, std::vector<std::string>* labels,
                                  std::vector<std::string>* values) {
        std::string text = informationText[window];
        size_t lineEnd = text.find("\r\n");
        ASSERT_NE(lineEnd, std::string::npos) << text;
        *labels = Split(text.substr(0, lineEnd), "\t");
        *values = Split(text.substr(lineEnd + 2), "\t ");
    }

    static std::vector<std::string> Split(const std::string& text, const std::string& separator) {
        std::vector<std::string> out;
        size_t start = 0;
        while (true) {
            size_t next = text.find(separator, start);
            out.push_back(text.substr(start, next - start));
            if (next == std::string::npos) return out;
            start = next + separator.size();
        }
    }
};
