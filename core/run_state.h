// The run-state word: one program-wide 32-bit word of named bits, and the menu rule table that
// enables, grays and checks the menu commands from it.
#pragma once
#include <cstdint>

constexpr uint32_t RS_READY = 0x00000001;
constexpr uint32_t RS_FILES_ALLOWED = 0x00000002;
constexpr uint32_t RS_DAQ_DIALOG_OPEN = 0x00000004;
constexpr uint32_t RS_ACQUIRING = 0x00000008;
constexpr uint32_t RS_SOUND_ON = 0x00000010;
constexpr uint32_t RS_PULSE_OPEN_LEFT = 0x00000020;
constexpr uint32_t RS_PULSE_OPEN_RIGHT = 0x00000040;
constexpr uint32_t RS_LIMIT_REACHED = 0x00000080;
constexpr uint32_t RS_DATA_READY = 0x00000100;
constexpr uint32_t RS_INPUT_READY = 0x00000200;
constexpr uint32_t RS_OUTPUT_READY = 0x00000400;
constexpr uint32_t RS_RESTART_UNCONFIRMED = 0x00000800;
constexpr uint32_t RS_ROI_SUM = 0x00001000;
constexpr uint32_t RS_CLOSING = 0x00002000;
constexpr uint32_t RS_SHAPE_DIALOG_OPEN = 0x00004000;
constexpr uint32_t RS_SHAPE_ACQUISITION = 0x00008000;
constexpr uint32_t RS_FILE_REPLAY = 0x00010000;
constexpr uint32_t RS_ROI_BEGIN_SET = 0x00020000;
constexpr uint32_t RS_ROI_END_SET = 0x00040000;
constexpr uint32_t RS_CALIBRATION_DIALOG_OPEN = 0x00080000;
constexpr uint32_t RS_FILTER_DIALOG_OPEN = 0x00100000;
constexpr uint32_t RS_FOLLOW_LATEST = 0x00200000;
constexpr uint32_t RS_RATE_TIME_CHANGED = 0x00400000;
constexpr uint32_t RS_INTERVAL_CHANGED = 0x00800000;
constexpr uint32_t RS_HEIGHT_CHANGED = 0x01000000;
constexpr uint32_t RS_WIDTH_CHANGED = 0x02000000;
constexpr uint32_t RS_RATE_HIST_CHANGED = 0x04000000;
constexpr uint32_t RS_RECOMPUTING = 0x08000000;
constexpr uint32_t RS_INPUT_FREE_RUN = 0x10000000;
constexpr uint32_t RS_AUTOSAVE = 0x20000000;
constexpr uint32_t RS_HOURLY_SAVE = 0x40000000;
constexpr uint32_t RS_AUTO_RESTART = 0x80000000;

constexpr uint32_t RUN_STATE_INITIAL = RS_FILES_ALLOWED;

// The run-state word; only the user-interface thread reads and writes it.
extern uint32_t runState;

// Brings the menu into line with the word: touches an item only when its enabled state changes,
// sets both check marks every call, then redraws the menu bar.
void UpdateMenuState();

// Forgets what the menu was last set to (every item counted as grayed, as the menu is loaded).
void ResetMenuState();

// Resets the word and the menu records to their start-up values.
void ResetRunState();
