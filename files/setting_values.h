// Every field of a settings record as the text "settings show" prints and "--set" reads back: the
// keys in record order and each field's value in the units the dialogs show (arb.u, µs, s, keV),
// written so that the dialog that reads the text back stores the same bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/settings.h"
#include "files/setting_names.h"

// Every key of the record in record order; of the regions of interest only the used slots.
std::vector<SettingKey> SettingKeysInRecordOrder(const SettingsRecord& record);

// The value of one field as printed, with the width limits in µs at `sampleRate`.
std::string FormatSettingValue(const SettingsRecord& record, const SettingKey& key, uint32_t sampleRate);

// Whether the assignment leaves the field as it is: its text is the printed value, or its numbers
// are those the field holds (read the way the field's dialog reads them).
bool SettingUnchanged(const SettingsRecord& record, const SettingAssignment& a, uint32_t sampleRate);

// Record units per dialog unit of a filter limit (0-5: height, distortion, width min/max).
double FilterLimitScale(int limit, uint32_t sampleRate);
