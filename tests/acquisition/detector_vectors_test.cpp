// The threshold method's reference tests: random and adversarial recordings (words exactly at the
// threshold, alternating signs, extremes, pulses across vector and block boundaries) in every layout,
// polarity, gain and mode give identical state after every block with the vector passes and with the
// plain per-sample state machine, and the records, clock and bits of a plain model of the method.
#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "tests/acquisition/detector_fixture.h"
#include "tests/support/threshold_model.h"
#include "ui/program_state.h"

namespace {
struct Case {
    int bytes;             // per sample
    int channels;          // 1 or 2
    bool replay;           // file replay, else live capture
    uint32_t liveMono;     // live mono input: 0 left, 1 right
    double minHeight;      // percent; negative: negative-going pulses
    double gain;
    double seconds;        // acquisition time (0: the default)
    double maxPulses;
    bool shapeAcquisition;
};

// Everything a block can change, in the order it is compared.
struct Outcome {
    uint32_t count[2], first[2];
    int64_t clock;
    uint32_t openAndLimit;
    int32_t trigger;
    std::vector<PulseRecord> records[2];
    std::vector<double> ring, snapshot, shape;

    bool operator==(const Outcome&) const = default;
};

// The outcome of the detector after the same blocks: the model's records, clock and open and limit bits.
Outcome Expected(const ThresholdModel& model, Outcome o) {
    o.clock = model.clock;
    o.openAndLimit = (o.openAndLimit & RS_ACQUIRING) | (model.stopped ? RS_LIMIT_REACHED : 0u) |
                     (model.channel[0].open ? RS_PULSE_OPEN_LEFT : 0u) |
                     (model.channel[1].open ? RS_PULSE_OPEN_RIGHT : 0u);
    for (int c = 0; c < 2; ++c) {
        o.count[c] = static_cast<uint32_t>(model.channel[c].closed.size());
        o.records[c] = model.channel[c].closed;
        if (model.channel[c].open) o.records[c].push_back(model.channel[c].record);
    }
    return o;
}

// A recording of B-byte samples: mostly quiet stretches with pulses near and far above the threshold,
// alternating full-scale signs and extremes, then words set exactly to the threshold and its neighbours.
std::vector<uint8_t> Recording(const Case& test, int64_t threshold, std::mt19937& random) {
    const int b = test.bytes;
    const int64_t top = (int64_t{1} << (8 * b - 1)) - 1;
    const int shift = 32 - 8 * b;
    const int64_t polarity = test.minHeight < 0 ? -1 : 1;
    std::vector<int64_t> values;
    while (values.size() < 40000) {
        int kind = std::uniform_int_distribution<int>(0, 9)(random);
        int64_t length = std::uniform_int_distribution<int64_t>(1, kind <= 4 ? 1500 : 200)(random);
        for (int64_t i = 0; i < length; ++i) {
            int64_t v = 0;
            if (kind <= 4) v = std::uniform_int_distribution<int64_t>(-3, 3)(random);           // quiet
            else if (kind <= 6) v = polarity * ((threshold >> shift) + std::uniform_int_distribution<int64_t>(-2, 2)(random));
            else if (kind == 7) v = (i & 1) ? top : -top - 1;                                    // alternating
            else if (kind == 8) v = std::uniform_int_distribution<int64_t>(-top - 1, top)(random);
            else v = polarity * std::uniform_int_distribution<int64_t>(0, top)(random);
            values.push_back(v);
        }
    }
    std::vector<uint8_t> bytes(values.size() * b);
    for (size_t k = 0; k < values.size(); ++k)
        for (int i = 0; i < b; ++i) bytes[k * b + i] = static_cast<uint8_t>(static_cast<uint64_t>(values[k]) >> (8 * i));
    // Whole words at, just below and just above the threshold (they overwrite the previous sample's top).
    for (int i = 0; i < 150; ++i) {
        size_t k = std::uniform_int_distribution<size_t>(1, values.size() - 1)(random);
        int64_t word = polarity * (threshold + std::uniform_int_distribution<int64_t>(-1, 1)(random));
        uint32_t w = static_cast<uint32_t>(word);
        if ((k + 1) * b >= 4) std::memcpy(&bytes[(k + 1) * b - 4], &w, 4);
    }
    return bytes;
}

class DetectorVectorsTest : public DetectorTest {
protected:
    void Prepare(const Case& test) {
        ResetProgramState();
        settings.inputChannels = test.channels == 2 ? 2 : test.liveMono;
        for (int c = 0; c < 2; ++c) {
            settings.channel[c].maxPulses = test.maxPulses;
            settings.channel[c].minHeight = test.minHeight;
            settings.channel[c].boostGain = test.gain;
            if (test.seconds > 0) settings.channel[c].acquisitionTime = test.seconds;
        }
        dataSampleRate = 48000;
        QuantizeSettings(true);
        AllocatePulseStore(true, false);
        UseLiveFormat(test.channels, test.bytes);
        SetReplayFormat(static_cast<uint16_t>(test.channels), static_cast<uint16_t>(test.channels * test.bytes));
        runState |= RS_ACQUIRING | (test.replay ? RS_FILE_REPLAY : 0u) | (test.shapeAcquisition ? RS_SHAPE_ACQUISITION : 0u);
    }

