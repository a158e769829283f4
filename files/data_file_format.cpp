// Data file layout: the kind of a header and where its records lie, and the sample rate it carries.
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
