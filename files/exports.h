// The nine tab-separated text exports.
#pragma once

// Runs the export of one of the commands 32774-32782 (asks for the file name).
void ExportCommand(int window, int command);
