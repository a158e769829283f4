// The messages of the file commands: the one error of the readers, and the reports of a file that
// could not be written or read.
#pragma once

// Shown for every structural problem of a data file or WAV file (stop icon, no owner).
constexpr const char* WRONG_FORMAT_MESSAGE = "Wrong format or file is corrupted";

// Shows "File could not be written:" with the path (stop icon, no owner).
void ReportWriteFailure(const char* path);

// Shows "File could not be read:" with the path (stop icon, no owner).
void ReportReadFailure(const char* path);
