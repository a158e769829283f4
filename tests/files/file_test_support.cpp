// Test material for the file commands: WAV and data files, pulse trains and the reference detector.
#include "tests/files/file_test_support.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>

#include "core/run_state.h"
#include "core/settings.h"
#include "files/file_messages.h"
#include "platform/headless/headless.h"
#include "platform/scripted/scripted_audio.h"
#include "ui/commands.h"
#include "ui/program_state.h"

namespace {
// A little-endian number of `size` bytes.
void Put(Bytes& out, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutText(Bytes& out, const char* text) {
    out.insert(out.end(), text, text + std::strlen(text));
}

template <typename T>
void PutAt(Bytes& out, size_t offset, const T& value) {
    std::memcpy(out.data() + offset, &value, sizeof(value));
}

constexpr uint32_t REPLAY_BLOCK = 1536000;
}  // namespace

std::vector<int16_t> PulseTrain(int channels, int64_t frames, const std::vector<TestPulse>& pulses) {
    std::vector<int16_t> samples(static_cast<size_t>(frames * channels), 0);
    for (const TestPulse& p : pulses)
        for (int i = 0; i < p.width && p.start + i < frames; ++i)
            samples[static_cast<size_t>((p.start + i) * channels + p.channel)] = p.amplitude;
    return samples;
}

std::vector<TestPulse> RandomPulses(int channels, int64_t frames, int perChannel, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<TestPulse> pulses;
    int64_t spacing = frames / (perChannel + 1);
    for (int i = 0; i < perChannel; ++i) {
        int64_t start =
            spacing * (i + 1) + static_cast<int64_t>(random() % static_cast<uint32_t>(spacing / 4));
        int width = 2 + static_cast<int>(random() % 30);
        auto amplitude = static_cast<int16_t>(1000 + random() % 30000);
        pulses.push_back({0, start, width, amplitude});
        if (channels < 2) continue;
        // Every third pulse has a partner that starts a little later; the others stand alone.
        if (i % 3 == 0)
            pulses.push_back({1, start + static_cast<int64_t>(random() % 3), width,
                              static_cast<int16_t>(amplitude / 2 + 400)});
        else
            pulses.push_back({1, start + spacing / 2, 3 + static_cast<int>(random() % 10), amplitude});
    }
    return pulses;
}

Bytes SamplesAsBytes(const std::vector<int16_t>& samples) {
    Bytes out;
    out.reserve(samples.size() * 2);
    for (int16_t s : samples) Put(out, static_cast<uint16_t>(s), 2);
    return out;
}

Bytes WavBytes(const WavRecipe& recipe) {
    uint16_t blockAlign = recipe.blockAlign ? recipe.blockAlign
                                            : static_cast<uint16_t>(recipe.channels * recipe.bytesPerSample);
    Bytes format;
    PutText(format, "fmt ");
    Put(format, recipe.formatChunkSize, 4);
    Put(format, recipe.formatTag, 2);
    Put(format, recipe.channels, 2);
    Put(format, recipe.sampleRate, 4);
    Put(format, recipe.sampleRate * blockAlign, 4);
    Put(format, blockAlign, 2);
    Put(format, static_cast<uint32_t>(recipe.bytesPerSample * 8), 2);
    for (uint32_t i = 16; i < recipe.formatChunkSize; ++i) format.push_back(0);
    Bytes list;
    if (recipe.listChunk) {
        PutText(list, "LIST");
        Put(list, 13, 4);
        PutText(list, "INFOISFT");
        Put(list, 1, 4);
        list.push_back('x');  // odd size: no pad byte follows
    }
    Bytes data;
    PutText(data, "data");
    Put(data, static_cast<uint32_t>(static_cast<int64_t>(recipe.samples.size()) + recipe.dataSizeDelta), 4);
    data.insert(data.end(), recipe.samples.begin(), recipe.samples.end());

    Bytes out;
    PutText(out, "RIFF");
    size_t body = 4 + format.size() + list.size() + data.size();
    Put(out, static_cast<uint32_t>(static_cast<int64_t>(body) + recipe.riffSizeDelta), 4);
    PutText(out, "WAVE");
    const Bytes* order[3] = {&format, &list, &data};
    if (recipe.dataBeforeFormat) std::swap(order[0], order[2]);
    for (const Bytes* part : order) out.insert(out.end(), part->begin(), part->end());
    return out;
}

Bytes DataFileBytes(const DataFileRecipe& recipe) {
    uint32_t layoutSize = recipe.magic == "Puls" ? 4120 : (recipe.version == 0 ? 5928 : recipe.headerSize);
    Bytes out(layoutSize > 7216 ? layoutSize : 7216, 0);
    std::memcpy(out.data(), recipe.magic.data(), 4);
    PutAt(out, 4, static_cast<uint32_t>(recipe.left.size()));
    PutAt(out, 8, static_cast<uint32_t>(recipe.right.size()));
    PutAt(out, 12, recipe.version);
    PutAt(out, 16, recipe.sampleClock);
    PutAt(out, 24, recipe.headerSize);
    PutAt(out, 28, recipe.reserved);
    // A settings record as the program writes it, with the fields the reader looks at set.
    SettingsRecord record;
    SetDefaultSettings(record);
    record.inputRateIndex = recipe.rateIndex;
    record.inputChannels = recipe.inputChannels;
    record.channel[0].maxPulses = recipe.maxPulses[0];
    record.channel[1].maxPulses = recipe.maxPulses[1];
    std::memcpy(out.data() + 32, &record, sizeof(record));
    out.resize(layoutSize);
    for (const auto* records : {&recipe.left, &recipe.right}) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(records->data());
        out.insert(out.end(), p, p + records->size() * sizeof(PulseRecord));
    }
    out.resize(static_cast<size_t>(static_cast<int64_t>(out.size()) + recipe.sizeDelta));
    return out;
}

