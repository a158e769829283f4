// About and Information dialog procedures.
#include "ui/info_dialogs.h"

#include "core/view_state.h"
#include "platform/ui.h"
#include "ui/commands.h"

namespace {
int informationSource = 0;

// Both dialogs end with OK, Cancel (Escape) and the close box; About also with a click anywhere.
bool EndOnButtons(int dialog, DialogEvent event, int control) {
    switch (event) {
        case DLG_COMMAND:
            if (control == IDOK || control == IDCANCEL) EndDialog(dialog, control);
            return true;
        case DLG_CLOSE:
            EndDialog(dialog, IDCANCEL);
            return true;
        default:
            return false;
    }
}

bool AboutProcedure(int dialog, DialogEvent event, int control) {
    if (event == DLG_INIT) return true;
    if (event == DLG_CLICK) {
        EndDialog(dialog, 1);
        return true;
    }
    return EndOnButtons(dialog, event, control);
}

bool InformationProcedure(int dialog, DialogEvent event, int control) {
    if (event == DLG_INIT) {
        SetDialogItemText(dialog, IDC_INFORMATION_TEXT, informationText[informationSource]);
        return true;
    }
    return EndOnButtons(dialog, event, control);
}
}  // namespace

void OpenAboutDialog(int owner) { OpenDialog(IDD_ABOUT, owner, AboutProcedure); }

void OpenInformationDialog(int window) {
    informationSource = (window >= 0 && window < 7) ? window : 0;
    // One already open belongs to another window (it blocks only its owner): it gives way to this
    // window's, so the text shown is always that of the window where Q was pressed.
    if (IsDialogOpen(IDD_INFORMATION)) EndDialog(IDD_INFORMATION, IDCANCEL);
    OpenDialog(IDD_INFORMATION, window, InformationProcedure);
}
