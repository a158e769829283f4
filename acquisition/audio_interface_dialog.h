// The "Audio Interface" dialog: input and output device, format, rate, bits and channels.
#pragma once
#include "core/ids.h"
#include "platform/ui.h"

bool AudioInterfaceDialogProcedure(int dialog, DialogEvent event, int control);
