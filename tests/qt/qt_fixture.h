// Fixture of the offscreen Qt tests: the seven plot windows exist and are shown, the recorded host
// calls start empty, and every dialog a test opened is gone afterwards.
#pragma once
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QThread>
#include <functional>

#include "platform/qt/qt_platform.h"
#include "core/ids.h"
#include "platform/ui.h"
#include "tests/qt/recording_host.h"

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

    // Runs the event loop until condition holds or milliseconds have passed.
    static bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
        QElapsedTimer clock;
        clock.start();
        while (!condition()) {
            if (clock.elapsed() > milliseconds) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(2);
        }
        return true;
    }

    // Delivers posted events and deferred deletions.
    static void Flush() {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
};
