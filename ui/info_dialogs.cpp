// About and Information dialog procedures.
#include "ui/info_dialogs.h"

#include "platform/ui.h"
#include "ui/commands.h"
#include "ui/view_state.h"

namespace {
int informationSource = 0;

bool AboutProcedure(int dialog, DialogEvent event, int control) {
    switch (event) {
        case DLG_INIT:
            return true;
        case DLG_CLICK:
            EndDialog(dialog, 1);
            return true;
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

bool InformationProcedure(int dialog, DialogEvent event, int control) {
    switch (event) {
        case DLG_INIT:
            SetDialogItemText(dialog, IDC_INFORMATION_TEXT, informationText[informationSource]);
            return true;
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
}  // namespace

void OpenAboutDialog(int owner) { OpenDialog(IDD_ABOUT, owner, AboutProcedure); }

void OpenInformationDialog(int window) {
    informationSource = (window >= 0 && window < 7) ? window : 0;
    OpenDialog(IDD_INFORMATION, window, InformationProcedure);
}
