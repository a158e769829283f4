// Headless window side: keeps windows, menu, timers, dialogs and clipboard in memory and records
// every call, with scripted answers for message boxes and file dialogs.
#include <cstdio>
#include <cstring>

#include "platform/headless/headless.h"
#include "ui/host_events.h"

namespace {
HeadlessState state;

std::vector<std::string> SplitFilters(const char* filters) {
    std::vector<std::string> out;
    if (!filters) return out;
    const char* p = filters;
    while (*p) {
        out.emplace_back(p);
        p += std::strlen(p) + 1;
    }
    return out;
}

bool AnswerFileDialog(const FileDialogRequest& request, char* path, int capacity, bool save) {
    state.fileDialogs.push_back({request.title ? request.title : "", SplitFilters(request.filters),
                                 request.defaultExtension ? request.defaultExtension : "", request.options,
                                 save});
    if (state.fileAnswers.empty()) return false;
    std::string answer = state.fileAnswers.front();
    state.fileAnswers.pop_front();
    if (answer.empty() || capacity <= 0 || static_cast<int>(answer.size()) >= capacity) return false;
    std::memcpy(path, answer.c_str(), answer.size() + 1);
    return true;
}

HeadlessDialogItem& Item(int dialog, int control) { return state.dialogs[dialog].items[control]; }
}  // namespace

HeadlessState& Headless() { return state; }

void HeadlessReset() { state = HeadlessState(); }

int ShowMessage(const char* text, unsigned style, int owner) {
    state.messages.push_back({text ? text : "", style, owner});
    if (state.echoMessagesToStderr) std::fprintf(stderr, "%s\n", text ? text : "");
    if ((style & 0xF) == MB_OKCANCEL) {
        if (state.messageAnswers.empty()) return IDOK;
        int answer = state.messageAnswers.front();
        state.messageAnswers.pop_front();
        return answer;
    }
    return IDOK;
}

bool AskOpenFileName(const FileDialogRequest& request, char* path, int capacity) {
    return AnswerFileDialog(request, path, capacity, false);
}

bool AskSaveFileName(const FileDialogRequest& request, char* path, int capacity) {
    return AnswerFileDialog(request, path, capacity, true);
}

bool CreatePlotWindows(const WindowPlacement placements[7]) {
    if (state.failWindowCreation) return false;
    for (int i = 0; i < 7; ++i) {
        HeadlessWindow& w = state.windows[i];
        w.created = true;
        w.destroyed = false;
        w.placement = placements[i];
        w.visible = placements[i].showCommand != 0;
    }
    return true;
}

void SetWindowTitle(int window, const char* title) {
    if (window >= 0 && window < 7) state.windows[window].title = title ? title : "";
}

std::string GetWindowTitle(int window) {
    return (window >= 0 && window < 7) ? state.windows[window].title : std::string();
}

void ShowPlotWindow(int window, bool show) {
    if (window < 0 || window >= 7) return;
    state.windows[window].visible = show;
    if (show && state.windows[window].placement.showCommand == 0) state.windows[window].placement.showCommand = 1;
}

bool IsPlotWindowVisible(int window) { return window >= 0 && window < 7 && state.windows[window].visible; }

void GetPlotWindowPlacement(int window, WindowPlacement* placement) {
    if (window < 0 || window >= 7 || !placement) return;
    *placement = state.windows[window].placement;
    if (!state.windows[window].visible) placement->showCommand = 0;
}

void SetPlotWindowPlacement(int window, const WindowPlacement& placement) {
    if (window < 0 || window >= 7) return;
    state.windows[window].placement = placement;
    state.windows[window].visible = placement.showCommand != 0;
}

void GetClientSize(int window, int* width, int* height) {
    if (window < 0 || window >= 7) {
        if (width) *width = 0;
        if (height) *height = 0;
        return;
    }
    if (width) *width = state.windows[window].clientWidth;
    if (height) *height = state.windows[window].clientHeight;
}

void InvalidateWindow(int window) {
    if (window >= 0 && window < 7) state.windows[window].invalidations++;
}

WorkArea GetWorkArea() { return state.workArea; }

void DestroyPlotWindow(int window) {
    if (window < 0 || window >= 7) return;
    state.windows[window].destroyed = true;
    state.windows[window].visible = false;
}

void PostQuit(int exitCode) {
    state.quitPosted = true;
    state.exitCode = exitCode;
}

