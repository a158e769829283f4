// The "Audio Interface" dialog: input and output device, format, rate, bits and channels.
#pragma once
#include "platform/ui.h"

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

bool AudioInterfaceDialogProcedure(int dialog, DialogEvent event, int control);
