// Built-in pulse generator: the signal model (three exponential terms per channel, sampled exactly),
// Poisson arrivals, the caesium-like spectrum, PCM packing and the WAV writer.
#include "acquisition/pulse_generator.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

const char* const pulseGeneratorVariables[] = {
    "TIK_GEN_RATE",       "TIK_GEN_COINCIDENCE", "TIK_GEN_SEED",     "TIK_GEN_SPEED",
    "TIK_GEN_FULL_SCALE", "TIK_GEN_RESOLUTION",  "TIK_GEN_NOISE",    "TIK_GEN_RISE",
    "TIK_GEN_DECAY",      "TIK_GEN_COUPLING",    "TIK_GEN_POLARITY", "TIK_GEN_STALL_AFTER", nullptr};

namespace {
constexpr double ELECTRON_REST_KEV = 510.999;
constexpr double FWHM_PER_SIGMA = 2.354820045;
constexpr double BACKSCATTER_SPREAD_KEV = 15.0;  // the peak's own width before the detector resolution
constexpr uint32_t MAX_RATE = 384000;
constexpr uint64_t NEVER = std::numeric_limits<uint64_t>::max();

// ---- Parameters --------------------------------------------------------------------------------------

struct Range {
    double low, high;
};

bool ReadNumber(const char* text, Range range, double* value) {
    if (!text || !*text || std::isspace(static_cast<unsigned char>(*text))) return false;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v) || v < range.low || v > range.high) return false;
    *value = v;
    return true;
}

bool ParseSeed(const char* text, uint64_t* value) {
    if (!text || *text < '0' || *text > '9') return false;  // no sign, no blanks
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (*end != '\0' || errno == ERANGE) return false;
    *value = v;
    return true;
}

bool ParametersInRange(const PulseGeneratorParameters& p) {
    auto within = [](double v, double low, double high) { return std::isfinite(v) && v >= low && v <= high; };
    return within(p.pulseRate, 0, 100000) && within(p.coincidence, 0, 1) && within(p.speed, 0, 1000) &&
           within(p.fullScaleKeV, 10, 100000) && within(p.resolution, 0, 50) && within(p.noise, 0, 10) &&
           within(p.riseMicroseconds, 1, 100000) && within(p.decayMicroseconds, 1, 1000000) &&
           within(p.couplingMicroseconds, 1, 10000000) && within(p.stallAfterSeconds, 0, 1e9) &&
           (p.polarity == 1 || p.polarity == -1);
}

// ---- Random numbers: xoshiro256** seeded through splitmix64, identical on every platform -------------