std::vector<PulseRecord> MakeRecords(uint32_t count, uint32_t seed) {
    std::vector<PulseRecord> records(count);
    int64_t time = seed;
    for (uint32_t i = 0; i < count; ++i) {
        time += 10 + (i * 7 + seed) % 50;
        records[i] = {time, 1 + i % 9, 30000000u + i * 1000u + seed, (i * 12345u) ^ seed, i % 5 ? 0u : i / 2};
    }
    return records;
}

void ExpectStoreHolds(const std::vector<PulseRecord>& left, const std::vector<PulseRecord>& right) {
    for (int c = 0; c < 2; ++c) {
        const std::vector<PulseRecord>& records = c ? right : left;
        ASSERT_EQ(pulseCount[c], records.size()) << "channel " << c;
        for (uint32_t i = 0; i < records.size(); ++i)
            ASSERT_EQ(std::memcmp(&Pulse(c, i), &records[i], sizeof(PulseRecord)), 0) << c << " " << i;
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

ThresholdModel ReplayModel(const Bytes& samples, int channels, int bytesPerSample) {
    ThresholdModel model;
    const int slotChannel[2] = {0, 1};
    for (size_t at = 0; at < samples.size(); at += REPLAY_BLOCK) {
        size_t end = std::min<size_t>(at + REPLAY_BLOCK, samples.size());
        Bytes block(samples.begin() + static_cast<std::ptrdiff_t>(at),
                    samples.begin() + static_cast<std::ptrdiff_t>(end));
        model.Block(block, bytesPerSample, channels, slotChannel);
    }
    return model;
}

void FilesTest::SetUp() {
    ProgramTest::SetUp();
    Start();
}

void FilesTest::RestartProgram() {
    HeadlessReset();
    ScriptedAudioReset();
    ResetProgramState();
    Start();
}

std::string FilesTest::MakeFile(const std::string& name, const Bytes& bytes) {
    std::string path = TempPath(name);
    WriteFileBytes(path, std::vector<unsigned char>(bytes.begin(), bytes.end()));
    return path;
}

void FilesTest::RunCommand(int command, const std::string& path) {
    if (!path.empty()) Headless().fileAnswers.push_back(path);
    SendCommand(WND_PULSES, command);
}

int FilesTest::FormatErrors() const {
    int n = 0;
    for (const RecordedMessage& m : Headless().messages) n += m.text == WRONG_FORMAT_MESSAGE ? 1 : 0;
    return n;
}

std::string FilesTest::ReadText(const std::string& path) const {
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

int FilesTest::RunCli(const std::string& arguments) {
    std::string command = "cd '" + tempDirectory + "' && TIK_SETTINGS='" + TempPath("cli.ini") + "' '" +
                          TIK_CLI_PATH + "' " + arguments + " >'" + TempPath("out.txt") + "' 2>'" +
                          TempPath("err.txt") + "'";
    int status = std::system(command.c_str());
    cliOutput = ReadText(TempPath("out.txt"));
    cliErrors = ReadText(TempPath("err.txt"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
