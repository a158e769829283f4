// Fixture of the offscreen Qt tests: the seven plot windows exist and are shown, the host entry points
// (defined in recording_host.cpp instead of the program) record every call in order, and every dialog
// a test opened is gone afterwards.
#pragma once
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <functional>
#include <string>
#include <vector>

#include "core/ids.h"
#include "platform/qt/qt_platform.h"
#include "platform/ui.h"

struct HostCall {
    enum Kind { PAINT, SIZE, CLOSE, KEY, MOUSE, SCROLL, COMMAND, TIMER, DROP, INPUT_FILLED, OUTPUT_DONE };
    Kind kind;
    int window;
    int a, b, c, d, e;  // key; mouse message, keys, x, y, wheel delta; scroll code, position; size; id
    bool shiftDown, controlDown;  // IsKeyDown(VK_SHIFT / VK_CONTROL) during the call
    std::string text;             // dropped path
};

struct RecordingHost {
    std::vector<HostCall> calls;
    std::function<void(int window)> paint;          // runs inside HostPaint; by default it clears
    std::function<void(const HostCall&)> reaction;  // runs after each call is recorded, when set
    int Count(HostCall::Kind kind) const;
    const HostCall* Last(HostCall::Kind kind) const;  // nullptr when there was none
};

RecordingHost& Host();
void ResetHost();
// The window and the first `fields - 1` numbers of the last call of `kind`; empty when there was none.
std::vector<int> LastCall(HostCall::Kind kind, size_t fields = 2);

class QtTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static bool created = false;
        if (!created) {
            WindowPlacement placements[7];
            for (int i = 0; i < 7; ++i)
                placements[i] = {1, 20 + 30 * i, 20 + 20 * i, 20 + 30 * i + 400, 20 + 20 * i + 200};
            ASSERT_TRUE(CreatePlotWindows(placements));
            created = true;
        }
        Flush();
        ResetHost();
    }

    void TearDown() override {
        for (int dialog = IDD_FIRST; dialog <= IDD_LAST; ++dialog)
            if (IsDialogOpen(dialog)) EndDialog(dialog, 0);
        Flush();
        ResetHost();
    }

    // Delivers posted events and deferred deletions.
    static void Flush() {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
};