uint64_t SplitMix(uint64_t& x) {
    uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void SeedRandom(GeneratorRandom& r, uint64_t seed) {
    for (uint64_t& word : r.s) word = SplitMix(seed);
    r.hasSpare = false;
    r.spare = 0.0;
}

uint64_t Rotate(uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
}

uint64_t NextRandom(GeneratorRandom& r) {
    uint64_t result = Rotate(r.s[1] * 5, 7) * 9;
    uint64_t t = r.s[1] << 17;
    r.s[2] ^= r.s[0];
    r.s[3] ^= r.s[1];
    r.s[1] ^= r.s[2];
    r.s[0] ^= r.s[3];
    r.s[2] ^= t;
    r.s[3] = Rotate(r.s[3], 45);
    return result;
}

// Uniform in [0, 1).
double Uniform(GeneratorRandom& r) {
    return static_cast<double>(NextRandom(r) >> 11) * 0x1.0p-53;
}

// Standard normal (Box-Muller; the second value of each pair is kept for the next call).
double Normal(GeneratorRandom& r) {
    if (r.hasSpare) {
        r.hasSpare = false;
        return r.spare;
    }
    double u1 = 1.0 - Uniform(r);  // (0, 1]
    double u2 = Uniform(r);
    double radius = std::sqrt(-2.0 * std::log(u1));
    double angle = 2.0 * std::numbers::pi * u2;
    r.spare = radius * std::sin(angle);
    r.hasSpare = true;
    return radius * std::cos(angle);
}

// ---- Spectrum ------------------------------------------------------------------------------------------

// Klein-Nishina distribution of the energy given to the electron, as a fraction s of the photon energy,
// up to the Compton edge (s = 2k / (1 + 2k)); k is the photon energy in electron rest energies.
double ComptonDensity(double s, double k) {
    double q = s / (1.0 - s);
    return 2.0 + q * q / (k * k) + q * (s - 2.0 / k);
}

double ComptonEdgeFraction(double k) {
    return 2.0 * k / (1.0 + 2.0 * k);
}

double ComptonMaximum() {
    double k = GENERATOR_PHOTOPEAK_KEV / ELECTRON_REST_KEV;
    double edge = ComptonEdgeFraction(k);
    double maximum = 0.0;
    for (int i = 0; i <= 1000; i++) maximum = std::fmax(maximum, ComptonDensity(edge * i / 1000.0, k));
    return maximum * 1.001;
}

double SampleCompton(PulseGenerator& g) {
    double k = GENERATOR_PHOTOPEAK_KEV / ELECTRON_REST_KEV;
    double edge = ComptonEdgeFraction(k);
    for (;;) {  // rejection sampling; about half the proposals are accepted
        double s = edge * Uniform(g.events);
        if (Uniform(g.events) * g.comptonMaximum <= ComptonDensity(s, k)) return s * GENERATOR_PHOTOPEAK_KEV;
    }
}

// Pulse height (fraction of full scale, before the polarity) of one detected photon.
double SampleHeight(PulseGenerator& g) {
    double u = Uniform(g.events);
    double energy;
    if (u < GENERATOR_PHOTOPEAK_SHARE) {
        energy = GENERATOR_PHOTOPEAK_KEV;
    } else if (u < GENERATOR_PHOTOPEAK_SHARE + GENERATOR_COMPTON_SHARE) {
        energy = SampleCompton(g);
    } else if (u < GENERATOR_PHOTOPEAK_SHARE + GENERATOR_COMPTON_SHARE + GENERATOR_BACKSCATTER_SHARE) {
        energy = GENERATOR_BACKSCATTER_KEV + BACKSCATTER_SPREAD_KEV * Normal(g.events);
    } else {
        energy = GENERATOR_XRAY_KEV;
    }
    // Detector resolution: the relative width falls with the square root of the energy.
    double sigma662 = g.parameters.resolution * 0.01 * GENERATOR_PHOTOPEAK_KEV / FWHM_PER_SIGMA;
    double sigma = sigma662 * std::sqrt(std::fmax(energy, 0.0) / GENERATOR_PHOTOPEAK_KEV);
    energy += sigma * Normal(g.events);
    return std::fmax(energy, 0.0) / g.parameters.fullScaleKeV;
}

// ---- Pulse shape ---------------------------------------------------------------------------------------

// A unit double-exponential pulse A (e^-t/decay - e^-t/rise) after a first-order high-pass (the AC
// coupling) is the sum of three exponentials, with the rates b of decay, rise and coupling:
// weights b_d/(b_d-a), -b_r/(b_r-a) and a/(b_r-a) - a/(b_d-a). It starts at 0, peaks, undershoots
// and its area is zero. Times here are in microseconds.
void UnitWeights(const PulseGeneratorParameters& p, double rates[3], double weights[3]) {
    double bd = 1.0 / p.decayMicroseconds, br = 1.0 / p.riseMicroseconds, a = 1.0 / p.couplingMicroseconds;
    rates[0] = bd;
    rates[1] = br;
    rates[2] = a;
    weights[0] = bd / (bd - a);
    weights[1] = -br / (br - a);
    weights[2] = a / (br - a) - a / (bd - a);
}

double PulseValue(const double rates[3], const double weights[3], double t) {
    return weights[0] * std::exp(-rates[0] * t) + weights[1] * std::exp(-rates[1] * t) +
           weights[2] * std::exp(-rates[2] * t);
}

// Peak value of the unit pulse: a coarse scan, then golden-section refinement around the best point.
double PulsePeak(const double rates[3], const double weights[3], double decay) {
    const int steps = 4000;
    double span = 10.0 * decay, step = span / steps, bestT = 0.0, best = 0.0;
    for (int i = 1; i <= steps; i++) {
        double v = PulseValue(rates, weights, i * step);
        if (v > best) {
            best = v;
            bestT = i * step;
        }
    }
    double lo = std::fmax(bestT - step, 0.0), hi = bestT + step;
    const double ratio = 0.6180339887498949;
    for (int i = 0; i < 100; i++) {
        double m1 = hi - ratio * (hi - lo), m2 = lo + ratio * (hi - lo);
        if (PulseValue(rates, weights, m1) < PulseValue(rates, weights, m2))
            lo = m1;
        else
            hi = m2;
    }
    return std::fmax(best, PulseValue(rates, weights, 0.5 * (lo + hi)));
}

// ---- Arrivals ------------------------------------------------------------------------------------------

// Moves a process to its next arrival: an exponential interval after the previous arrival time.
void DrawArrival(PulseGenerator& g, int process) {
    double spacing = g.samplesPerArrival[process];
    GeneratorArrival& a = g.next[process];
    if (spacing <= 0.0) {
        a.sample = NEVER;
        return;
    }
    double interval = -std::log(1.0 - Uniform(g.events)) * spacing;
    // Beyond ~1e15 samples (decades at any rate) the process simply stops.
    if (!(interval < 1e15)) {
        a.sample = NEVER;
        return;
    }
    double offset = interval - a.delay;  // from the previous arrival's sample, at least -1
    double whole = std::ceil(offset);
    uint64_t step = whole > 0.0 ? static_cast<uint64_t>(whole) : 0;
    if (a.sample > NEVER - step) {
        a.sample = NEVER;
        return;
    }
    a.sample += step;
    a.delay = static_cast<double>(step) - offset;
}

void AddPulse(PulseGenerator& g, int channel, double delay) {
    double height = SampleHeight(g);
    for (int i = 0; i < 3; i++)
        g.term[channel][i] += height * g.coefficient[i] * std::exp(-delay * g.inverseTau[i]);
    g.pulseCount[channel]++;
}

// Advances the signal by one frame and returns both channels' values in fractions of full scale.
void NextFrame(PulseGenerator& g, double value[2]) {
    for (int c = 0; c < 2; c++)
        for (int i = 0; i < 3; i++) {
            double v = g.term[c][i] * g.decayFactor[i];
            g.term[c][i] = std::fabs(v) < 1e-30 ? 0.0 : v;  // keeps long quiet stretches out of denormals
        }
    for (int process = 0; process < 3; process++) {
        while (g.next[process].sample == g.frame) {
            double delay = g.next[process].delay;
            if (process == 2) {
                AddPulse(g, 0, delay);
                AddPulse(g, 1, delay);
                g.pairCount++;
            } else {
                AddPulse(g, process, delay);
            }
            DrawArrival(g, process);
        }
    }
    double sigma = g.parameters.noise * 0.01;
    for (int c = 0; c < 2; c++) {
        double v = g.parameters.polarity * (g.term[c][0] + g.term[c][1] + g.term[c][2]);
        if (sigma > 0.0) v += sigma * Normal(g.noise);
        value[c] = v;
    }
    g.frame++;
}

// ---- PCM -----------------------------------------------------------------------------------------------

void PutSample(double value, int bytes, uint8_t* out) {
    double scale = std::ldexp(1.0, bytes * 8 - 1);
    double x = std::nearbyint(value * scale);
    int64_t sample;
    if (!(x > -scale))  // also NaN
        sample = static_cast<int64_t>(-scale);
    else if (x > scale - 1.0)
        sample = static_cast<int64_t>(scale - 1.0);
    else
        sample = static_cast<int64_t>(x);
    uint32_t bits = static_cast<uint32_t>(sample);
    for (int i = 0; i < bytes; i++) out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

void PutLittle(uint8_t* out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) out[i] = static_cast<uint8_t>(value >> (8 * i));
}
}  // namespace

