// The File -> Export commands that write the height spectrum in the exchange formats of other
// gamma-spectroscopy programs: N42 XML, NPES JSON, IAEA SPE and CSV.
#pragma once
#include <string>

// Runs one of the commands IDM_EXPORT_N42 to IDM_EXPORT_SPECTRUM_CSV: asks for the file name and
// writes the file (replaced only when complete; a failure is reported). SPE and CSV hold one
// spectrum, that of the analysed channel; its stored background, when one is set, goes into a second
// file beside it, named like the first with "-background" before the extension.
void SpectrumExportCommand(int window, int command);

// The background file's path for an export path: "dir/name-background.ext".
std::string BackgroundFilePath(const std::string& path);
