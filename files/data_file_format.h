// Layout of the data file ("*.pls"): the 7216-byte header (magic, counts, version, clock, header
// size, the true sample rate, the settings record), the rules for the older layouts it accepts, and
// the reader that checks a file into a plain record without touching the program.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

#include "acquisition/pulse_store.h"
#include "core/settings.h"

constexpr uint32_t DATA_FILE_VERSION = 25;
constexpr uint32_t DATA_FILE_HEADER_SIZE = 7216;
constexpr uint32_t OLD_PULS_HEADER_SIZE = 4120;   // magic "Puls", any version
constexpr uint32_t VERSION_0_HEADER_SIZE = 5928;  // magic "PULS", version 0
constexpr uint32_t DATA_FILE_MINIMUM_SIZE = 44;   // shorter files are neither data nor WAV files
constexpr uint64_t PULSE_RECORD_SIZE = 24;

// Sample rates that the reserved header field may carry; anything else there is ignored.
constexpr uint32_t MAX_PLAUSIBLE_SAMPLE_RATE = 10000000;

// The header as it lies at the start of the file (little-endian, no padding).
struct DataFileHeader {
    char magic[4];
    uint32_t leftCount;
    uint32_t rightCount;
    uint32_t version;
    int64_t sampleClock;
    uint32_t headerSize;
    uint32_t sampleRate;  // the reserved field: the true data sample rate (0 in files of other programs)
    SettingsRecord settings;
};
static_assert(sizeof(DataFileHeader) == DATA_FILE_HEADER_SIZE);
static_assert(offsetof(DataFileHeader, sampleClock) == 16);
static_assert(offsetof(DataFileHeader, headerSize) == 24);
static_assert(offsetof(DataFileHeader, sampleRate) == 28);
static_assert(offsetof(DataFileHeader, settings) == 32);

// Offsets within the file of the fields that "Load Data" takes over and of the rate index.
constexpr size_t FILE_OFFSET_RATE_INDEX = 36;
constexpr size_t FILE_OFFSET_INPUT_CHANNELS = 44;
constexpr size_t FILE_OFFSET_LEFT_MAX_PULSES = 104;
constexpr size_t FILE_OFFSET_RIGHT_MAX_PULSES = 216;
static_assert(offsetof(DataFileHeader, settings) + offsetof(SettingsRecord, inputRateIndex) == FILE_OFFSET_RATE_INDEX);
static_assert(offsetof(DataFileHeader, settings) + offsetof(SettingsRecord, inputChannels) ==
              FILE_OFFSET_INPUT_CHANNELS);
static_assert(offsetof(DataFileHeader, settings) + offsetof(SettingsRecord, channel) +
                  offsetof(ChannelSettings, maxPulses) == FILE_OFFSET_LEFT_MAX_PULSES);
static_assert(offsetof(DataFileHeader, settings) + sizeof(ChannelSettings) + offsetof(SettingsRecord, channel) +
                  offsetof(ChannelSettings, maxPulses) == FILE_OFFSET_RIGHT_MAX_PULSES);

enum DataFileKind {
    DATA_FILE_UNKNOWN,  // not a data file
    DATA_FILE_OLD,      // "Puls", or "PULS" of a version other than 20 to 25: settings ignored
    DATA_FILE_RATED,    // "PULS" versions 20 to 24: only the sample rate index is used
    DATA_FILE_CURRENT,  // "PULS" version 25: settings used
};

// What the header says about the file: its kind, where the pulse records begin and the size the
// file must have.
struct DataFileLayout {
    DataFileKind kind;
    uint32_t recordOffset;
    uint64_t expectedSize;
};

DataFileLayout DescribeDataFile(const DataFileHeader& header);

// The data sample rate a rated or current file stands for: the reserved field when it holds a
// plausible rate (version 25 only), else the entry of the rate index. False when the index lies
// outside the rate table.
bool DataFileSampleRate(const DataFileHeader& header, DataFileKind kind, uint32_t* rate);

// ---- Reading ---------------------------------------------------------------------------------------
// Where a data file is read from: its size and a read of `count` bytes at `offset` (false when fewer
// bytes came). Over an open file for the program, over a byte buffer for the tests.
struct DataFileSource {
    uint64_t size;
    std::function<bool(uint64_t offset, void* out, uint64_t count)> read;
};

// A source over bytes in memory (which must outlive it).
DataFileSource MemoryDataFileSource(const void* bytes, uint64_t size);

// A data file read and checked, before anything of it is taken over: its header, its layout and,
// for rated and current files, the data sample rate it stands for.
struct DataFileContents {
    DataFileHeader header;
    DataFileLayout layout;
    bool hasSampleRate;
    uint32_t sampleRate;
};

// Reads the header and checks the file's structure: a header's worth of bytes, a known layout, a
// size that matches the record counts, a clock not below 0 and, for rated and current files, a rate
// index inside the rate table. False when any of these fails. Touches nothing but *contents.
bool ParseDataFile(const DataFileSource& source, DataFileContents* contents);

// Reads the `count` records of one channel (0 left, 1 right) into out. False when the source ended early.
bool ReadDataFileRecords(const DataFileSource& source, const DataFileContents& contents, int channel,
                         PulseRecord* out);