bool SetPulseGeneratorParameter(PulseGeneratorParameters& parameters, const char* name, const char* value) {
    if (!name) return false;
    double v = 0.0;
    std::string key = name;
    if (key == "TIK_GEN_SEED") return ParseSeed(value, &parameters.seed);
    if (key == "TIK_GEN_POLARITY") {
        if (!ReadNumber(value, {-1, 1}, &v) || (v != 1.0 && v != -1.0)) return false;
        parameters.polarity = v > 0 ? 1 : -1;
        return true;
    }
    struct Entry {
        const char* name;
        Range range;
        double PulseGeneratorParameters::*field;
    };
    static const Entry entries[] = {
        {"TIK_GEN_RATE", {0, 100000}, &PulseGeneratorParameters::pulseRate},
        {"TIK_GEN_COINCIDENCE", {0, 1}, &PulseGeneratorParameters::coincidence},
        {"TIK_GEN_SPEED", {0, 1000}, &PulseGeneratorParameters::speed},
        {"TIK_GEN_FULL_SCALE", {10, 100000}, &PulseGeneratorParameters::fullScaleKeV},
        {"TIK_GEN_RESOLUTION", {0, 50}, &PulseGeneratorParameters::resolution},
        {"TIK_GEN_NOISE", {0, 10}, &PulseGeneratorParameters::noise},
        {"TIK_GEN_RISE", {1, 100000}, &PulseGeneratorParameters::riseMicroseconds},
        {"TIK_GEN_DECAY", {1, 1000000}, &PulseGeneratorParameters::decayMicroseconds},
        {"TIK_GEN_COUPLING", {1, 10000000}, &PulseGeneratorParameters::couplingMicroseconds},
        {"TIK_GEN_STALL_AFTER", {0, 1e9}, &PulseGeneratorParameters::stallAfterSeconds},
    };
    for (const Entry& e : entries) {
        if (key != e.name) continue;
        if (!ReadNumber(value, e.range, &v)) return false;
        parameters.*e.field = v;
        return true;
    }
    return false;
}

