// The nine tab-separated text exports.
#pragma once

// Runs the export of one of the export commands IDM_EXPORT_RATE_TIME to IDM_EXPORT_COINCIDENT (asks for the file name).
void ExportCommand(int window, int command);
