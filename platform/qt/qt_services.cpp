// Services of the window side on Qt: message boxes, file dialogs, clipboard, shell, timers, the event
// loop with audio notifications posted from other threads, and the program icon.
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/qt/qt_platform.h"
#include "platform/ui.h"
#include "resources/resources.h"
#include "ui/host_events.h"

namespace {
bool unattended = false;
int unattendedErrors = 0;
bool quitPosted = false;
bool loopRunning = false;
int quitCode = 0;
QString lastDirectory;
std::map<int, QTimer*> timers;

QColor RgbColor(unsigned rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

QPixmap DrawIcon(int size) {
    const ProgramIconDrawing& drawing = ProgramIcon();
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(Qt::NoPen);
    p.setBrush(RgbColor(drawing.background));
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 5, 5);
    p.setPen(QPen(RgbColor(drawing.baseline), 1.2));
    p.drawLine(QPointF(3, drawing.baselineY), QPointF(29, drawing.baselineY));
    QPainterPath trace;
    for (int i = 0; i < drawing.pointCount; ++i) {
        QPointF point(drawing.points[i].x, drawing.points[i].y);
        if (i == 0)
            trace.moveTo(point);
        else
            trace.lineTo(point);
    }
    p.setPen(QPen(RgbColor(drawing.trace), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(trace);
    return pixmap;
}

// "description\0pattern\0...\0" as Qt name filters "description (pattern pattern)".
QStringList NameFilters(const char* filters) {
    QStringList out;
    if (!filters) return out;
    for (const char* p = filters; *p;) {
        QString description = AnsiToQString(p);
        p += std::strlen(p) + 1;
        QString pattern = *p ? AnsiToQString(p) : QStringLiteral("*");
        if (*p) p += std::strlen(p) + 1;
        out << description + QStringLiteral(" (") + pattern.replace(';', ' ') + QStringLiteral(")");
    }
    return out;
}

bool AskFileName(const FileDialogRequest& request, char* path, int capacity, bool save) {
    if (unattended || !path || capacity <= 0) return false;
    QFileDialog dialog(nullptr, AnsiToQString(request.title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!save && (request.options & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile
                                                                      : QFileDialog::AnyFile);
    if (!(request.options & OFN_OVERWRITEPROMPT)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QStringList filters = NameFilters(request.filters);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (request.defaultExtension && *request.defaultExtension)
        dialog.setDefaultSuffix(AnsiToQString(request.defaultExtension));
    if (!lastDirectory.isEmpty()) dialog.setDirectory(lastDirectory);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    QString chosen = dialog.selectedFiles().first();
    lastDirectory = QFileInfo(chosen).absolutePath();
    // Paths go to the program in the file system's own encoding, so any file can be opened.
    QByteArray bytes = QFile::encodeName(chosen);
    if (bytes.isEmpty() || bytes.size() >= capacity) return false;
    std::memcpy(path, bytes.constData(), static_cast<size_t>(bytes.size()) + 1);
    return true;
}
}  // namespace

// ---- Program set-up ------------------------------------------------------------------------------
QIcon ProgramIconImage() {
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 24, 32, 48, 64, 128}) i.addPixmap(DrawIcon(size));
        return i;
    }();
    return icon;
}

void InitialiseQtPlatform() {
    QApplication::setApplicationName(QStringLiteral("TIK"));
    // Desktops match the windows with the installed menu entry tik.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("tik"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ProgramIconImage());
}

void SetUnattended(bool value) { unattended = value; }
bool IsUnattended() { return unattended; }
int UnattendedErrorCount() { return unattendedErrors; }

// ---- Message boxes and file dialogs --------------------------------------------------------------
int ShowMessage(const char* text, unsigned style, int owner) {
    QString body = AnsiToQString(text ? text : "").replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    bool okCancel = (style & 0xF) == MB_OKCANCEL;
    if (unattended) {
        std::fprintf(stderr, "%s\n", body.toLocal8Bit().constData());
        if ((style & 0xF0) == MB_ICONHAND) unattendedErrors++;
        return IDOK;
    }
    QMessageBox box(PlotWindowWidget(owner));
    box.setWindowTitle(QStringLiteral("TIK"));
    box.setTextFormat(Qt::PlainText);
    box.setText(body);
    switch (style & 0xF0) {
    case MB_ICONHAND: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case 0x40: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    box.setStandardButtons(okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(okCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return box.clickedButton() == box.button(QMessageBox::Cancel) ? IDCANCEL : IDOK;
}

bool AskOpenFileName(const FileDialogRequest& request, char* path, int capacity) {
    return AskFileName(request, path, capacity, false);
}

bool AskSaveFileName(const FileDialogRequest& request, char* path, int capacity) {
    return AskFileName(request, path, capacity, true);
}

// ---- Clipboard and shell -------------------------------------------------------------------------
bool SetClipboardText(const char* text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    QString value = AnsiToQString(text ? text : "");
#ifndef Q_OS_WIN
    value.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
    clipboard->setText(value);
    return true;
}

bool GetClipboardText(std::string* text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!text || !data || !data->hasText()) return false;
    *text = QStringToAnsi(data->text());
    return true;
}

bool OpenInShell(const char* path) {
    if (!path || !*path) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(path)));
}

// ---- Timers --------------------------------------------------------------------------------------
void StartTimer(int id, unsigned milliseconds) {
    QTimer*& timer = timers[id];
    if (!timer) {
        timer = new QTimer(qApp);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, [id] { HostTimer(id); });
    }
    // Starting a running timer re-arms it; like the system timer, no period is shorter than 10 ms.
    timer->start(static_cast<int>(std::clamp<unsigned>(milliseconds, 10u, INT_MAX)));
}

void KillTimer(int id) {
    auto it = timers.find(id);
    if (it != timers.end() && it->second) it->second->stop();
}

// ---- Event loop ----------------------------------------------------------------------------------
void PostAudioNotification(AudioNotification kind, int index) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(
        app,
        [kind, index] {
            if (kind == AUDIO_INPUT_FILLED)
                OnAudioInputBufferFilled(index);
            else
                OnAudioOutputBlockDone(index);
        },
        Qt::QueuedConnection);
}

void PostCommand(int window, int command) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app) QMetaObject::invokeMethod(app, [window, command] { HostCommand(window, command); }, Qt::QueuedConnection);
}

void PostQuit(int exitCode) {
    quitPosted = true;
    quitCode = exitCode;
    // Only a running loop is told to end; otherwise Qt would also end the next modal loop at once.
    if (loopRunning) QCoreApplication::exit(exitCode);
}

int RunEventLoop() {
    // A quit posted before the loop starts (start-up already ended the program) ends it at once.
    if (!quitPosted && QCoreApplication::instance()) {
        loopRunning = true;
        quitCode = QApplication::exec();
        loopRunning = false;
    }
    quitPosted = false;
    return quitCode;
}
