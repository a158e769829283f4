// The "Data Acquisition and Analysis" dialog: one channel's parameters and switches, the channel
// selection and the comment; Apply, the reload request and command 1100 (re-apply).
#pragma once
#include "platform/ui.h"

constexpr int IDC_DAQ_FIRST_EDIT = 1001;       // edits 1001-1014: the 14 channel fields
constexpr int IDC_DAQ_FIRST_CHECK = 1020;      // check boxes 1020-1030: the 11 switches
constexpr int IDC_DAQ_CHANNEL_SELECTION = 1040;
constexpr int IDC_DAQ_COMMENTS = 1041;
constexpr int IDC_DAQ_APPLY = 6;

bool DaqDialogProcedure(int dialog, DialogEvent event, int control);

// Command 32796: opens the dialog without owner, or brings the open one to the top.
void OpenDaqDialog();

// "Load Settings ...", "Save Settings", "Save Settings As ...".
void LoadSettingsCommand();
void SaveSettingsCommand(bool ask);
