// The spectra that leave the program in the exchange formats (N42 XML, NPES JSON, IAEA SPE, CSV):
// plain counts per height bin, times, energy axis and metadata, gathered from the pulse store.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The energy axis of one spectrum. Every polynomial is in the channel number x and gives the value
// at the lower edge of channel x (channel x spans heights [x, x + 1) x bin size).
struct SpectrumAxis {
    bool calibrated = false;           // the channel's calibration is in use and valid
    int mode = 0;                      // calibrationMode
    std::string quantity;              // quantityUnits as UTF-8, e.g. "Energy /keV"
    std::string unit;                  // the unit part of it, e.g. "keV"
    std::vector<double> edges;         // lower edges of every channel and the upper edge of the last
    std::vector<double> coefficients;  // lowest order first; empty when not calibrated
    bool exact = false;                // the polynomial is the calibration itself (a line)
    double maxDeviation = 0.0;         // largest |polynomial - calibration| over the edges
};

// A start time read from the comment's stamps (local time of the recording machine).
struct StampTime {
    bool valid = false;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct ExportSpectrum {
    int channel = 0;  // 0 left, 1 right
    bool background = false;
    std::vector<uint64_t> counts;  // channel i = height bin i
    uint64_t total = 0;
    double binSize = 0.0;  // arb.u per channel
    double realSeconds = 0.0;
    double liveSeconds = 0.0;
    StampTime start;
    SpectrumAxis axis;
};

struct SpectrumExport {
    std::vector<ExportSpectrum> spectra;  // foreground spectra (left before right), then backgrounds
    std::string comment;                  // UTF-8
    std::string fileName;                 // the acquisition's file, without folder; may be empty
    std::string selection;                // the channel selection's text
    uint32_t sampleRate = 0;
    std::string software;  // "TIK"
    std::string version;
};

// Gathers the spectra as the program has them now: the analysed channel (and the other channel too
// when the input is "Left & Right" or the other channel holds pulses, selected by the mirrored channel
// selection), each with its own time window, bin size and calibration; the stored background of each
// exported channel when one is set.
SpectrumExport CollectSpectra();

// The exported spectrum of a channel (foreground or background), or nullptr.
const ExportSpectrum* FindSpectrum(const SpectrumExport& data, int channel, bool background);

// Text conversions shared by the writers: Windows-1252 (up to its terminator or maxLength bytes) to
// UTF-8, with control characters other than tab, CR and LF turned into spaces so that every format
// accepts the text; the shortest text that reads back as the same double.
std::string AnsiToUtf8(const char* text, size_t maxLength);
std::string NumberText(double value);

// Notes every writer puts into its file: what the live time is and how the axis was written.
std::string LiveTimeNote();
std::string AxisNote(const ExportSpectrum& spectrum);
// "Left" or "Right".
const char* ChannelName(int channel);

// Parses the stamps of a comment ("<YYYY/MM/DD hh:mm:ss seconds," at Start and Continue): the local
// time at which the acquisition clock read `atSeconds`, from the last start stamp at or before it.
StampTime StartTimeFromComment(const char* comment, size_t maxLength, double atSeconds);
// The stamp time moved by `seconds` (calendar-correct).
StampTime AddSeconds(const StampTime& time, double seconds);

// The least-squares polynomial of order `order` through the points (x, y); lowest order first.
// Empty when the points do not determine it.
std::vector<double> FitPolynomial(const std::vector<double>& x, const std::vector<double>& y, int order);
double EvaluatePolynomial(const std::vector<double>& coefficients, double x);
