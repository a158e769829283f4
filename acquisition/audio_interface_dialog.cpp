// The "Audio Interface" dialog procedure: selections are stored at once, OK validates, Cancel restores.
#include "acquisition/audio_interface_dialog.h"

#include <cstdio>
#include <cstring>

#include "acquisition/audio_interface.h"
#include "acquisition/click_output.h"
#include "acquisition/pulse_store.h"
#include "core/run_state.h"
#include "core/settings.h"
#include "platform/audio.h"

namespace {
constexpr size_t AUDIO_BYTES = 32;
unsigned char savedAudioBytes[AUDIO_BYTES];

const char* const BITS_TEXTS[3] = {"16", "24", "32"};
const char* const FORMAT_TEXTS[2] = {"PCM", "PCM Ext"};
const char* const CHANNEL_TEXTS[3] = {"Left", "Right", "Left & Right"};

void FillList(int dialog, int control, const char* const* texts, int count, int selected) {
    ClearComboBox(dialog, control);
    for (int i = 0; i < count; ++i) AddComboBoxItem(dialog, control, texts[i]);
    SetComboBoxSelection(dialog, control, selected);
}

void FillRates(int dialog, int control, int selected) {
    ClearComboBox(dialog, control);
    char text[16];
    for (uint32_t rate : sampleRateTable) {
        std::snprintf(text, sizeof(text), "%u", rate);
        AddComboBoxItem(dialog, control, text);
    }
    SetComboBoxSelection(dialog, control, selected);
}

void FillDevices(int dialog, int control, int count, bool (*name)(int, char*, int), uint32_t selected) {
    ClearComboBox(dialog, control);
    char text[256];
    for (int device = 0; device < count; ++device)
        if (name(device, text, sizeof(text))) AddComboBoxItem(dialog, control, text);
    SetComboBoxSelection(dialog, control, static_cast<int>(selected));
}

void Initialise(int dialog) {
    EnsureAudioValidated();
    std::memcpy(savedAudioBytes, &settings, AUDIO_BYTES);
    FillDevices(dialog, IDC_INPUT_DEVICE, AudioInputDeviceCount(), AudioInputDeviceName, settings.inputDevice);
    FillRates(dialog, IDC_INPUT_RATE, settings.inputRateIndex);
    FillList(dialog, IDC_INPUT_BITS, BITS_TEXTS, 3, settings.inputBitsCode);
    FillList(dialog, IDC_INPUT_CHANNELS, CHANNEL_TEXTS, 3, static_cast<int>(settings.inputChannels));
    FillList(dialog, IDC_INPUT_FORMAT, FORMAT_TEXTS, 2, settings.inputFormat);
    FillDevices(dialog, IDC_OUTPUT_DEVICE, AudioOutputDeviceCount(), AudioOutputDeviceName, settings.outputDevice);
    FillRates(dialog, IDC_OUTPUT_RATE, settings.outputRateIndex);
    FillList(dialog, IDC_OUTPUT_BITS, BITS_TEXTS, 3, settings.outputBitsCode);
    FillList(dialog, IDC_OUTPUT_CHANNELS, CHANNEL_TEXTS, 3, static_cast<int>(settings.outputChannels));
    FillList(dialog, IDC_OUTPUT_FORMAT, FORMAT_TEXTS, 2, settings.outputFormat);
}

void StoreSelection(int dialog, int control) {
    int position = GetComboBoxSelection(dialog, control);
    if (position < 0) return;
    uint32_t u = static_cast<uint32_t>(position);
    switch (control) {
        case IDC_INPUT_DEVICE: settings.inputDevice = u; break;
        case IDC_INPUT_RATE: if (position <= 7) settings.inputRateIndex = position; break;
        case IDC_INPUT_BITS: if (position <= 2) settings.inputBitsCode = static_cast<uint16_t>(u); break;
        case IDC_INPUT_CHANNELS: if (position <= 2) settings.inputChannels = u; break;
        case IDC_INPUT_FORMAT: if (position <= 1) settings.inputFormat = static_cast<uint16_t>(u); break;
        case IDC_OUTPUT_DEVICE: settings.outputDevice = u; break;
        case IDC_OUTPUT_RATE: if (position <= 7) settings.outputRateIndex = position; break;
        case IDC_OUTPUT_BITS: if (position <= 2) settings.outputBitsCode = static_cast<uint16_t>(u); break;
        case IDC_OUTPUT_CHANNELS: if (position <= 2) settings.outputChannels = u; break;
        case IDC_OUTPUT_FORMAT: if (position <= 1) settings.outputFormat = static_cast<uint16_t>(u); break;
        default: break;
    }
}

void Cancel(int dialog) {
    std::memcpy(&settings, savedAudioBytes, AUDIO_BYTES);
    ValidateAudioFormats();
    BuildClickTones();
    EndDialog(dialog, IDCANCEL);
}
}  // namespace

bool AudioInterfaceDialogProcedure(int dialog, DialogEvent event, int control) {
    switch (event) {
        case DLG_INIT:
            Initialise(dialog);
            return true;
        case DLG_SELECTION_CHANGE:
            StoreSelection(dialog, control);
            return true;
        case DLG_CLOSE:
            Cancel(dialog);
            return true;
        case DLG_COMMAND:
            if (control == IDOK) {
                ValidateAudioFormats();
                if (runState & RS_INPUT_READY) {
                    BuildClickTones();
                    AllocatePulseStore(false, true);
                    EndDialog(dialog, IDOK);
                } else {
                    ShowMessage("Not supported input format", MB_ICONHAND);
                }
            } else if (control == IDCANCEL) {
                Cancel(dialog);
            }
            return true;
        default:
            return false;
    }
}
