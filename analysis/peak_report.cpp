// Peaks, nuclides and counting statistics of the data in memory: settings and library files, the
// per-channel spectra, steps and intervals, and the report's text forms.
#include "analysis/peak_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <future>
#include <sstream>
#include <system_error>

#include "acquisition/pulse_store.h"
#include "analysis/calibration.h"
#include "analysis/height_spectrum.h"
#include "analysis/histograms.h"
#include "analysis/selection.h"
#include "analysis/series.h"
#include "core/settings.h"
#include "platform/system.h"

PeakSettings peakSettings;
std::vector<NuclideLine> nuclideLibrary;
std::string nuclideLibraryPath;
std::string peakLoadProblems;
std::vector<ChannelReport> peakReport;

namespace {
// The files are read at the first peak work rather than at start-up, which most runs never reach.
bool peakFilesLoaded = false;
constexpr double FWHM_PER_SIGMA = 2.3548200450309493;
constexpr const char* LIBRARY_NAME = "nuclides.txt";
// Without calibration points the expected line width is 3 % (sigma) of the height at 50 arb.u,
// growing with the square root of the height.
constexpr double FALLBACK_WIDTH_B = 0.03 * 50.0 / 7.0710678118654755;

std::string BesideSettings(const char* suffix) {
    std::string path = SettingsFilePath();
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.resize(dot);
    return path + suffix;
}

bool ReadText(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    *text = buffer.str();
    return !in.bad();
}

std::string Directory(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Reads "name=value" lines into peakSettings; returns the problems found.
std::string ParsePeakSettings(const std::string& text, const std::string& path) {
    std::string problems;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        size_t equals = line.find('=');
        std::string name = equals == std::string::npos ? line : Trim(line.substr(0, equals));
        std::string value = equals == std::string::npos ? "" : Trim(line.substr(equals + 1));
        char* end = nullptr;
        double number_value = std::strtod(value.c_str(), &end);
        bool numeric = !value.empty() && end == value.c_str() + value.size() && std::isfinite(number_value);
        if (name == "library" && !value.empty()) {
            peakSettings.libraryFile = value;
        } else if (name == "significance" && numeric && number_value > 0.0 && number_value <= 100.0) {
            peakSettings.significance = number_value;
        } else if (name == "tolerance" && numeric && number_value > 0.0 && number_value <= 10.0) {
            peakSettings.tolerance = number_value;
        } else {
            problems += path + ":" + std::to_string(number) + ": not used: " + line + "\n";
        }
    }
    return problems;
}

std::string LibraryFile() {
    std::vector<std::string> places;
    if (!peakSettings.libraryFile.empty()) return peakSettings.libraryFile;
    places.push_back(Directory(ModulePath()) + "/" + LIBRARY_NAME);
    places.push_back(GetProgramFolders().data + "/" + LIBRARY_NAME);
    for (const std::string& place : places) {
        std::ifstream probe(place);
        if (probe) return place;
    }
    return "";
}

std::string ReadLibraryFile(const std::string& path) {
    std::string text;
    if (!ReadText(path, &text)) return "cannot read the nuclide library " + path + "\n";
    std::vector<int> bad;
    ParseNuclideLines(text, &nuclideLibrary, &bad);
    std::string problems;
    for (int line : bad) problems += path + ":" + std::to_string(line) + ": not a line NAME ENERGY INTENSITY\n";
    return problems;
}

bool Calibrated(int c) { return settings.options[c].useCalibration && calibrationValid[c]; }

double BinSize(int c) { return SnappedHeightBinSize(c); }

// Bin units to keV (or the calibrated quantity).
double EnergyOf(int c, double bins) { return Calibrate(c, bins * BinSize(c), false); }

PeakWidthModel WidthModel(int c) {
    double a = 0.0, b = FALLBACK_WIDTH_B;
    double fitA = 0.0, fitB = 0.0;
    if (PeakWidthParameters(c, &fitA, &fitB) && (fitA > 0.0 || fitB > 0.0)) {
        a = fitA;
        b = fitB;
    }
    double h = BinSize(c);
    return {a / h, b / std::sqrt(h)};
}

// The analysed time of a channel: its time window within the acquired time, in samples.
void AnalysedTime(int c, int64_t* begin, int64_t* end) {
    *begin = workingParameters[c][FIELD_BEGIN_TIME];
    *end = std::min(*begin + workingParameters[c][FIELD_DURATION_TIME], sampleClock);
    *begin = std::max<int64_t>(0, *begin);
    if (*end < *begin) *end = *begin;
}

void CountStatistics(int c, ChannelReport* report) {
    int64_t begin = 0, end = 0;
    AnalysedTime(c, &begin, &end);
    int64_t step = std::max<int64_t>(1, workingParameters[c][FIELD_TIME_STEP]);
    int64_t steps = (end - begin) / step;
    std::vector<int64_t> perStep(static_cast<size_t>(std::max<int64_t>(0, steps)), 0);
    int64_t binSize = std::max<int64_t>(1, workingParameters[c][FIELD_INTERVAL_BIN_SIZE]);
    std::vector<double> intervals(HISTOGRAM_LENGTH, 0.0);
    int64_t selected = 0, previous = -1;
    for (uint32_t i = 0; i < pulseCount[c]; ++i) {
        if (!IsPulseSelected(c, i)) continue;
        int64_t t = Pulse(c, i).time;
        ++selected;
        int64_t k = (t - begin) / step;
        if (k >= 0 && k < steps) ++perStep[static_cast<size_t>(k)];
        if (previous >= 0 && t >= previous) {
            int64_t bin = std::min<int64_t>((t - previous) / binSize, HISTOGRAM_LENGTH - 1);
            intervals[static_cast<size_t>(bin)] += 1.0;
        }
        previous = t;
    }
    report->rate = AnalyseCountsPerStep(perStep);
    double rate = dataSampleRate > 0 ? static_cast<double>(dataSampleRate) : 1.0;
    report->measuredRate = report->seconds > 0.0 ? static_cast<double>(selected) / report->seconds : 0.0;
    // The last bin collects every longer interval: not part of the exponential.
    intervals.back() = 0.0;
    report->interval = FitIntervalExponential(intervals, static_cast<double>(binSize) / rate, report->measuredRate);
    if (c == AnalysedChannel()) report->hasDeadTimeEstimate = EstimateDeadTime(&report->deadTimeEstimate);
}

void AnalyseChannel(int c, ChannelReport* report) {
    report->channel = c;
    report->calibrated = Calibrated(c);
    int64_t begin = 0, end = 0;
    AnalysedTime(c, &begin, &end);
    report->seconds = dataSampleRate > 0 ? static_cast<double>(end - begin) / dataSampleRate : 0.0;

    std::vector<double> counts, variance;
    ChannelSpectrum(c, &counts, &variance);
    PeakSearchOptions options;
    options.significance = peakSettings.significance;
    // Below the detection threshold nothing was recorded; the last bin collects every higher pulse.
    double threshold = std::max(0.0, settings.channel[c].minHeight) / BinSize(c);
    options.firstBin = threshold < HEIGHT_BINS ? static_cast<int>(std::ceil(threshold)) + 1 : HEIGHT_BINS;
    options.lastBin = HEIGHT_BINS - 2;
    PeakWidthModel width = WidthModel(c);
    std::vector<FittedPeak> fitted = SearchPeaks(counts, variance, width, options);

    std::vector<PeakEnergy> energies;
    double h = BinSize(c);
    for (const FittedPeak& f : fitted) {
        PeakRow row;
        row.fit = f;
        row.centroid = f.centroid * h;
        row.fwhm = f.sigma * FWHM_PER_SIGMA * h;
        row.resolution = row.centroid > 0.0 ? 100.0 * row.fwhm / row.centroid : 0.0;
        if (report->calibrated) {
            row.energy = EnergyOf(c, f.centroid);
            double half = 0.5 * f.sigma * FWHM_PER_SIGMA;
            row.fwhmEnergy = EnergyOf(c, f.centroid + half) - EnergyOf(c, f.centroid - half);
            row.resolution = row.energy > 0.0 ? 100.0 * row.fwhmEnergy / row.energy : 0.0;
            energies.push_back({row.energy, row.fwhmEnergy, f.significance});
        }
        row.netRate = report->seconds > 0.0 ? f.netArea / report->seconds : 0.0;
        report->peaks.push_back(row);
    }
    if (report->calibrated && !energies.empty()) {
        int last = HEIGHT_BINS - 2;
        while (last > options.firstBin && counts[static_cast<size_t>(last)] == 0.0) --last;
        NuclideMatch match = MatchNuclides(energies, nuclideLibrary, EnergyOf(c, options.firstBin),
                                           EnergyOf(c, last + 1), peakSettings.tolerance);
        report->nuclides = match.ranking;
        for (size_t k = 0; k < report->peaks.size(); ++k) report->peaks[k].nuclides = match.peakCandidates[k];
    }
    CountStatistics(c, report);
}

std::string Number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", decimals, value);
    return text;
}

