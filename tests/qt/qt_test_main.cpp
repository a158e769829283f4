// Entry of the offscreen Qt tests: one QApplication on the offscreen platform for every test, with a
// private runtime folder (Qt warns about a missing or shared one).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <string>

#include "platform/qt/qt_platform.h"

namespace {
QtMessageHandler previousHandler = nullptr;

// The offscreen platform says so each time it cannot do what a window system would (raise a window,
// pass on size hints); nothing else is hidden.
void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!message.startsWith(QStringLiteral("This plugin does not support")))
        previousHandler(type, context, message);
}
}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string folder = "/tmp/tik-qt-tests-XXXXXX";
    if (std::getenv("XDG_RUNTIME_DIR") || !mkdtemp(folder.data())) folder.clear();
    if (!folder.empty()) setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
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
