// The "Data Acquisition and Analysis" dialog: one channel's parameters and switches, the channel
// selection and the comment; Apply, the reload request and DIALOG_REAPPLY (re-apply).
#pragma once
#include "core/ids.h"
#include "platform/ui.h"

bool DaqDialogProcedure(int dialog, DialogEvent event, int control);

// IDM_DAQ_SETTINGS: opens the dialog without owner, or brings the open one to the top.
void OpenDaqDialog();

// The rules of Apply for one value typed into edit k (field k) of channel b: clamped to the field's
// limits; the rate bin is reduced to a whole multiple of 1 / time step, which becomes its minimum.
double ClampDaqField(int b, int k, double typed);

// Apply for one field or switch of channel b alone, as the batch tool sets it: the value by the rules
// above, put on the grid of QuantizeSettings and stored as the dialog shows it; then what every Apply
// ends with. No other field changes (but for the shared acquisition time).
void ApplyDaqField(int b, int k, double typed);
void ApplyDaqSwitch(int b, int k, bool on);

// The comment as Apply stores it: at most 994 characters, the rest of the field zero.
void StoreDaqComments(const char* text);

// "Load Settings ...", "Save Settings", "Save Settings As ...".
void LoadSettingsCommand();
void SaveSettingsCommand(bool ask);
