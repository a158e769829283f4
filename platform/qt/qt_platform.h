// Internals shared by the files of the Qt window side: text conversion, the plot windows and their
// back buffers, the menu, the dialogs, and the hooks the program entry and the tests use.
#pragma once
#include <QImage>
#include <QString>
#include <string>

class QAction;
class QDialog;
class QFont;
class QIcon;
class QPainter;
class QWidget;

// ---- Text ----------------------------------------------------------------------------------------
// Windows-1252 bytes to Unicode and back; characters without a Windows-1252 byte become '?'.
QString AnsiToQString(const char* text, int length = -1);
std::string QStringToAnsi(const QString& text);
// Window titles may carry a file name in the file system's UTF-8 beside Windows-1252 text: valid
// UTF-8 sequences are read as UTF-8, every other byte as Windows-1252.
QString TitleToQString(const std::string& title);

// ---- Program set-up ------------------------------------------------------------------------------
// Application-wide settings: the program icon, no quitting when the last window closes.
void InitialiseQtPlatform();
QIcon ProgramIconImage();
// While set, message boxes are written to standard error and answered with OK, and file dialogs are
// cancelled: for `tik --render`, which must never wait for a person.
void SetUnattended(bool unattended);
bool IsUnattended();
// Messages with the stop icon (errors) written while unattended.
int UnattendedErrorCount();

// ---- Plot windows --------------------------------------------------------------------------------
QWidget* PlotWindowWidget(int window);  // the top-level window, or nullptr
QWidget* PlotAreaWidget(int window);    // its client area (without menu and scroll bar), or nullptr
QWidget* PlotScrollBar(int window);     // windows 0-5, or nullptr
QAction* MenuAction(int command);       // the menu item of a command, or nullptr

// Paints a window through HostPaint into image, which covers a client area of the given size.
void PaintPlotWindowInto(int window, QImage& image, QSize clientSize);
// Paints all seven windows at the client sizes of their stored rectangles into
// directory/window-0.png ... window-6.png. False when a file could not be written.
bool RenderPlotWindowsToFiles(const std::string& directory);

// ---- Canvas --------------------------------------------------------------------------------------
// Directs the canvas functions to painter for window (no painter: drawing calls do nothing).
void BeginCanvas(int window, QPainter* painter, int width, int height);
void EndCanvas();
// The plot font: a condensed face whose cell fits the 14-pixel legend line.
const QFont& PlotFont();

// ---- Dialogs -------------------------------------------------------------------------------------
QDialog* DialogWidget(int dialog);                 // an open dialog, or nullptr
QWidget* DialogControlWidget(int dialog, int control);

// ---- Keys ----------------------------------------------------------------------------------------
// The virtual-key code of a Qt key, or 0 when the program has no meaning for it.
int VirtualKeyFromQt(int qtKey);
void NoteKeyState(int virtualKey, bool down);
