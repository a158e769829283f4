// The "Data Acquisition and Analysis" dialog: one channel's parameters and switches, the channel
// selection and the comment; Apply, the reload request and DIALOG_REAPPLY (re-apply).
#pragma once
#include "core/ids.h"
#include "platform/ui.h"

bool DaqDialogProcedure(int dialog, DialogEvent event, int control);

// IDM_DAQ_SETTINGS: opens the dialog without owner, or brings the open one to the top.
void OpenDaqDialog();

// "Load Settings ...", "Save Settings", "Save Settings As ...".
void LoadSettingsCommand();
void SaveSettingsCommand(bool ask);
