// The run-state word and the menu rule table.
#include "core/run_state.h"

#include "core/ids.h"
#include "platform/ui.h"

uint32_t runState = RUN_STATE_INITIAL;

namespace {
struct MenuRule {
    uint32_t command;
    uint32_t requiredMask;
    uint8_t enabled;
};

constexpr int MENU_RULE_COUNT = IDM_LAST - IDM_FIRST + 1;

// One rule per menu command IDM_FIRST to IDM_LAST, in order.
constexpr uint32_t REQUIRED_MASKS[MENU_RULE_COUNT] = {
    RS_FILES_ALLOWED, RS_FILES_ALLOWED, RS_FILES_ALLOWED,           // Open, Load Data, Obtain Pulse Shape
    RS_DATA_READY,                                                  // Save
    RS_DATA_READY, RS_DATA_READY, RS_DATA_READY, RS_DATA_READY,     // exports
    RS_DATA_READY, RS_DATA_READY, RS_DATA_READY, RS_DATA_READY, RS_DATA_READY,
    0,                                                              // Exit
    RS_INPUT_READY, RS_INPUT_READY,                                 // Start, Continue
    RS_ACQUIRING,                                                   // Stop
    RS_INPUT_READY,                                                 // Start Pulse Shape Acquisition
    RS_DATA_READY,                                                  // Set Data As Background
    RS_ACQUIRING,                                                   // Sound On/Off
    0, 0, 0, 0, 0, 0,                                               // View
    0,                                                              // Data Acquisition and Analysis
    RS_INPUT_READY, RS_INPUT_READY,                                 // Audio Interface, Pulse Shape
    0, 0,                                                           // Calibration, Advanced Filter
    RS_INPUT_READY,                                                 // Load Settings
    0, 0, 0, 0};                                                    // Save Settings (As), Help, About

// Commands added after the original table, with their required masks: the spectrum exports follow
// the rule of the height export.
constexpr MenuRule ADDED_RULES[] = {{IDM_EXPORT_N42, RS_DATA_READY, 0},
                                    {IDM_EXPORT_NPES, RS_DATA_READY, 0},
                                    {IDM_EXPORT_SPE, RS_DATA_READY, 0},
                                    {IDM_EXPORT_SPECTRUM_CSV, RS_DATA_READY, 0},
                                    {IDM_VIEW_PEAKS, 0, 0}};  // Peaks and Nuclides: always available
constexpr int ADDED_RULE_COUNT = static_cast<int>(sizeof(ADDED_RULES) / sizeof(ADDED_RULES[0]));

MenuRule rules[MENU_RULE_COUNT + ADDED_RULE_COUNT];
}  // namespace

void ResetMenuState() {
    for (int i = 0; i < MENU_RULE_COUNT; ++i) rules[i] = {static_cast<uint32_t>(IDM_FIRST + i), REQUIRED_MASKS[i], 0};
    for (int i = 0; i < ADDED_RULE_COUNT; ++i) rules[MENU_RULE_COUNT + i] = ADDED_RULES[i];
}

void ResetRunState() {
    runState = RUN_STATE_INITIAL;
    ResetMenuState();
}

void UpdateMenuState() {
    if (rules[0].command == 0) ResetMenuState();
    for (MenuRule& rule : rules) {
        bool holds = (runState & rule.requiredMask) == rule.requiredMask;
        if (holds && rule.enabled == 0) {
            EnableMenuItem(static_cast<int>(rule.command & 0xFFFF), true);
            rule.enabled = 1;
        } else if (!holds && rule.enabled == 1) {
            EnableMenuItem(static_cast<int>(rule.command & 0xFFFF), false);
            rule.enabled = 0;
        }
    }
    CheckMenuItem(IDM_SOUND, (runState & RS_SOUND_ON) != 0);
    CheckMenuItem(IDM_SAVE, (runState & RS_HOURLY_SAVE) != 0);
    RedrawMenuBar();
}