void SetScrollBar(int window, int position, int page, bool) {
    if (window < 0 || window >= 7) return;
    state.windows[window].scrollPosition = position;
    state.windows[window].scrollPage = page;
    state.windows[window].scrollUpdates++;
}

void EnableMenuItem(int command, bool enabled) {
    state.menuEnabled[command] = enabled;
    state.menuChanges++;
}

void CheckMenuItem(int command, bool checked) { state.menuChecked[command] = checked; }

void RedrawMenuBar() { state.menuRedraws++; }

void StartTimer(int id, unsigned milliseconds) {
    state.timers[id] = milliseconds;
    state.timerArms[id]++;
}

void KillTimer(int id) { state.timers.erase(id); }

bool OpenDialog(int dialog, int owner, DialogProcedure procedure) {
    HeadlessDialog& d = state.dialogs[dialog];
    // As on screen: an open dialog comes to the front instead of opening twice.
    if (d.open) {
        d.raisedCount++;
        return true;
    }
    d = HeadlessDialog();
    d.open = true;
    d.owner = owner;
    d.procedure = procedure;
    if (procedure) procedure(dialog, DLG_INIT, 0);
    return true;
}

bool IsDialogOpen(int dialog) {
    auto it = state.dialogs.find(dialog);
    return it != state.dialogs.end() && it->second.open;
}

void EndDialog(int dialog, int result) {
    HeadlessDialog& d = state.dialogs[dialog];
    d.open = false;
    d.result = result;
}

void BringDialogToTop(int dialog) { state.dialogs[dialog].raisedCount++; }

void SendDialogEvent(int dialog, DialogEvent event, int control) {
    if (!IsDialogOpen(dialog)) return;
    DialogProcedure procedure = state.dialogs[dialog].procedure;
    if (procedure) procedure(dialog, event, control);
}

int GetDialogItemText(int dialog, int control, char* buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    const std::string& text = Item(dialog, control).text;
    int n = static_cast<int>(text.size());
    if (n > capacity - 1) n = capacity - 1;
    std::memcpy(buffer, text.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

void SetDialogItemText(int dialog, int control, const char* text) {
    if (IsDialogOpen(dialog)) Item(dialog, control).text = text ? text : "";
}

bool IsDialogButtonChecked(int dialog, int control) { return Item(dialog, control).checked; }

void CheckDialogButton(int dialog, int control, bool checked) {
    if (IsDialogOpen(dialog)) Item(dialog, control).checked = checked;
}

void ClearComboBox(int dialog, int control) {
    HeadlessDialogItem& item = Item(dialog, control);
    item.comboItems.clear();
    item.selection = -1;
}

void AddComboBoxItem(int dialog, int control, const char* text) {
    Item(dialog, control).comboItems.emplace_back(text ? text : "");
}

void SetComboBoxSelection(int dialog, int control, int index) {
    HeadlessDialogItem& item = Item(dialog, control);
    item.selection = (index >= 0 && index < static_cast<int>(item.comboItems.size())) ? index : -1;
}

int GetComboBoxSelection(int dialog, int control) { return Item(dialog, control).selection; }

bool SetClipboardText(const char* text) {
    state.clipboard = text ? text : "";
    state.clipboardHasText = true;
    return true;
}

bool GetClipboardText(std::string* text) {
    if (!state.clipboardHasText || !text) return false;
    *text = state.clipboard;
    return true;
}

bool OpenInShell(const char* path) {
    state.shellOpened.emplace_back(path ? path : "");
    return true;
}

bool IsKeyDown(int virtualKey) {
    auto it = state.keysDown.find(virtualKey);
    return it != state.keysDown.end() && it->second;
}

void HeadlessTypeText(int dialog, int control, const std::string& text) { Item(dialog, control).text = text; }

void HeadlessPressButton(int dialog, int control) { SendDialogEvent(dialog, DLG_COMMAND, control); }

void HeadlessSetCheck(int dialog, int control, bool checked) {
    Item(dialog, control).checked = checked;
    SendDialogEvent(dialog, DLG_COMMAND, control);
}

void HeadlessSelectComboItem(int dialog, int control, int index) {
    SetComboBoxSelection(dialog, control, index);
    SendDialogEvent(dialog, DLG_SELECTION_CHANGE, control);
}

void HeadlessCloseDialog(int dialog) { SendDialogEvent(dialog, DLG_CLOSE, 0); }

std::string HeadlessItemText(int dialog, int control) { return Item(dialog, control).text; }

void HeadlessPaint(int window) {
    state.canvasCalls.clear();
    state.paintWindow = window;
    HostPaint(window);
}