bool PulseGeneratorTimesValid(const PulseGeneratorParameters& p) {
    return p.decayMicroseconds >= 1.05 * p.riseMicroseconds &&
           p.couplingMicroseconds >= 1.05 * p.decayMicroseconds;
}

bool InitPulseGenerator(PulseGenerator& g, const PulseGeneratorParameters& parameters, uint32_t sampleRate) {
    if (sampleRate == 0 || sampleRate > MAX_RATE || !ParametersInRange(parameters) ||
        !PulseGeneratorTimesValid(parameters))
        return false;
    g = PulseGenerator{};
    g.parameters = parameters;
    g.sampleRate = sampleRate;
    SeedRandom(g.events, parameters.seed);
    SeedRandom(g.noise, parameters.seed ^ 0x6E6F697365ull);  // an independent stream for the noise

    double rates[3], weights[3];
    UnitWeights(parameters, rates, weights);
    double peak = PulsePeak(rates, weights, parameters.decayMicroseconds);
    if (!(peak > 1e-12) || !std::isfinite(peak)) return false;
    double microsecondsPerSample = 1e6 / sampleRate;
    for (int i = 0; i < 3; i++) {
        g.coefficient[i] = weights[i] / peak;
        g.inverseTau[i] = rates[i] * microsecondsPerSample;
        g.decayFactor[i] = std::exp(-g.inverseTau[i]);
    }
    g.comptonMaximum = ComptonMaximum();

    double single = parameters.pulseRate * (1.0 - parameters.coincidence);
    double paired = parameters.pulseRate * parameters.coincidence;
    g.samplesPerArrival[0] = single > 0.0 ? sampleRate / single : 0.0;
    g.samplesPerArrival[1] = g.samplesPerArrival[0];
    g.samplesPerArrival[2] = paired > 0.0 ? sampleRate / paired : 0.0;
    for (int process = 0; process < 3; process++) {
        g.next[process] = {0, 0.0};
        DrawArrival(g, process);
    }
    return true;
}

