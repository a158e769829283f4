// The pulse store: allocation with its question and messages, and ClearAcquisition.
#include "acquisition/pulse_store.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/ids.h"
#include "core/number_text.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "core/upcalls.h"
#include "core/view_state.h"
#include "platform/ui.h"

PulseRecord* pulseStore = nullptr;
uint32_t storeSize = 0;
uint32_t pulseCapacity[2] = {0, 0};
uint32_t pulseCount[2] = {0, 0};
uint32_t bufferFirstPulse[2] = {0, 0};
int64_t sampleClock = 0;
double acquisitionSeconds = 0.0;

namespace {
uint64_t allocationLimit = 0;

PulseRecord* AllocateRecords(uint64_t records) {
    if (records == 0 || (allocationLimit != 0 && records > allocationLimit)) return nullptr;
    if (records > SIZE_MAX / sizeof(PulseRecord)) return nullptr;
    return static_cast<PulseRecord*>(std::malloc(static_cast<size_t>(records) * sizeof(PulseRecord)));
}

void ReleaseStore() {
    std::free(pulseStore);
    pulseStore = nullptr;
    storeSize = 0;
}

// Shows the channel's capacity in the "Max pulses " field of the open acquisition dialog.
void ShowCapacityInDialog(int shownChannel) {
    if (runState & RS_DAQ_DIALOG_OPEN) WriteDialogNumber(IDD_DAQ, IDC_DAQ_MAX_PULSES, pulseCapacity[shownChannel], 0);
}

void PutSettingsBack(int shownChannel) {
    for (int c = 0; c < 2; ++c) settings.channel[c].maxPulses = pulseCapacity[c];
    ShowCapacityInDialog(shownChannel);
}

uint32_t CapacityFromSetting(int c) {
    double value = settings.channel[c].maxPulses;
    if (!(value >= 0.0)) value = 0.0;
    if (value > MAX_PULSES_PER_CHANNEL) value = MAX_PULSES_PER_CHANNEL;
    settings.channel[c].maxPulses = value;
    return static_cast<uint32_t>(value);
}
}  // namespace

bool AllocatePulseStore(bool force, bool askAndClear) {
    int shown = settings.channelSelection >= 3 ? 1 : 0;
    if (!force) {
        if (settings.channel[0].maxPulses + settings.channel[1].maxPulses <= static_cast<double>(storeSize))
            return true;
        if (runState & RS_ACQUIRING) {
            PutSettingsBack(shown);
            ShowMessage("Error allocating required memory during data acquisition,\n"
                        "please stop data acquisition and try again.",
                        MB_ICONHAND);
            return true;
        }
        if (askAndClear && ShowMessage("Allocating new memory for pulses,\nall data will be lost.\nProceed?",
                                       MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
            PutSettingsBack(shown);
            return true;
        }
    }
    ReleaseStore();
    pulseCapacity[0] = CapacityFromSetting(0);
    pulseCapacity[1] = CapacityFromSetting(1);
    uint64_t records = static_cast<uint64_t>(pulseCapacity[0]) + pulseCapacity[1];
    pulseStore = AllocateRecords(records);
    if (pulseStore) {
        storeSize = static_cast<uint32_t>(records);
    } else {
        ShowMessage("Memory allocation error, setting default.", MB_ICONHAND);
        pulseCapacity[0] = pulseCapacity[1] = DEFAULT_PULSES_PER_CHANNEL;
        settings.channel[0].maxPulses = settings.channel[1].maxPulses = DEFAULT_PULSES_PER_CHANNEL;
        pulseStore = AllocateRecords(2ull * DEFAULT_PULSES_PER_CHANNEL);
        if (!pulseStore) {
            pulseCapacity[0] = pulseCapacity[1] = 0;
            pulseCount[0] = pulseCount[1] = 0;
            ShowMessage("Default memory not allocated, terminating TIK.", MB_ICONHAND);
            SendCommand(WND_PULSES, IDM_EXIT);
            return false;
        }
        storeSize = 2 * DEFAULT_PULSES_PER_CHANNEL;
    }
    // Counts never exceed the new capacities, whatever happens next.
    for (int c = 0; c < 2; ++c)
        if (pulseCount[c] > pulseCapacity[c]) pulseCount[c] = pulseCapacity[c];
    ShowCapacityInDialog(shown);
    if (askAndClear) ClearAcquisition();
    return true;
}

void ClearAcquisition() {
    ForgetPlotWindowData();
    sampleClock = 0;
    pulseCount[0] = pulseCount[1] = 0;
    // Also the marks and the seconds derived from the old data, so that nothing reads them as new.
    bufferFirstPulse[0] = bufferFirstPulse[1] = 0;
    acquisitionSeconds = 0.0;
    ResetPulsesView();
    RestorePlainTitles();
    runState &= ~RS_RESTART_UNCONFIRMED;
    settings.comments[0] = '\0';
}

void ResetPulseStoreState() {
    ReleaseStore();
    pulseCapacity[0] = pulseCapacity[1] = 0;
    pulseCount[0] = pulseCount[1] = 0;
    bufferFirstPulse[0] = bufferFirstPulse[1] = 0;
    sampleClock = 0;
    acquisitionSeconds = 0.0;
    allocationLimit = 0;
}

void SetPulseStoreAllocationLimit(uint64_t records) { allocationLimit = records; }
