// Control and inspection of the headless window side: what the tests (and the batch tool) script
// and what they read back — message boxes, file dialogs, windows, menu, timers, dialogs, canvas calls.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ui.h"

struct RecordedMessage {
    std::string text;
    unsigned style;
    int owner;
};

struct RecordedFileDialog {
    std::string title;
    std::vector<std::string> filters;  // description, pattern, description, pattern, ...
    std::string defaultExtension;
    unsigned options;
    bool save;
};

struct CanvasCall {
    enum Kind { CLEAR, PEN, BRUSH, MOVE, LINE, RECT, ELLIPSE, TEXT } kind;
    int a, b, c, d;  // coordinates, or the colour index for PEN and BRUSH
    int pen, brush;  // pen and brush selected when the call was made
    std::string text;
};

struct HeadlessWindow {
    std::string title;
    bool created = false;
    bool visible = false;
    WindowPlacement placement{};
    int clientWidth = 400;
    int clientHeight = 150;
    int invalidations = 0;
    int scrollPosition = 0, scrollPage = 0, scrollUpdates = 0;
    bool destroyed = false;
};

struct HeadlessDialogItem {
    std::string text;
    bool checked = false;
    std::vector<std::string> comboItems;
    int selection = -1;
};

struct HeadlessDialog {
    bool open = false;
    int owner = NO_OWNER;
    int result = 0;
    int raisedCount = 0;
    DialogProcedure procedure = nullptr;
    std::map<int, HeadlessDialogItem> items;
};

// Everything the headless side has recorded; reset by HeadlessReset.
struct HeadlessState {
    std::vector<RecordedMessage> messages;
    std::deque<int> messageAnswers;        // answers for OK/Cancel boxes; IDOK when empty
    bool echoMessagesToStderr = false;     // the batch tool prints every message
    std::vector<RecordedFileDialog> fileDialogs;
    std::deque<std::string> fileAnswers;   // an empty string answers Cancel; Cancel when empty
    HeadlessWindow windows[7];
    WorkArea workArea{0, 0, 1600, 1200};
    std::map<int, bool> menuEnabled;       // only items that were touched
    std::map<int, bool> menuChecked;
    int menuChanges = 0;                   // enable/gray calls
    int menuRedraws = 0;
    std::map<int, unsigned> timers;        // running timers and their periods
    std::map<int, unsigned> timerArms;     // how often each timer was (re)started
    std::map<int, HeadlessDialog> dialogs;
    std::string clipboard;
    bool clipboardHasText = false;
    std::vector<std::string> shellOpened;
    std::map<int, bool> keysDown;
    std::vector<CanvasCall> canvasCalls;
    int paintWindow = 0;                   // window whose client size the canvas reports
    bool quitPosted = false;
    int exitCode = 0;
    bool failWindowCreation = false;
    std::deque<std::pair<int, int>> postedCommands;  // window, command
    // When set, RunEventLoop hands posted audio notifications to this function instead of the core
    // (tests of an audio backend watch the buffers themselves).
    std::function<void(AudioNotification kind, int index)> audioObserver;
    // Called by the event loop at least every 50 ms (the batch tool checks for Ctrl+C and the end).
    std::function<void()> idleCallback;
};

HeadlessState& Headless();
void HeadlessReset();

// Scripted user actions on dialogs: they call the dialog procedure as the real controls would.
void HeadlessTypeText(int dialog, int control, const std::string& text);
void HeadlessPressButton(int dialog, int control);
void HeadlessSetCheck(int dialog, int control, bool checked);
void HeadlessSelectComboItem(int dialog, int control, int index);
void HeadlessCloseDialog(int dialog);
std::string HeadlessItemText(int dialog, int control);

// Runs the posted commands (in order, including those they post in turn); returns how many ran.
int HeadlessRunPostedCommands();

// Paints a window through the core into the recorded canvas calls (cleared first).
void HeadlessPaint(int window);