std::string ChannelName(int c) { return c == 0 ? "Left" : "Right"; }

std::string Joined(const std::vector<std::string>& names, const char* separator) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) text += (i ? separator : "") + names[i];
    return text;
}
}  // namespace

std::string PeakSettingsPath() { return BesideSettings("-peaks.txt"); }
std::string UserNuclidesPath() { return BesideSettings("-nuclides.txt"); }

std::string LoadPeakSettingsAndLibrary() {
    peakFilesLoaded = true;
    peakSettings = PeakSettings();
    nuclideLibrary.clear();
    std::string problems, text;
    if (ReadText(PeakSettingsPath(), &text)) problems += ParsePeakSettings(text, PeakSettingsPath());
    nuclideLibraryPath = LibraryFile();
    if (nuclideLibraryPath.empty())
        problems += "no nuclide library found (" + std::string(LIBRARY_NAME) + ")\n";
    else
        problems += ReadLibraryFile(nuclideLibraryPath);
    std::ifstream user(UserNuclidesPath());
    if (user) problems += ReadLibraryFile(UserNuclidesPath());
    peakLoadProblems = problems;
    return problems;
}

void ChannelSpectrum(int c, std::vector<double>* counts, std::vector<double>* variance) {
    counts->assign(HEIGHT_BINS, 0.0);
    for (uint32_t i = 0; i < pulseCount[c]; ++i) {
        if (!IsPulseSelected(c, i)) continue;
        const PulseRecord& p = Pulse(c, i);
        (*counts)[static_cast<size_t>(PulseHeightBin(c, p.height, p.distortion))] += 1.0;
    }
    variance->clear();
    if (!settings.options[c].subtractBackground) return;
    // The background is scaled to the time the spectrum covers and keeps its own counting variance.
    *variance = *counts;
    int64_t begin = 0, end = 0;
    AnalysedTime(c, &begin, &end);
    double clock = static_cast<double>(end - begin);
    for (size_t i = 0; i < counts->size(); ++i) {
        double background = clock * backgroundSpectrum[c][i];
        (*counts)[i] -= background;
        (*variance)[i] += std::max(0.0, background);
    }
}

