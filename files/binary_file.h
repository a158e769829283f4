// Binary file access for the data file, the WAV reader and the exports: 64-bit sizes and offsets,
// reads and writes that loop until every byte has moved, and files replaced only when complete.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// A file opened for reading, with its size taken once at opening; closed when it goes out of scope.
struct InputFile {
    std::FILE* handle = nullptr;
    uint64_t size = 0;
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();
};

// Opens a regular file for reading. False (nothing open) when it does not exist or cannot be read.
bool OpenInputFile(InputFile& file, const char* path);

// Closes the file now (it stays closed).
void CloseInputFile(InputFile& file);

// Moves the read position; false when the offset lies beyond the end of the file.
bool SeekInputFile(InputFile& file, uint64_t offset);

// Reads up to byteCount bytes, in as many calls as it takes. Returns the number of bytes read:
// fewer only when the file ended or could not be read further.
uint64_t ReadInputFile(InputFile& file, void* data, uint64_t byteCount);

// A file being written: the contents go to a temporary file beside the target, which replaces the
// target only when FinishOutputFile has written and closed it without error. A failure at any step
// leaves an existing file under the target name untouched.
struct OutputFile {
    std::FILE* handle = nullptr;
    std::string path;
    std::string temporaryPath;
    uint64_t written = 0;
    bool failed = false;
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();
};

// Creates the temporary file. False when it cannot be created.
bool BeginOutputFile(OutputFile& file, const char* path);

// Appends byteCount bytes, in as many calls as it takes. False once any write has failed.
bool WriteOutputFile(OutputFile& file, const void* data, uint64_t byteCount);

// Closes the temporary file and renames it to the target. False (temporary removed, target as it
// was) when any write, the close or the rename failed.
bool FinishOutputFile(OutputFile& file);

// Test hooks: the largest number of bytes one read or write call moves (default 1 GiB, below the
// 2 GB that a single system call moves on Linux), and a size beyond which writes fail as on a full
// disk (0 = no limit).
void SetFileTransferLimit(uint64_t bytesPerCall);
void SetOutputSizeLimit(uint64_t bytes);
// How many read and write calls the file layer has made (to check that large transfers loop).
uint64_t FileTransferCalls();

void ResetBinaryFileState();
