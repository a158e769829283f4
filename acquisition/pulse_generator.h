// Built-in pulse generator: detector-like pulses (double-exponential, AC-coupled) with Poisson arrivals,
// a caesium-like height spectrum, left/right coincidences and noise, as interleaved PCM in any input format.
#pragma once
#include <cstdint>

#include "platform/audio.h"

// The generator's knobs. Every field has an environment variable (pulseGeneratorVariables) so that the
// live generator device can be tuned without a dialog.
struct PulseGeneratorParameters {
    double pulseRate = 100.0;      // TIK_GEN_RATE: mean pulses per second in each channel
    double coincidence = 0.2;      // TIK_GEN_COINCIDENCE: share of pulses paired with the other channel
    uint64_t seed = 1;             // TIK_GEN_SEED: the same seed gives the same signal
    double speed = 1.0;            // TIK_GEN_SPEED: pace of the live device, multiple of real time; 0 unpaced
    double fullScaleKeV = 1300.0;  // TIK_GEN_FULL_SCALE: energy whose pulse peaks at full scale
    double resolution = 7.0;       // TIK_GEN_RESOLUTION: FWHM of the 662 keV line in percent
    double noise = 0.02;           // TIK_GEN_NOISE: rms noise in percent of full scale
    double riseMicroseconds = 30.0;        // TIK_GEN_RISE: rise time constant
    double decayMicroseconds = 150.0;      // TIK_GEN_DECAY: decay time constant
    double couplingMicroseconds = 1000.0;  // TIK_GEN_COUPLING: AC-coupling time constant (undershoot)
    int polarity = 1;                      // TIK_GEN_POLARITY: +1 positive-going, -1 negative-going pulses
    double stallAfterSeconds = 0.0;        // TIK_GEN_STALL_AFTER: the live device stops delivering after
                                           // this much signal, like a card pulled out (0: never)
};

// The environment variable names, ended by nullptr.
extern const char* const pulseGeneratorVariables[];

// Sets the parameter named by one environment variable from its text. False (parameters unchanged)
// when the name is unknown or the text is not a number within the variable's documented range.
bool SetPulseGeneratorParameter(PulseGeneratorParameters& parameters, const char* name, const char* value);

// The time constants must order as rise < decay < coupling, each at least 5 % above the one before.
bool PulseGeneratorTimesValid(const PulseGeneratorParameters& parameters);

// The simulated source's height spectrum in keV: a photopeak, the Compton continuum below its edge,
// a backscatter peak and an X-ray line, with the share of pulses in each.
constexpr double GENERATOR_PHOTOPEAK_KEV = 661.657;
constexpr double GENERATOR_COMPTON_EDGE_KEV = 477.334;
constexpr double GENERATOR_BACKSCATTER_KEV = 184.3;
constexpr double GENERATOR_XRAY_KEV = 32.0;
constexpr double GENERATOR_PHOTOPEAK_SHARE = 0.30;
constexpr double GENERATOR_COMPTON_SHARE = 0.55;
constexpr double GENERATOR_BACKSCATTER_SHARE = 0.08;
constexpr double GENERATOR_XRAY_SHARE = 0.07;

struct GeneratorRandom {
    uint64_t s[4];
    bool hasSpare;
    double spare;
};

// Next arrival of one Poisson process: the first sample at or after it and how far (in samples, 0 to
// below 1) that sample lies after the arrival.
struct GeneratorArrival {
    uint64_t sample;
    double delay;
};

// Generator state: plain data, no allocation; InitPulseGenerator fills it.
struct PulseGenerator {
    PulseGeneratorParameters parameters;
    uint32_t sampleRate;
    uint64_t frame;                 // frames generated so far
    GeneratorRandom events, noise;  // separate streams: the pulse train does not depend on the noise level
    double samplesPerArrival[3];  // mean spacing of the left-only, right-only and paired processes (0 = off)
    GeneratorArrival next[3];
    double decayFactor[3];   // per-sample factor of the decay, rise and coupling terms
    double inverseTau[3];    // 1 / time constant in samples
    double coefficient[3];   // the terms' weights for a pulse of height 1 (peak at full scale)
    double term[2][3];       // running value of each term per channel
    double comptonMaximum;   // largest value of the Compton distribution (rejection sampling)
    uint64_t pulseCount[2];  // pulses started per channel
    uint64_t pairCount;      // of which coincident pairs
};

// Prepares a generator for a sample rate (1 to 384000 Hz). False when the parameters are out of range or
// the time constants are not valid.
bool InitPulseGenerator(PulseGenerator& generator, const PulseGeneratorParameters& parameters,
                        uint32_t sampleRate);

// Whether a format can be produced: integer PCM tag, 1 or 2 channels, 16/24/32 bits, block alignment
// = channels x bytes per sample, 1 to 384000 Hz.
bool PulseGeneratorFormatUsable(const WaveFormat& format);

// Writes the next frames, interleaved little-endian PCM in the format's bits and channels (the rate is
// the generator's own). A single channel is the right one when the channel mask is exactly 2, otherwise
// the left. Returns the bytes written, 0 when the format is unusable. Splitting a run into blocks of any
// size gives the same bytes.
uint32_t GeneratePulseFrames(PulseGenerator& generator, const WaveFormat& format, uint8_t* out,
                             uint32_t frames);

// Writes a WAV file (44-byte RIFF header, integer PCM) of the given length with the format's rate,
// bits and channels. False on bad arguments, a data size beyond the RIFF limit, or a write failure
// (the partial file is removed).
bool WritePulseGeneratorWav(const char* path, const PulseGeneratorParameters& parameters,
                            const WaveFormat& format, double seconds);
