// The About dialog and the Information dialog (the legend of a plot window, for copying).
#pragma once

constexpr int IDC_INFORMATION_TEXT = 1900;

void OpenAboutDialog(int owner);
void OpenInformationDialog(int window);
