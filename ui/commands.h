// Command ids of the menu, keys, timers and start-up, window indices, and the command dispatcher.
#pragma once
#include <vector>

constexpr int WND_PULSES = 0;
constexpr int WND_RATE_TIME = 1;
constexpr int WND_RATE_HIST = 2;
constexpr int WND_INTERVAL = 3;
constexpr int WND_WIDTH = 4;
constexpr int WND_HEIGHT = 5;
constexpr int WND_AUDIO_INPUT = 6;

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
constexpr int IDM_INFORMATION = 32806;
constexpr int IDM_WRITE_DATA_FILE = 32807;
constexpr int IDM_OPEN_NAMED_FILE = 33000;

// Dialog resource ids.
constexpr int IDD_ABOUT = 201;
constexpr int IDD_DAQ = 202;
constexpr int IDD_AUDIO_INTERFACE = 203;
constexpr int IDD_PULSE_SHAPE = 204;
constexpr int IDD_CALIBRATION = 205;
constexpr int IDD_ADVANCED_FILTER = 206;
constexpr int IDD_INFORMATION = 207;

// Command id a dialog receives to reload and re-apply its values.
constexpr int DIALOG_REAPPLY = 1100;

// Runs a command synchronously, as if the window had received it. Only the low 16 bits are the id.
void SendCommand(int window, int command);

// Every command the dispatcher received, in order (for the tests and the batch tool's trace).
const std::vector<int>& DispatchedCommands();
void ResetDispatcher();
