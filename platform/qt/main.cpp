// Entry of the desktop program: `tik [FILE]` starts TIK and opens FILE; `tik --render DIR [FILE]`
// starts without showing anything, opens FILE and paints the seven windows into DIR/window-N.png;
// `tik --help` and `tik --version` answer on standard output without starting anything.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/run_state.h"
#include "platform/qt/qt_platform.h"
#include "platform/ui.h"
#include "ui/commands.h"
#include "ui/host_events.h"
#include "ui/startup.h"

namespace {
// The remaining arguments joined by blanks: a path with blanks arrives whole even when unquoted.
std::string JoinArguments(int first, int argc, char** argv) {
    std::string path;
    for (int i = first; i < argc; ++i) {
        if (!path.empty()) path += ' ';
        path += argv[i];
    }
    return path;
}

constexpr const char* USAGE =
    "usage: tik [FILE]                 start TIK; FILE (a data file .pls or a WAV recording) is opened\n"
    "       tik --render DIR [FILE]    open FILE without a display and paint the seven windows into\n"
    "                                  DIR/window-0.png ... DIR/window-6.png\n"
    "       tik --help                 this text\n"
    "       tik --version              the program's name and version\n"
    "The settings file is tik.ini beside the program (or ~/.config/tik/tik.ini); TIK_SETTINGS names\n"
    "another one. The batch tool tik-cli runs the same analysis without a display.\n";

// --help and --version are answered before Qt starts, so they work without a display.
bool AnswerInformationRequest(int argc, char** argv, int* status) {
    if (argc != 2) return false;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)
        std::fputs(USAGE, stdout);
    else if (std::strcmp(argv[1], "--version") == 0)
        std::fputs("tik " TIK_VERSION "\n", stdout);
    else
        return false;
    *status = std::fflush(stdout) == 0 ? 0 : 1;
    return true;
}

bool RenderRequested(int argc, char** argv) { return argc >= 2 && std::strcmp(argv[1], "--render") == 0; }

int Render(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tik --render DIR [FILE]\n");
        return 2;
    }
    std::string directory = argv[2];
    std::string file = JoinArguments(3, argc, argv);
    if (!QDir().mkpath(QFile::decodeName(directory.c_str()))) {
        std::fprintf(stderr, "tik: cannot create %s\n", directory.c_str());
        return 1;
    }
    SetUnattended(true);
    if (!StartProgram(file.empty() ? nullptr : file.c_str())) return 1;
    // Let whatever the open left running (a replay fed through the event loop) finish first.
    QCoreApplication::processEvents();
    while (runState & RS_FILE_REPLAY) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // Hidden windows are not kept up to date: the View commands show each one with fresh contents.
    for (int command = IDM_VIEW_RATE_TIME; command <= IDM_VIEW_AUDIO_INPUT; ++command) HostCommand(0, command);
    QCoreApplication::processEvents();
    if (!RenderPlotWindowsToFiles(directory)) {
        std::fprintf(stderr, "tik: cannot write the pictures into %s\n", directory.c_str());
        return 1;
    }
    // The pictures are written in any case; an error reported on the way (a file that could not be
    // read, for instance) still makes the run fail.
    return UnattendedErrorCount() > 0 ? 1 : 0;
}
}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    if (AnswerInformationRequest(argc, argv, &status)) return status;
    bool render = RenderRequested(argc, argv);
    // Rendering needs no display; a platform chosen by the user is kept.
    if (render && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    InitialiseQtPlatform();
    if (render) return Render(argc, argv);
    std::string file = JoinArguments(1, argc, argv);
    if (!StartProgram(file.empty() ? nullptr : file.c_str())) return 0;
    return RunEventLoop();
}
