// The peak part of tik-cli's results: the "peaks", "nuclides" and "statistics" members of the
// summary and the tab-separated peak table of --export peaks=FILE.
#pragma once
#include <string>

// The three members as JSON text, starting with a comma (to follow the summary's other members).
std::string PeakSummaryMembers();

// Writes the peak table (one row per peak with its candidate nuclides); false when it cannot be written.
bool WritePeakTable(const std::string& path);

// Builds the report once per run and reports library and settings problems on standard error.
void PreparePeakReport();
