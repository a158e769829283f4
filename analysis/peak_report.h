// Peaks, nuclides and counting statistics of the data in memory: per channel the height spectrum of
// the selected pulses is searched and fitted, the peaks are matched to the nuclide library, and the
// counts per time step and the intervals are tested against their expected distributions.
//
// Files (all plain text; the settings record and the data file are not touched):
// - Search settings beside the settings file: its path with "-peaks.txt" in place of ".ini"
//   (tik.ini -> tik-peaks.txt), lines "significance=3", "tolerance=0.5", "library=PATH"; '#' comments.
// - The nuclide library, the first that exists of: the "library" setting; nuclides.txt beside the
//   executable; nuclides.txt in the program's data folder (GetProgramFolders: resources/ of the sources
//   for a run from the build folder, <prefix>/share/tik once installed).
// - The user's own lines beside the settings file: its path with "-nuclides.txt" in place of ".ini".
#pragma once
#include <string>
#include <vector>

#include "analysis/counting_statistics.h"
#include "analysis/nuclide_library.h"
#include "analysis/peak_search.h"

struct PeakSettings {
    double significance = 3.0;  // net area over its uncertainty
    double tolerance = 0.5;     // line match window, in peak FWHMs
    std::string libraryFile;    // empty: the default search path
};

extern PeakSettings peakSettings;
extern std::vector<NuclideLine> nuclideLibrary;
extern std::string nuclideLibraryPath;  // the library file read (empty when none was found)
extern std::string peakLoadProblems;     // what the last LoadPeakSettingsAndLibrary reported

std::string PeakSettingsPath();
std::string UserNuclidesPath();

// Reads the search settings (defaults for what the file lacks; no file gives the defaults) and the
// library with the user's lines. Problems (unreadable library, malformed lines, bad settings values)
// are returned as text lines; the rest is used.
std::string LoadPeakSettingsAndLibrary();
// Loads them as above unless they were loaded already; every peak report does this first.
void EnsurePeakSettingsLoaded();

struct PeakRow {
    FittedPeak fit;            // in bins
    double centroid = 0.0;     // arb.u
    double fwhm = 0.0;         // arb.u
    double energy = 0.0;       // keV, with calibration
    double fwhmEnergy = 0.0;   // keV, with calibration
    double resolution = 0.0;   // FWHM / centroid in %, in keV with calibration
    double netRate = 0.0;      // 1/s
    std::vector<std::string> nuclides;  // best first
};

struct ChannelReport {
    int channel = 0;
    bool calibrated = false;
    double seconds = 0.0;  // analysed time
    std::vector<PeakRow> peaks;
    std::vector<NuclideScore> nuclides;
    RateStatistics rate;
    IntervalFit interval;
    double measuredRate = 0.0;       // selected pulses per second
    bool hasDeadTimeEstimate = false;  // the interval window's estimate (analysed channel only)
    double deadTimeEstimate = 0.0;     // µs
};

extern std::vector<ChannelReport> peakReport;

// Channels analysed: those of the input channel setting (both for "Left & Right").
void BuildPeakReport();

// The report as tab-separated text (CR LF lines): peaks, nuclides and statistics of each channel.
std::string PeakReportText();

// One row per peak with its candidates, after a header line (the "peaks" export).
std::string PeakRowsText();

// Height spectrum of the channel's selected pulses (background subtracted with the channel's switch)
// with the variance of each bin.
void ChannelSpectrum(int channel, std::vector<double>* counts, std::vector<double>* variance);

void ResetPeakReportState();
