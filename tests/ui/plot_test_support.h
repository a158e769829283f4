// Fixture of the painting and navigation tests: window sizes and helpers that pick recorded canvas
// calls apart; the pulse store is filled through the shared helper.
#pragma once
#include <string>
#include <vector>

#include "acquisition/pulse_store.h"
#include "analysis/series.h"
#include "core/settings.h"
#include "core/view_state.h"
#include "platform/headless/headless.h"
#include "tests/support/store_fill.h"
#include "tests/support/test_support.h"
#include "ui/plot_render.h"

class PlotTest : public TikTest {
  protected:
    void SetUp() override {
        TikTest::SetUp();
        QuantizeSettings(true);
        BindSeries();
    }
};

// The recorded canvas calls of one kind.
inline std::vector<CanvasCall> Calls(CanvasCall::Kind kind) {
    std::vector<CanvasCall> out;
    for (const CanvasCall& call : Headless().canvasCalls)
        if (call.kind == kind) out.push_back(call);
    return out;
}

// The legend: the text drawn at the top left of the plot.
inline std::string LegendText() {
    for (const CanvasCall& call : Headless().canvasCalls)
        if (call.kind == CanvasCall::TEXT && call.a == 2 && call.b == 2) return call.text;
    return std::string();
}
