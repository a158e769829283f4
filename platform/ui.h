// The window side of the platform seam: message boxes, file dialogs, plot windows, menu, timers,
// dialogs addressed by control id, clipboard and shell. Implemented by platform/qt (the desktop
// program) and platform/headless (tests and the batch tool). All text is Windows-1252.
#pragma once
#include <cstdint>
#include <string>

// ---- Message boxes -------------------------------------------------------------------------------
constexpr unsigned MB_OK = 0x00000000;
constexpr unsigned MB_OKCANCEL = 0x00000001;
constexpr unsigned MB_ICONHAND = 0x00000010;
constexpr unsigned MB_ICONQUESTION = 0x00000020;
constexpr unsigned MB_ICONEXCLAMATION = 0x00000030;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int NO_OWNER = -1;

// Shows a modal message box without caption; owner is a plot window index or NO_OWNER.
// Returns IDOK or IDCANCEL.
int ShowMessage(const char* text, unsigned style, int owner = NO_OWNER);

// ---- File dialogs --------------------------------------------------------------------------------
constexpr unsigned OFN_FILEMUSTEXIST = 0x00001000;
constexpr unsigned OFN_PATHMUSTEXIST = 0x00000800;
constexpr unsigned OFN_OVERWRITEPROMPT = 0x00000002;
constexpr unsigned OFN_HIDEREADONLY = 0x00000004;

struct FileDialogRequest {
    const char* title;
    const char* filters;           // pairs "description\0pattern\0", ended by an extra "\0"
    const char* defaultExtension;  // without the dot
    unsigned options;              // OFN_* flags
};

// Asks for a file to open or save; on OK copies the path (at most capacity - 1 characters) into
// path and returns true; returns false when cancelled.
bool AskOpenFileName(const FileDialogRequest& request, char* path, int capacity);
bool AskSaveFileName(const FileDialogRequest& request, char* path, int capacity);

// ---- Plot windows --------------------------------------------------------------------------------
struct WindowPlacement {
    uint32_t showCommand;  // 0 hidden, 1 normal, 2 minimised, 3 maximised
    int32_t left, top, right, bottom;  // normal position in screen pixels
};

struct WorkArea {
    int32_t left, top, right, bottom;
};

// Creates the seven plot windows (window 0 with the menu) at the given placements. False on failure.
bool CreatePlotWindows(const WindowPlacement placements[7]);
void SetWindowTitle(int window, const char* title);
std::string GetWindowTitle(int window);
void ShowPlotWindow(int window, bool show);
bool IsPlotWindowVisible(int window);
void GetPlotWindowPlacement(int window, WindowPlacement* placement);
void SetPlotWindowPlacement(int window, const WindowPlacement& placement);
void GetClientSize(int window, int* width, int* height);
void InvalidateWindow(int window);
WorkArea GetWorkArea();
void DestroyPlotWindow(int window);
// Ends the event loop with the given exit code once the current handler returns.
void PostQuit(int exitCode);

// Horizontal scroll bar of a plot window (windows 0-5) in the 0-10000 model.
void SetScrollBar(int window, int position, int page, bool redraw);

// ---- Menu (window 0) -----------------------------------------------------------------------------
void EnableMenuItem(int command, bool enabled);
void CheckMenuItem(int command, bool checked);
void RedrawMenuBar();

// ---- Timers (all on window 0) --------------------------------------------------------------------
void StartTimer(int id, unsigned milliseconds);
void KillTimer(int id);

// ---- Dialogs -------------------------------------------------------------------------------------
// Dialogs are addressed by their resource id (IDD_* in core/ids.h); at most one instance of each is open.
// DLG_CLICK: the left mouse button was pressed on the dialog's background.
enum DialogEvent { DLG_INIT, DLG_COMMAND, DLG_CLOSE, DLG_SELECTION_CHANGE, DLG_CLICK };
// Returns true when the event was handled.
using DialogProcedure = bool (*)(int dialog, DialogEvent event, int control);

// Opens a dialog from its template; owner NO_OWNER means it blocks nothing. The call returns at once;
// the procedure receives DLG_INIT before the dialog is shown.
bool OpenDialog(int dialog, int owner, DialogProcedure procedure);
bool IsDialogOpen(int dialog);
void EndDialog(int dialog, int result);
void BringDialogToTop(int dialog);
// Delivers an event to an open dialog's procedure (a command id, a reload request, a close request).
void SendDialogEvent(int dialog, DialogEvent event, int control);

int GetDialogItemText(int dialog, int control, char* buffer, int capacity);
void SetDialogItemText(int dialog, int control, const char* text);
bool IsDialogButtonChecked(int dialog, int control);
void CheckDialogButton(int dialog, int control, bool checked);
void ClearComboBox(int dialog, int control);
void AddComboBoxItem(int dialog, int control, const char* text);
void SetComboBoxSelection(int dialog, int control, int index);
int GetComboBoxSelection(int dialog, int control);

// ---- Clipboard and shell -------------------------------------------------------------------------
bool SetClipboardText(const char* text);
bool GetClipboardText(std::string* text);
bool OpenInShell(const char* path);

// ---- Keyboard state ------------------------------------------------------------------------------
// Whether a key (virtual-key code, ui/host_events.h) is held down now.
bool IsKeyDown(int virtualKey);

// ---- Event loop ----------------------------------------------------------------------------------
enum AudioNotification { AUDIO_INPUT_FILLED, AUDIO_OUTPUT_DONE };
// Safe to call from any thread (audio callbacks): the user-interface thread will call
// OnAudioInputBufferFilled(index) or OnAudioOutputBlockDone(index), in posting order.
void PostAudioNotification(AudioNotification kind, int index);
// Queues a command for window after the current handler has returned (HostCommand is then called
// on the user-interface thread).
void PostCommand(int window, int command);
// Runs the user-interface event loop (posted notifications, timers, input) until PostQuit; returns
// the exit code.
int RunEventLoop();
