// Every id the program addresses: plot windows, menu commands, resources, dialogs, dialog controls and
// timers, with named helpers for the controls laid out in grids. The only place these numbers are written.
#pragma once
#include "platform/ui.h"  // IDOK, IDCANCEL: the standard buttons some dialogs use as control ids

// ---- Plot windows --------------------------------------------------------------------------------
constexpr int WND_PULSES = 0;
constexpr int WND_RATE_TIME = 1;
constexpr int WND_RATE_HIST = 2;
constexpr int WND_INTERVAL = 3;
constexpr int WND_WIDTH = 4;
constexpr int WND_HEIGHT = 5;
constexpr int WND_AUDIO_INPUT = 6;

// ---- Menu commands -------------------------------------------------------------------------------
constexpr int IDM_OPEN = 32770;
constexpr int IDM_LOAD_DATA = 32771;
constexpr int IDM_OBTAIN_SHAPE = 32772;
constexpr int IDM_SAVE = 32773;
constexpr int IDM_EXPORT_RATE_TIME = 32774;
constexpr int IDM_EXPORT_RATE_HIST = 32775;
constexpr int IDM_EXPORT_INTERVAL = 32776;
constexpr int IDM_EXPORT_WIDTH = 32777;
constexpr int IDM_EXPORT_HEIGHT = 32778;
constexpr int IDM_EXPORT_HEIGHT_TIME = 32779;
constexpr int IDM_EXPORT_ROI = 32780;
constexpr int IDM_EXPORT_ROI_TIME = 32781;
constexpr int IDM_EXPORT_COINCIDENT = 32782;
constexpr int IDM_EXIT = 32783;
constexpr int IDM_START = 32784;
constexpr int IDM_CONTINUE = 32785;
constexpr int IDM_STOP = 32786;
constexpr int IDM_START_SHAPE = 32787;
constexpr int IDM_SET_BACKGROUND = 32788;
constexpr int IDM_SOUND = 32789;
constexpr int IDM_VIEW_RATE_TIME = 32790;
constexpr int IDM_VIEW_RATE_HIST = 32791;
constexpr int IDM_VIEW_INTERVAL = 32792;
constexpr int IDM_VIEW_WIDTH = 32793;
constexpr int IDM_VIEW_HEIGHT = 32794;
constexpr int IDM_VIEW_AUDIO_INPUT = 32795;
constexpr int IDM_DAQ_SETTINGS = 32796;
constexpr int IDM_AUDIO_INTERFACE = 32797;
constexpr int IDM_PULSE_SHAPE = 32798;
constexpr int IDM_CALIBRATION = 32799;
constexpr int IDM_ADVANCED_FILTER = 32800;
constexpr int IDM_LOAD_SETTINGS = 32801;
constexpr int IDM_SAVE_SETTINGS = 32802;
constexpr int IDM_SAVE_SETTINGS_AS = 32803;
constexpr int IDM_HELP_TOPICS = 32804;
constexpr int IDM_ABOUT = 32805;
constexpr int IDM_INFORMATION = 32806;    // key Q; not in the menu
constexpr int IDM_WRITE_DATA_FILE = 32807;  // hourly and automatic saves; not in the menu
constexpr int IDM_OPEN_NAMED_FILE = 33000;  // a file named on the command line
// Spectrum exports in the exchange formats (File -> Export, after the nine text exports).
constexpr int IDM_EXPORT_N42 = 32810;
constexpr int IDM_EXPORT_NPES = 32811;
constexpr int IDM_EXPORT_SPE = 32812;
constexpr int IDM_EXPORT_SPECTRUM_CSV = 32813;
// Beyond the original set (new ids after the existing ones): the "Peaks and Nuclides" dialog (View).
constexpr int IDM_VIEW_PEAKS = 32808;
// The commands of the menu proper, IDM_OPEN to IDM_ABOUT.
constexpr int IDM_FIRST = IDM_OPEN;
constexpr int IDM_LAST = IDM_ABOUT;

// ---- Resources -----------------------------------------------------------------------------------
constexpr int IDI_PROGRAM = 101;
constexpr int IDR_MAIN_MENU = 109;