    static Outcome Observe() {
        Outcome o;
        for (int c = 0; c < 2; ++c) {
            o.count[c] = pulseCount[c];
            o.first[c] = bufferFirstPulse[c];
            // The open pulse's record too: it is part of the state a later block continues.
            uint32_t shown = pulseCount[c] + ((runState & (c ? RS_PULSE_OPEN_RIGHT : RS_PULSE_OPEN_LEFT)) ? 1 : 0);
            for (uint32_t i = 0; i < shown && i < pulseCapacity[c]; ++i) o.records[c].push_back(Record(c, i));
        }
        o.clock = sampleClock;
        o.openAndLimit = runState & (RS_PULSE_OPEN_LEFT | RS_PULSE_OPEN_RIGHT | RS_LIMIT_REACHED | RS_ACQUIRING);
        o.trigger = snapshotTrigger;
        o.ring.assign(&inputRing[0][0], &inputRing[0][0] + 2 * INPUT_RING_LENGTH);
        o.snapshot.assign(&inputSnapshot[0][0], &inputSnapshot[0][0] + 2 * INPUT_RING_LENGTH);
        o.shape.assign(&settings.pulseShape[0][0], &settings.pulseShape[0][0] + 2 * SHAPE_POINTS);
        return o;
    }

    // Feeds the recording in blocks of the given sample counts; the outcome after every block, and the
    // model's for the same blocks when asked for. With `ahead` each block comes with sums made
    // beforehand, as a replay makes them; every third time from another buffer, which the pass must
    // notice and ignore.
    std::vector<Outcome> Run(const Case& test, const std::vector<uint8_t>& bytes, const std::vector<int64_t>& blocks,
                             bool vectors, bool ahead = false, std::vector<Outcome>* modelled = nullptr) {
        Prepare(test);
        SetDetectorVectorPath(vectors);
        std::vector<Outcome> outcomes;
        ThresholdModel model;
        const int slotChannel[2] = {test.replay ? 0 : static_cast<int>(test.liveMono), 1};
        size_t at = 0;
        for (int64_t samples : blocks) {
            size_t length = static_cast<size_t>(samples * test.bytes);
            if (at + length > bytes.size()) break;
            // Each block in a buffer of its own size, so that a read beyond it is caught by ASan.
            std::vector<uint8_t> block(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                       bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
            if (ahead) {
                std::vector<uint8_t> other(block.size(), 0x7F);
                const uint8_t* source = outcomes.size() % 3 == 2 ? other.data() : block.data();
                BaselinesAhead estimate = RequestBaselines(source, static_cast<uint32_t>(block.size()));
                SumBaselinesAhead(&estimate);
                DetectPulses(block.data(), static_cast<uint32_t>(block.size()), &estimate);
            } else {
                DetectPulses(block.data(), static_cast<uint32_t>(block.size()));
            }
            outcomes.push_back(Observe());
            if (modelled) {
                model.Block(block, test.bytes, test.channels, slotChannel);
                modelled->push_back(Expected(model, outcomes.back()));
            }
            at += length;
        }
        return outcomes;
    }
};

TEST_F(DetectorVectorsTest, VectorPassesPerSamplePassesAndThePlainModelAgree) {
    const Case cases[] = {
        {2, 2, true, 0, 1.0, 1.0, 0, 1e6, false},     {3, 2, true, 0, -1.0, 1.0, 0, 1e6, false},
        {4, 1, true, 0, 2.0, 1.0, 0, 1e6, false},     {2, 1, false, 1, -2.0, 1.0, 0, 1e6, false},
        {3, 1, false, 0, 1.0, 3.0, 0, 1e6, false},    {4, 2, false, 0, 1.0, 2.5, 0, 1e6, false},
        {2, 2, true, 0, 1.0, 1.0, 0.3, 1e6, false},   {3, 2, false, 0, -0.5, 1.0, 0, 40, false},
        {2, 2, false, 0, 1.0, 1.0, 0, 1e6, true},     {4, 2, true, 0, -3.0, 1000.0, 0, 1e6, false},
        {3, 1, false, 0, 1.0, 1.0, 0.25, 1e6, false}, {4, 2, true, 0, -1.0, 1.0, 0.2, 1e6, false},
        {2, 1, true, 0, 1.0, 2.0, 0.1, 1e6, false},
    };
    std::mt19937 random(2024);
    for (const Case& test : cases) {
        SCOPED_TRACE(::testing::Message() << test.bytes << " bytes, " << test.channels << " channels, min height "
                                          << test.minHeight << ", gain " << test.gain
                                          << (test.replay ? ", replay" : ", live"));
        Prepare(test);
        int64_t threshold = workingParameters[0][FIELD_MIN_HEIGHT] * (test.minHeight < 0 ? -1 : 1);
        std::vector<uint8_t> bytes = Recording(test, threshold, random);
        // Blocks of every length: single samples, odd counts, stretches far longer than a vector.
        std::vector<int64_t> blocks;
        for (int64_t total = 0; total < static_cast<int64_t>(bytes.size() / test.bytes);) {
            int64_t length = std::uniform_int_distribution<int>(0, 3)(random) == 0
                                 ? std::uniform_int_distribution<int64_t>(1, 9)(random)
                                 : std::uniform_int_distribution<int64_t>(10, 6000)(random);
            blocks.push_back(length);
            total += length;
        }
        std::vector<Outcome> modelled;
        std::vector<Outcome> plain = Run(test, bytes, blocks, false, false, &modelled);
        std::vector<Outcome> fast = Run(test, bytes, blocks, true);
        std::vector<Outcome> estimated = Run(test, bytes, blocks, true, true);
        ASSERT_EQ(plain.size(), fast.size());
        ASSERT_TRUE(estimated == fast);
        uint32_t pulses = 0;
        for (size_t i = 0; i < plain.size(); ++i) {
            ASSERT_TRUE(plain[i] == fast[i]) << "after block " << i;
            // The model has no shape acquisition (its raised threshold and collection).
            if (!test.shapeAcquisition) {
                ASSERT_TRUE(plain[i] == modelled[i]) << "model, after block " << i;
            }
            pulses = plain[i].count[0] + plain[i].count[1];
        }
        EXPECT_GT(pulses, 0u);
        if (test.seconds > 0 || test.maxPulses < 1e6) {
            EXPECT_TRUE(plain.back().openAndLimit & RS_LIMIT_REACHED) << "the limit is reached";
        }
    }
}
}  // namespace
