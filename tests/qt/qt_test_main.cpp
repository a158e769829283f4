// Entry of the offscreen Qt tests: one QApplication on the offscreen platform for every test.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "platform/qt/qt_platform.h"

namespace {
QtMessageHandler previousHandler = nullptr;

// The offscreen platform says so each time it cannot do what a window system would (raise a
// window, pass on size hints); nothing else is hidden.
void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}
}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // A private runtime folder keeps Qt from warning about a missing or shared one.
    std::string folder;
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        folder = "/tmp/tik-qt-tests-XXXXXX";
        if (mkdtemp(folder.data()))
            setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        else
            folder.clear();
    }
    previousHandler = qInstallMessageHandler(FilterMessages);
    ::testing::InitGoogleTest(&argc, argv);
    int result;
    {
        QApplication application(argc, argv);
        InitialiseQtPlatform();
        result = RUN_ALL_TESTS();
    }
    if (!folder.empty()) rmdir(folder.c_str());
    return result;
}
