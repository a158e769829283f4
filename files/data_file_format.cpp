// Data file layout: the kind of a header and where its records lie, the sample rate it carries, and
// the reader that checks a file into a DataFileContents record.
#include "files/data_file_format.h"

#include <cstring>

DataFileLayout DescribeDataFile(const DataFileHeader& header) {
    DataFileLayout layout{DATA_FILE_UNKNOWN, 0, 0};
    if (std::memcmp(header.magic, "Puls", 4) == 0) {
        layout.kind = DATA_FILE_OLD;
        layout.recordOffset = OLD_PULS_HEADER_SIZE;
    } else if (std::memcmp(header.magic, "PULS", 4) == 0) {
        if (header.version == DATA_FILE_VERSION)
            layout.kind = DATA_FILE_CURRENT;
        else if (header.version >= 20 && header.version < DATA_FILE_VERSION)
            layout.kind = DATA_FILE_RATED;
        else
            layout.kind = DATA_FILE_OLD;
        layout.recordOffset = header.version == 0 ? VERSION_0_HEADER_SIZE : header.headerSize;
    } else {
        return layout;
    }
    // Computed in 64 bits: two counts of up to 2^32 - 1 records cannot wrap around.
    uint64_t records = static_cast<uint64_t>(header.leftCount) + header.rightCount;
    layout.expectedSize = layout.recordOffset + PULSE_RECORD_SIZE * records;
    return layout;
}

bool DataFileSampleRate(const DataFileHeader& header, DataFileKind kind, uint32_t* rate) {
    int32_t index = header.settings.inputRateIndex;
    if (index < 0 || index > 7) return false;
    *rate = sampleRateTable[index];
    if (kind == DATA_FILE_CURRENT && header.sampleRate > 0 && header.sampleRate <= MAX_PLAUSIBLE_SAMPLE_RATE)
        *rate = header.sampleRate;
    return true;
}

DataFileSource MemoryDataFileSource(const void* bytes, uint64_t size) {
    const auto* base = static_cast<const uint8_t*>(bytes);
    return {size, [base, size](uint64_t offset, void* out, uint64_t count) {
                if (offset > size || count > size - offset) return false;
                if (count > 0) std::memcpy(out, base + offset, static_cast<size_t>(count));
                return true;
            }};
}

bool ParseDataFile(const DataFileSource& source, DataFileContents* contents) {
    DataFileContents parsed{};
    if (source.size < DATA_FILE_HEADER_SIZE || !source.read(0, &parsed.header, sizeof(parsed.header))) return false;
    parsed.layout = DescribeDataFile(parsed.header);
    if (parsed.layout.kind == DATA_FILE_UNKNOWN || source.size != parsed.layout.expectedSize ||
        parsed.header.sampleClock < 0)
        return false;
    if (parsed.layout.kind == DATA_FILE_RATED || parsed.layout.kind == DATA_FILE_CURRENT) {
        if (!DataFileSampleRate(parsed.header, parsed.layout.kind, &parsed.sampleRate)) return false;
        parsed.hasSampleRate = true;
    }
    *contents = parsed;
    return true;
}

bool ReadDataFileRecords(const DataFileSource& source, const DataFileContents& contents, int channel,
                         PulseRecord* out) {
    uint64_t offset = contents.layout.recordOffset;
    if (channel == 1) offset += PULSE_RECORD_SIZE * contents.header.leftCount;
    uint32_t count = channel == 0 ? contents.header.leftCount : contents.header.rightCount;
    if (count == 0) return true;
    return source.read(offset, out, PULSE_RECORD_SIZE * count);
}