constexpr int IDD_ABOUT = 201;
constexpr int IDD_DAQ = 202;
constexpr int IDD_AUDIO_INTERFACE = 203;
constexpr int IDD_PULSE_SHAPE = 204;
constexpr int IDD_CALIBRATION = 205;
constexpr int IDD_ADVANCED_FILTER = 206;
constexpr int IDD_INFORMATION = 207;
constexpr int IDD_PEAKS = 208;
constexpr int IDD_FIRST = IDD_ABOUT;
constexpr int IDD_LAST = IDD_PEAKS;

// Command id a dialog receives to reload and re-apply its values.
constexpr int DIALOG_REAPPLY = 1100;

// Id of controls the program never addresses: labels, headings and group boxes.
constexpr int IDC_STATIC = -1;

// ---- "Data Acquisition and Analysis" (202) -------------------------------------------------------
// Edits of the 14 channel fields, in the order of the settings' channel fields.
constexpr int IDC_DAQ_MIN_HEIGHT = 1001;
constexpr int IDC_DAQ_MAX_DISTORTION = 1002;
constexpr int IDC_DAQ_CORRECTION = 1003;
constexpr int IDC_DAQ_BOOST_GAIN = 1004;
constexpr int IDC_DAQ_ACQUISITION_TIME = 1005;
constexpr int IDC_DAQ_MAX_PULSES = 1006;
constexpr int IDC_DAQ_BEGIN_TIME = 1007;
constexpr int IDC_DAQ_DURATION_TIME = 1008;
constexpr int IDC_DAQ_TIME_STEP = 1009;
constexpr int IDC_DAQ_RATE_BIN_SIZE = 1010;
constexpr int IDC_DAQ_INTERVAL_BIN_SIZE = 1011;
constexpr int IDC_DAQ_S_FOLD = 1012;
constexpr int IDC_DAQ_WIDTH_BIN_SIZE = 1013;
constexpr int IDC_DAQ_HEIGHT_BIN_SIZE = 1014;
// Check boxes of the 11 channel switches, in the order of the settings' channel options.
constexpr int IDC_DAQ_USE_SHAPE = 1020;
constexpr int IDC_DAQ_USE_ADVANCED_FILTER = 1021;
constexpr int IDC_DAQ_RATE_TIME_LOG = 1022;
constexpr int IDC_DAQ_RATE_HIST_LOG = 1023;
constexpr int IDC_DAQ_INTERVAL_LOG = 1024;
constexpr int IDC_DAQ_WIDTH_LOG = 1025;
constexpr int IDC_DAQ_SUBTRACT_BACKGROUND = 1026;
constexpr int IDC_DAQ_USE_CALIBRATION = 1027;
constexpr int IDC_DAQ_GAUSSIAN_CORRELATION = 1028;
constexpr int IDC_DAQ_HEIGHT_LOG = 1029;
constexpr int IDC_DAQ_SUM_QUANTITY = 1030;
constexpr int IDC_DAQ_CHANNEL_SELECTION = 1040;
constexpr int IDC_DAQ_COMMENTS = 1041;
constexpr int IDC_DAQ_APPLY = 6;

// Edit of channel field k (0-13) and check box of channel switch k (0-10).
constexpr int DaqEditId(int field) { return IDC_DAQ_MIN_HEIGHT + field; }
constexpr int DaqCheckId(int option) { return IDC_DAQ_USE_SHAPE + option; }

// ---- "Audio Interface" (203) ---------------------------------------------------------------------
constexpr int IDC_INPUT_DEVICE = 1601;
constexpr int IDC_INPUT_RATE = 1602;
constexpr int IDC_INPUT_BITS = 1603;
constexpr int IDC_INPUT_CHANNELS = 1604;
constexpr int IDC_INPUT_FORMAT = 1605;
constexpr int IDC_OUTPUT_DEVICE = 1606;
constexpr int IDC_OUTPUT_RATE = 1607;
constexpr int IDC_OUTPUT_BITS = 1608;
constexpr int IDC_OUTPUT_CHANNELS = 1609;
constexpr int IDC_OUTPUT_FORMAT = 1610;