void EnsurePeakSettingsLoaded() {
    if (!peakFilesLoaded) LoadPeakSettingsAndLibrary();
}

void BuildPeakReport() {
    EnsurePeakSettingsLoaded();
    peakReport.clear();
    int input = settings.inputChannels;
    ChannelReport reports[2];
    // The channels' analyses only read the store and the settings: with both channels the right one
    // runs on a second thread (in turn when none can be started).
    std::future<void> right;
    if (input == 2) {
        try {
            right = std::async(std::launch::async, [&reports] { AnalyseChannel(1, &reports[1]); });
        } catch (const std::system_error&) {
        }
    }
    for (int c = 0; c < 2; ++c) {
        if (input != 2 && input != c) continue;
        if (c == 1 && right.valid())
            right.get();
        else
            AnalyseChannel(c, &reports[c]);
        peakReport.push_back(reports[c]);
    }
}

std::string PeakRowsText() {
    std::string text =
        "Channel\tCentroid/arb.u\tFWHM/arb.u\tEnergy/keV\tFWHM/keV\tResolution/%\tNetArea\tNetAreaUncertainty\t"
        "NetRate/(1/s)\tSignificance\tReducedChiSquare\tNuclides\r\n";
    for (const ChannelReport& r : peakReport) {
        for (const PeakRow& p : r.peaks) {
            text += ChannelName(r.channel) + "\t" + Number(p.centroid, 4) + "\t" + Number(p.fwhm, 4) + "\t" +
                    (r.calibrated ? Number(p.energy, 2) : "") + "\t" + (r.calibrated ? Number(p.fwhmEnergy, 2) : "") +
                    "\t" + Number(p.resolution, 2) + "\t" + Number(p.fit.netArea, 1) + "\t" +
                    Number(p.fit.netAreaUncertainty, 1) + "\t" + Number(p.netRate, 4) + "\t" +
                    Number(p.fit.significance, 1) + "\t" + Number(p.fit.reducedChiSquare, 3) + "\t" +
                    Joined(p.nuclides, " ") + "\r\n";
        }
    }
    return text;
}

