// Test material for the file commands: WAV files built byte by byte (also malformed ones), data
// files of every accepted layout, pulse trains with known pulses, and the threshold model fed as a
// replay feeds the detector.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/pulse_store.h"
#include "tests/support/test_support.h"
#include "tests/support/threshold_model.h"

using Bytes = std::vector<uint8_t>;

// A rectangular pulse of one channel in a 16-bit recording.
struct TestPulse {
    int channel;
    int64_t start;  // frame
    int width;      // frames
    int16_t amplitude;
};

// Interleaved 16-bit samples (frames x channels) that are 0 except for the pulses.
std::vector<int16_t> PulseTrain(int channels, int64_t frames, const std::vector<TestPulse>& pulses);

// A reproducible train: about `perChannel` pulses per channel, well apart, some of them coincident.
std::vector<TestPulse> RandomPulses(int channels, int64_t frames, int perChannel, uint32_t seed);

// The parts of a WAV file; the defaults make a canonical 44-byte-header PCM file.
struct WavRecipe {
    uint16_t formatTag = 1;
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;
    uint16_t bytesPerSample = 2;
    uint16_t blockAlign = 0;        // 0: channels x bytesPerSample
    uint32_t formatChunkSize = 16;  // 18 adds two zero bytes to the chunk
    bool listChunk = false;         // a LIST chunk between "fmt " and "data"
    bool dataBeforeFormat = false;
    int64_t riffSizeDelta = 0;  // added to the correct RIFF size
    int64_t dataSizeDelta = 0;  // added to the declared data size
    Bytes samples;              // the data chunk's body
};

Bytes WavBytes(const WavRecipe& recipe);
Bytes SamplesAsBytes(const std::vector<int16_t>& samples);

// A data file: header fields and records (left ones first). headerSize 0: the layout's own size.
struct DataFileRecipe {
    std::string magic = "PULS";
    uint32_t version = 25;
    uint32_t headerSize = 7216;
    uint32_t reserved = 0;
    int64_t sampleClock = 0;
    int32_t rateIndex = 1;
    uint32_t inputChannels = 2;
    double maxPulses[2] = {1000000, 1000000};
    std::vector<PulseRecord> left, right;
    int64_t sizeDelta = 0;  // bytes added (or removed) at the end
};

Bytes DataFileBytes(const DataFileRecipe& recipe);

// Records with increasing times and distinct contents.
std::vector<PulseRecord> MakeRecords(uint32_t count, uint32_t seed);

// The store holds exactly these records of the left and the right channel.
void ExpectStoreHolds(const std::vector<PulseRecord>& left, const std::vector<PulseRecord>& right);

// The lines of a text, without their LF or CR LF ends.
std::vector<std::string> Lines(const std::string& text);

// The threshold method's model fed with a recording as a replay cuts it into blocks: the records and
// the clock the replay must give.
ThresholdModel ReplayModel(const Bytes& samples, int channels, int bytesPerSample);

// A fixture that starts the whole program headless, with its settings file in the test's folder.
class FilesTest : public ProgramTest {
  protected:
    void SetUp() override;
    // Starts the program anew (fresh state and headless side), as a second run would.
    void RestartProgram();
    // Puts bytes into a file of the test folder and returns its path.
    std::string MakeFile(const std::string& name, const Bytes& bytes);
    // Sends a menu command whose file dialog (if it opens one) is answered with `path`.
    void RunCommand(int command, const std::string& path = "");
    // Number of times "Wrong format or file is corrupted" was shown.
    int FormatErrors() const;
    std::string ReadText(const std::string& path) const;
    // Runs tik-cli in the test folder with its own settings file; returns its exit status and keeps
    // what it printed in cliOutput and cliErrors.
    int RunCli(const std::string& arguments);
    std::string cliOutput, cliErrors;
};
