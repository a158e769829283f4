// Settings by name applied to the running program by the rules of the dialog that edits each field:
// "Data Acquisition and Analysis" fields by its Apply rules for that one field (shared with the
// dialog), filter limits, calibration and audio fields through their dialogs (Apply or OK, with their
// clamping, unit conversion and messages); the fields no dialog edits (window placements, the pulse
// shape and regions as stored) straight into the record; regions of interest from heights or
// calibrated values as the height window makes them.
#pragma once
#include <string>

#include "files/setting_names.h"

// Applies one assignment; an assignment that leaves the field as it is changes nothing. False with a
// reason when the dialog refused the value (a device list position that does not exist, a format the
// device does not take, calibration points that fail the checks).
bool ApplySettingAssignment(const SettingAssignment& a, std::string* error);

// A region request "left=START:END" or "right=START:END".
struct RoiRequest {
    int channel = 0;
    double start = 0, end = 0;
};
bool ParseRoiRequest(const std::string& text, RoiRequest* request, std::string* error);

// Makes the region: START and END in arb.u, or in the calibrated quantity while the channel's
// calibration is in use; converted to bins of the channel's height bin size. False with a reason for
// bounds outside the spectrum, bounds in the same bin, or a full table.
bool AddRoiRequest(const RoiRequest& request, std::string* error);

// Frees every region of both channels.
void ClearAllRois();
