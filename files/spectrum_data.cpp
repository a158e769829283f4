// Gathering the spectra for the exchange formats: counts of the selected pulses per height bin, the
// analysed span, the start time from the comment's stamps, the energy axis (exact edges, the line of
// the line modes or a least-squares polynomial), the stored background and the text conversions.
#include "files/spectrum_data.h"

#include <Eigen/Dense>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>

#include "acquisition/pulse_store.h"
#include "analysis/background_source.h"
#include "analysis/calibration.h"
#include "analysis/height_spectrum.h"
#include "analysis/selection.h"
#include "core/file_name.h"
#include "core/settings.h"
#include "files/data_file.h"
#include "files/export_internal.h"

namespace {
constexpr int MAX_POLYNOMIAL_ORDER = 3;

const char* const SELECTION_TEXTS[6] = {"Left All",  "Left Coincidence",  "Left Anticoincidence",
                                        "Right All", "Right Coincidence", "Right Anticoincidence"};

// Unicode code points of the bytes 0x80-0x9F in Windows-1252; its five undefined bytes map to the C1
// controls of the same value.
constexpr char32_t HIGH_CONTROLS[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The unit of a quantity text such as "Energy /keV": what follows the last '/', without blanks.
std::string UnitOf(const std::string& quantity) {
    size_t slash = quantity.rfind('/');
    std::string unit = slash == std::string::npos ? quantity : quantity.substr(slash + 1);
    unit.erase(std::remove(unit.begin(), unit.end(), ' '), unit.end());
    return unit;
}

SpectrumAxis MakeAxis(int channel, double binSize, size_t channels) {
    SpectrumAxis axis;
    axis.calibrated = CalibrationInUse(channel);
    axis.mode = settings.calibrationMode[channel];
    axis.quantity = axis.calibrated ? AnsiToUtf8(settings.quantityUnits[channel], QUANTITY_UNITS_CAPACITY)
                                    : std::string("Height /arb.u");
    axis.unit = UnitOf(axis.quantity);
    axis.edges.resize(channels + 1);
    for (size_t i = 0; i <= channels; ++i)
        axis.edges[i] = CalibratedValue(channel, static_cast<double>(i) * binSize);
    if (!axis.calibrated) return axis;
    std::vector<double> x(channels + 1);
    for (size_t i = 0; i <= channels; ++i) x[i] = static_cast<double>(i);
    if (axis.mode == CALIBRATION_INTERPOLATE) {
        int order = static_cast<int>(std::min<size_t>(MAX_POLYNOMIAL_ORDER, channels));
        axis.coefficients = FitPolynomial(x, axis.edges, order);
    } else {
        // Every other mode maps heights on a straight line: its value at 0 and its rise per channel.
        double offset = Calibrate(channel, 0.0, false);
        axis.coefficients = {offset, Calibrate(channel, binSize, false) - offset};
        axis.exact = true;
    }
    for (size_t i = 0; i <= channels && !axis.coefficients.empty(); ++i)
        axis.maxDeviation = std::max(axis.maxDeviation,
                                     std::fabs(EvaluatePolynomial(axis.coefficients, x[i]) - axis.edges[i]));
    return axis;
}

ExportSpectrum Foreground(int channel) {
    ExportSpectrum s;
    s.channel = channel;
    std::vector<uint64_t> counts(HEIGHT_BINS, 0);
    int32_t last = 0;
    for (uint32_t i = 0; i < pulseCount[channel]; ++i) {
        if (!IsPulseSelected(channel, i)) continue;
        const PulseRecord& pulse = Pulse(channel, i);
        int32_t bin = PulseHeightBin(channel, pulse.height, pulse.distortion);
        ++counts[static_cast<size_t>(bin)];
        ++s.total;
        last = std::max(last, bin);
    }
    counts.resize(static_cast<size_t>(last) + 1);
    s.counts = std::move(counts);
    s.binSize = settings.channel[channel].heightBinSize;
    double rate = static_cast<double>(dataSampleRate);
    s.realSeconds = static_cast<double>(AnalysedSpanFrames(channel)) / rate;
    s.liveSeconds = s.realSeconds;
    int64_t begin = std::max<int64_t>(0, workingParameters[channel][FIELD_BEGIN_TIME]);
    s.start = StartTimeFromComment(settings.comments, COMMENT_MAX_LENGTH, static_cast<double>(begin) / rate);
    s.axis = MakeAxis(channel, s.binSize, s.counts.size());
    return s;
}

// The stored background of a channel as whole counts (its rate x the frames it was divided by), over
// at least the foreground's channels and up to its own last non-empty bin.
ExportSpectrum Background(int channel, size_t foregroundChannels) {
    ExportSpectrum s;
    s.channel = channel;
    s.background = true;
    const double frames = static_cast<double>(backgroundSource.spanFrames[channel]);
    std::vector<uint64_t> counts(HEIGHT_BINS, 0);
    size_t used = 0;
    for (size_t i = 0; i < counts.size(); ++i) {
        double value = std::round(backgroundSpectrum[channel][i] * frames);
        if (!(value >= 1.0)) continue;  // also NaN
        counts[i] = value < 1e18 ? static_cast<uint64_t>(value) : static_cast<uint64_t>(1e18);
        s.total += counts[i];
        used = i + 1;
    }
    counts.resize(std::max(used, foregroundChannels));
    s.counts = std::move(counts);
    s.binSize = backgroundSource.binSize[channel];
    s.realSeconds = frames / backgroundSource.sampleRate;
    s.liveSeconds = s.realSeconds;
    s.start = StartTimeFromComment(backgroundSource.comment, COMMENT_MAX_LENGTH,
                                   backgroundSource.beginSeconds[channel]);
    s.axis = MakeAxis(channel, s.binSize, s.counts.size());
    return s;
}

bool IsDigits(const char* text, int count) {
    for (int i = 0; i < count; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

int Digits(const char* text, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) value = value * 10 + (text[i] - '0');
    return value;
}

// One start stamp "<YYYY/MM/DD hh:mm:ss seconds," at text (which holds at least `length` characters).
bool ParseStartStamp(const char* text, size_t length, StampTime* time, double* seconds) {
    constexpr size_t DATE_TIME_LENGTH = 20;  // "<YYYY/MM/DD hh:mm:ss"
    if (length < DATE_TIME_LENGTH + 2 || text[0] != '<') return false;
    const char* p = text + 1;
    if (!IsDigits(p, 4) || p[4] != '/' || !IsDigits(p + 5, 2) || p[7] != '/' || !IsDigits(p + 8, 2) ||
        p[10] != ' ' || !IsDigits(p + 11, 2) || p[13] != ':' || !IsDigits(p + 14, 2) || p[16] != ':' ||
        !IsDigits(p + 17, 2) || p[19] != ' ')
        return false;
    StampTime t;
    t.year = Digits(p, 4);
    t.month = Digits(p + 5, 2);
    t.day = Digits(p + 8, 2);
    t.hour = Digits(p + 11, 2);
    t.minute = Digits(p + 14, 2);
    t.second = Digits(p + 17, 2);
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
        t.second > 60)
        return false;
    // The clock reading: digits with an optional fraction, then ','.
    const char* end = text + length;
    const char* q = p + 20;
    double value = 0.0, scale = 0.0;
    bool any = false;
    for (; q < end && ((*q >= '0' && *q <= '9') || (*q == '.' && scale == 0.0)); ++q) {
        if (*q == '.') {
            scale = 1.0;
            continue;
        }
        any = true;
        if (scale == 0.0) {
            value = value * 10.0 + (*q - '0');
        } else {
            scale *= 0.1;
            value += (*q - '0') * scale;
        }
    }
    if (!any || q >= end || *q != ',') return false;
    t.valid = true;
    *time = t;
    *seconds = value;
    return true;
}
}  // namespace

std::string AnsiToUtf8(const char* text, size_t maxLength) {
    std::string out;
    for (size_t i = 0; i < maxLength && text[i] != '\0'; ++i) {
        unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n')
            out += ' ';
        else if (byte >= 0x80 && byte < 0xA0)
            AppendUtf8(out, HIGH_CONTROLS[byte - 0x80]);
        else
            AppendUtf8(out, byte);
    }
    return out;
}

std::string NumberText(double value) {
    if (!std::isfinite(value)) return "0";
    if (value == 0.0) return "0";  // also -0
    char text[64];
    std::to_chars_result result = std::to_chars(text, text + sizeof(text), value);
    return std::string(text, result.ptr);
}

const char* ChannelName(int channel) {
    return channel == 1 ? "Right" : "Left";
}

std::string LiveTimeNote() {
    return "Live time equals real time: the detector keeps no dead-time count.";
}

std::string AxisNote(const ExportSpectrum& spectrum) {
    const SpectrumAxis& axis = spectrum.axis;
    std::string note =
        "Channel i holds the pulse heights [i, i + 1) x " + NumberText(spectrum.binSize) + " arb.u";
    if (!axis.calibrated) return note + "; no calibration.";
    note += "; calibration \"" + axis.quantity + "\"";
    if (axis.exact) return note + ", exact line; energies at lower channel edges.";
    return note + ", piecewise linear, written as the least-squares polynomial of order " +
           std::to_string(static_cast<int>(axis.coefficients.size()) - 1) +
           " over the channels (largest deviation " + NumberText(axis.maxDeviation) + " " + axis.unit +
           "); energies at lower channel edges.";
}

const ExportSpectrum* FindSpectrum(const SpectrumExport& data, int channel, bool background) {
    for (const ExportSpectrum& s : data.spectra)
        if (s.channel == channel && s.background == background) return &s;
    return nullptr;
}

SpectrumExport CollectSpectra() {
    SpectrumExport data;
    data.software = "TIK";
    data.version = TIK_VERSION;
    data.sampleRate = dataSampleRate;
    data.comment = AnsiToUtf8(settings.comments, COMMENT_MAX_LENGTH);
    data.fileName = AnsiToUtf8(AcquisitionFileName(), MAX_PATH_LENGTH);
    int selection = settings.channelSelection;
    data.selection = selection >= 0 && selection < 6 ? SELECTION_TEXTS[selection] : "";
    int analysed = AnalysedChannel();
    bool both = settings.inputChannels == 2 || pulseCount[1 - analysed] > 0;
    for (int c = 0; c < 2; ++c)
        if (c == analysed || both) data.spectra.push_back(Foreground(c));
    // A channel whose background window held no acquired time has no background.
    size_t foregrounds = data.spectra.size();
    for (size_t k = 0; k < foregrounds; ++k) {
        int channel = data.spectra[k].channel;
        if (backgroundSource.sampleRate > 0 && backgroundSource.spanFrames[channel] > 0)
            data.spectra.push_back(Background(channel, data.spectra[k].counts.size()));
    }
    return data;
}

StampTime StartTimeFromComment(const char* comment, size_t maxLength, double atSeconds) {
    size_t length = 0;
    while (length < maxLength && comment[length] != '\0') ++length;
    StampTime best;
    double bestSeconds = 0.0;
    for (size_t i = 0; i < length; ++i) {
        StampTime time;
        double seconds = 0.0;
        if (comment[i] != '<' || !ParseStartStamp(comment + i, length - i, &time, &seconds)) continue;
        // Tolerance: the stamp's reading is printed with 6 decimals.
        if (seconds <= atSeconds + 1e-6) {
            best = time;
            bestSeconds = seconds;
        }
    }
    if (!best.valid) return best;
    return AddSeconds(best, atSeconds - bestSeconds);
}

StampTime AddSeconds(const StampTime& time, double seconds) {
    using namespace std::chrono;
    double total = time.hour * 3600.0 + time.minute * 60.0 + time.second + std::round(seconds);
    if (!std::isfinite(total) || std::fabs(total) > 1e12) return StampTime{};
    double dayShift = std::floor(total / 86400.0);
    int64_t within = static_cast<int64_t>(total - dayShift * 86400.0);
    sys_days date = sys_days{year{time.year} / month{static_cast<unsigned>(time.month)} /
                             day{static_cast<unsigned>(time.day)}} +
                    days{static_cast<int64_t>(dayShift)};
    year_month_day ymd{date};
    StampTime out;
    out.valid = true;
    out.year = static_cast<int>(ymd.year());
    out.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    out.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    out.hour = static_cast<int>(within / 3600);
    out.minute = static_cast<int>(within / 60 % 60);
    out.second = static_cast<int>(within % 60);
    return out;
}

std::vector<double> FitPolynomial(const std::vector<double>& x, const std::vector<double>& y, int order) {
    if (order < 0 || x.size() != y.size() || x.size() < static_cast<size_t>(order) + 1) return {};
    // Fitted in t = x / scale, so that the powers stay of one size, then scaled back.
    double scale = 0.0;
    for (double v : x) scale = std::max(scale, std::fabs(v));
    if (scale == 0.0) scale = 1.0;
    const Eigen::Index rows = static_cast<Eigen::Index>(x.size());
    Eigen::MatrixXd design(rows, order + 1);
    Eigen::VectorXd values(rows);
    for (Eigen::Index r = 0; r < rows; ++r) {
        double t = x[static_cast<size_t>(r)] / scale, power = 1.0;
        for (int k = 0; k <= order; ++k, power *= t) design(r, k) = power;
        values(r) = y[static_cast<size_t>(r)];
    }
    Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(design);
    if (qr.rank() < order + 1) return {};
    Eigen::VectorXd solution = qr.solve(values);
    std::vector<double> coefficients(static_cast<size_t>(order) + 1);
    double factor = 1.0;
    for (int k = 0; k <= order; ++k, factor /= scale)
        coefficients[static_cast<size_t>(k)] = solution(k) * factor;
    return coefficients;
}

double EvaluatePolynomial(const std::vector<double>& coefficients, double x) {
    double value = 0.0;
    for (size_t k = coefficients.size(); k-- > 0;) value = value * x + coefficients[k];
    return value;
}