// ---- "Pulse Shape" (204) -------------------------------------------------------------------------
constexpr int IDC_SHAPE_OK = IDOK;
constexpr int IDC_SHAPE_RESET = IDCANCEL;  // also what the dialog reports for the Escape key
constexpr int IDC_SHAPE_POINT = 1200;      // first point edit
constexpr int IDC_SHAPE_POINT_USED = 1400; // first point check box
constexpr int IDC_SHAPE_COPY_LEFT = 1530;
constexpr int IDC_SHAPE_PASTE_LEFT = 1531;
constexpr int IDC_SHAPE_COPY_RIGHT = 1532;
constexpr int IDC_SHAPE_PASTE_RIGHT = 1533;
constexpr int SHAPE_DIALOG_POINTS = 60;  // points per channel

// Edit and check box of point j (0-59) of channel c; Copy and Paste of channel c.
constexpr int ShapePointId(int c, int j) { return IDC_SHAPE_POINT + SHAPE_DIALOG_POINTS * c + j; }
constexpr int ShapePointUsedId(int c, int j) { return IDC_SHAPE_POINT_USED + SHAPE_DIALOG_POINTS * c + j; }
constexpr int ShapeCopyId(int c) { return IDC_SHAPE_COPY_LEFT + 2 * c; }
constexpr int ShapePasteId(int c) { return IDC_SHAPE_PASTE_LEFT + 2 * c; }

// ---- "Calibration" (205) -------------------------------------------------------------------------
constexpr int IDC_CALIBRATION_FIRST_EDIT = 1700;
constexpr int IDC_CALIBRATION_CHANNEL_STRIDE = 48;  // 16 rows of 3 values
constexpr int IDC_CALIBRATION_UNITS_LEFT = 1796;
constexpr int IDC_CALIBRATION_MODE_LEFT = 1797;
constexpr int IDC_CALIBRATION_CLEAR_LEFT = 1798;
constexpr int IDC_CALIBRATION_COPY_LEFT = 1799;
constexpr int IDC_CALIBRATION_PASTE_LEFT = 1800;
// The right channel's unit edit, combo and buttons follow at this distance from the left ones.
constexpr int IDC_CALIBRATION_RIGHT_SHIFT = 5;
constexpr int IDC_CALIBRATION_APPLY = 1806;

// Edit of one table value of channel c, row 0-15; field 0 mean, 1 sd, 2 quantity.
constexpr int CalibrationEditId(int c, int row, int field) {
    return IDC_CALIBRATION_FIRST_EDIT + IDC_CALIBRATION_CHANNEL_STRIDE * c + 3 * row + field;
}
// The per-channel control whose left-channel id is `leftId` (units, mode, Clear, Copy, Paste).
constexpr int CalibrationChannelId(int leftId, int c) { return leftId + IDC_CALIBRATION_RIGHT_SHIFT * c; }

// ---- "Advanced Pulse Filter" (206) ---------------------------------------------------------------
constexpr int IDC_FILTER_LIMIT_FIRST = 1900;   // edits 1900-1905 left, 1906-1911 right
constexpr int IDC_FILTER_ENABLE_FIRST = 1920;  // check boxes 1920-1922 left, 1923-1925 right
constexpr int IDC_FILTER_APPLY = 6;

// Limit edit of channel c, quantity q (0 height, 1 distortion, 2 width), minimum (0) or maximum (1);
// enable check box of channel c, quantity q.
constexpr int FilterLimitId(int c, int q, int maximum) { return IDC_FILTER_LIMIT_FIRST + 6 * c + 2 * q + maximum; }
constexpr int FilterEnableId(int c, int q) { return IDC_FILTER_ENABLE_FIRST + 3 * c + q; }

// ---- "Information" (207) -------------------------------------------------------------------------
constexpr int IDC_INFORMATION_TEXT = 1900;

// ---- "Peaks and Nuclides" (208) ------------------------------------------------------------------
constexpr int IDC_PEAKS_TEXT = 2080;
constexpr int IDC_PEAKS_REFRESH = 2081;
constexpr int IDC_PEAKS_COPY = 2082;

// ---- Timers (window 0) ---------------------------------------------------------------------------
constexpr int TIMER_WATCHDOG = 1;
constexpr int TIMER_HOURLY = 2;
constexpr int TIMER_RESTART = 3;