bool PulseGeneratorFormatUsable(const WaveFormat& f) {
    if (f.formatTag != 1 && f.formatTag != 0xFFFE) return false;
    if (f.channels != 1 && f.channels != 2) return false;
    if (f.bitsPerSample != 16 && f.bitsPerSample != 24 && f.bitsPerSample != 32) return false;
    if (f.blockAlign != f.channels * f.bitsPerSample / 8) return false;
    return f.samplesPerSecond >= 1 && f.samplesPerSecond <= MAX_RATE;
}

uint32_t GeneratePulseFrames(PulseGenerator& g, const WaveFormat& format, uint8_t* out, uint32_t frames) {
    if (!PulseGeneratorFormatUsable(format) || !out || g.sampleRate == 0) return 0;
    uint64_t total = static_cast<uint64_t>(frames) * format.blockAlign;
    if (total > std::numeric_limits<uint32_t>::max()) return 0;
    int bytes = format.bitsPerSample / 8;
    bool stereo = format.channels == 2;
    int mono = format.channelMask == 2 ? 1 : 0;
    double value[2];
    for (uint32_t i = 0; i < frames; i++) {
        NextFrame(g, value);
        if (stereo) {
            PutSample(value[0], bytes, out);
            PutSample(value[1], bytes, out + bytes);
        } else {
            PutSample(value[mono], bytes, out);
        }
        out += format.blockAlign;
    }
    return static_cast<uint32_t>(total);
}

bool WritePulseGeneratorWav(const char* path, const PulseGeneratorParameters& parameters,
                            const WaveFormat& format, double seconds) {
    if (!path || !*path || !PulseGeneratorFormatUsable(format) || !std::isfinite(seconds) || seconds <= 0.0)
        return false;
    double frameCount = std::floor(seconds * format.samplesPerSecond);
    double limit = std::floor((4294967295.0 - 36.0) / format.blockAlign);
    if (frameCount < 1.0 || frameCount > limit) return false;
    uint64_t frames = static_cast<uint64_t>(frameCount);
    uint32_t dataBytes = static_cast<uint32_t>(frames * format.blockAlign);

    PulseGenerator g;
    if (!InitPulseGenerator(g, parameters, format.samplesPerSecond)) return false;
    uint8_t header[44];
    std::memcpy(header, "RIFF", 4);
    PutLittle(header + 4, 36 + dataBytes, 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    PutLittle(header + 16, 16, 4);
    PutLittle(header + 20, 1, 2);
    PutLittle(header + 22, format.channels, 2);
    PutLittle(header + 24, format.samplesPerSecond, 4);
    PutLittle(header + 28, format.samplesPerSecond * format.blockAlign, 4);
    PutLittle(header + 32, format.blockAlign, 2);
    PutLittle(header + 34, format.bitsPerSample, 2);
    std::memcpy(header + 36, "data", 4);
    PutLittle(header + 40, dataBytes, 4);

    std::FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
    const uint32_t chunkFrames = 16384;
    std::vector<uint8_t> chunk(static_cast<size_t>(chunkFrames) * format.blockAlign);
    for (uint64_t done = 0; ok && done < frames;) {
        uint32_t n = static_cast<uint32_t>(frames - done < chunkFrames ? frames - done : chunkFrames);
        uint32_t bytes = GeneratePulseFrames(g, format, chunk.data(), n);
        ok = std::fwrite(chunk.data(), 1, bytes, file) == bytes;
        done += n;
    }
    if (std::fclose(file) != 0) ok = false;
    if (!ok) std::remove(path);
    return ok;
}