std::string PeakReportText() {
    std::string text = PeakRowsText() + "\r\nChannel\tNuclide\tScore\r\n";
    for (const ChannelReport& r : peakReport)
        for (const NuclideScore& n : r.nuclides)
            text += ChannelName(r.channel) + "\t" + n.name + "\t" + Number(n.score, 3) + "\r\n";
    text += "\r\nChannel\tSteps\tMean\tVariance\tDispersionIndex\tChiSquare(Poisson)\tDoF\tp(Poisson)\t"
            "ChiSquare(Gauss)\tDoF\tp(Gauss)\r\n";
    for (const ChannelReport& r : peakReport) {
        const RateStatistics& s = r.rate;
        text += ChannelName(r.channel) + "\t" + std::to_string(s.steps) + "\t" + Number(s.mean, 4) + "\t" +
                Number(s.variance, 4) + "\t" + Number(s.dispersionIndex, 4) + "\t" + Number(s.poisson.chiSquare, 2) +
                "\t" + std::to_string(s.poisson.dof) + "\t" + Number(s.poisson.pValue, 4) + "\t" +
                (s.hasGauss ? Number(s.gauss.chiSquare, 2) + "\t" + std::to_string(s.gauss.dof) + "\t" +
                                  Number(s.gauss.pValue, 4)
                            : std::string("\t\t")) +
                "\r\n";
    }
    text += "\r\nChannel\tMeasuredRate/(1/s)\tFittedRate/(1/s)\tRateUncertainty/(1/s)\tDeadTime/\xB5s\t"
            "DeadTimeEstimate/\xB5s\r\n";
    for (const ChannelReport& r : peakReport) {
        const IntervalFit& f = r.interval;
        text += ChannelName(r.channel) + "\t" + Number(r.measuredRate, 3) + "\t" + (f.valid ? Number(f.rate, 3) : "") +
                "\t" + (f.valid ? Number(f.rateUncertainty, 3) : "") + "\t" +
                (f.valid ? Number(f.deadTime * 1e6, 3) : "") + "\t" +
                (r.hasDeadTimeEstimate ? Number(r.deadTimeEstimate, 3) : "") + "\r\n";
    }
    return text;
}

void ResetPeakReportState() {
    peakReport.clear();
    peakSettings = PeakSettings();
    nuclideLibrary.clear();
    nuclideLibraryPath.clear();
    peakLoadProblems.clear();
    peakFilesLoaded = false;
}
