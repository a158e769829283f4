// The About dialog and the Information dialog (the legend of a plot window, for copying).
#pragma once

#include "core/ids.h"

void OpenAboutDialog(int owner);
void OpenInformationDialog(int window);
