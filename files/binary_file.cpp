// Binary file access: 64-bit sizes, looping transfers, and replacement through a temporary file.
#include "files/binary_file.h"

#include <filesystem>
#include <system_error>

#include "platform/system.h"

namespace {
constexpr uint64_t DEFAULT_TRANSFER_LIMIT = 1ull << 30;

uint64_t transferLimit = DEFAULT_TRANSFER_LIMIT;
uint64_t outputSizeLimit = 0;
uint64_t transferCalls = 0;

size_t PieceSize(uint64_t remaining) {
    return static_cast<size_t>(remaining < transferLimit ? remaining : transferLimit);
}

void CloseOutput(OutputFile& file) {
    if (!file.handle) return;
    if (std::fclose(file.handle) != 0) file.failed = true;
    file.handle = nullptr;
}
}  // namespace

InputFile::~InputFile() { CloseInputFile(*this); }

OutputFile::~OutputFile() {
    // Abandoned before FinishOutputFile: the temporary file goes, the target stays as it was.
    if (!handle) return;
    CloseOutput(*this);
    std::error_code error;
    std::filesystem::remove(temporaryPath, error);
}

bool OpenInputFile(InputFile& file, const char* path) {
    CloseInputFile(file);
    if (!path || !*path) return false;
    std::error_code error;
    std::filesystem::path p(path);
    if (!std::filesystem::is_regular_file(p, error)) return false;
    uintmax_t size = std::filesystem::file_size(p, error);
    if (error) return false;
    file.handle = std::fopen(path, "rb");
    if (!file.handle) return false;
    file.size = static_cast<uint64_t>(size);
    return true;
}

void CloseInputFile(InputFile& file) {
    if (file.handle) std::fclose(file.handle);
    file.handle = nullptr;
}

bool SeekInputFile(InputFile& file, uint64_t offset) {
    if (!file.handle || offset > file.size) return false;
    return SeekFileStream(file.handle, offset);
}

uint64_t ReadInputFile(InputFile& file, void* data, uint64_t byteCount) {
    if (!file.handle) return 0;
    char* out = static_cast<char*>(data);
    uint64_t done = 0;
    while (done < byteCount) {
        ++transferCalls;
        size_t got = std::fread(out + done, 1, PieceSize(byteCount - done), file.handle);
        done += got;
        if (got == 0 || std::ferror(file.handle) || std::feof(file.handle)) break;
    }
    return done;
}

bool BeginOutputFile(OutputFile& file, const char* path) {
    if (!path || !*path) return false;
    file.path = path;
    file.temporaryPath = file.path + ".tmp";
    file.written = 0;
    file.failed = false;
    file.handle = std::fopen(file.temporaryPath.c_str(), "wb");
    return file.handle != nullptr;
}

bool WriteOutputFile(OutputFile& file, const void* data, uint64_t byteCount) {
    const char* in = static_cast<const char*>(data);
    uint64_t done = 0;
    while (!file.failed && done < byteCount) {
        size_t piece = PieceSize(byteCount - done);
        if (!file.handle || (outputSizeLimit != 0 && file.written + piece > outputSizeLimit)) {
            file.failed = true;
            break;
        }
        ++transferCalls;
        if (std::fwrite(in + done, 1, piece, file.handle) != piece) {
            file.failed = true;
            break;
        }
        done += piece;
        file.written += piece;
    }
    return !file.failed;
}

bool FinishOutputFile(OutputFile& file) {
    if (file.handle) {
        if (std::fflush(file.handle) != 0 || std::ferror(file.handle)) file.failed = true;
        CloseOutput(file);
    } else {
        file.failed = true;
    }
    std::error_code error;
    if (!file.failed) {
        std::filesystem::rename(file.temporaryPath, file.path, error);
        if (error) file.failed = true;
    }
    if (file.failed) std::filesystem::remove(file.temporaryPath, error);
    return !file.failed;
}

void SetFileTransferLimit(uint64_t bytesPerCall) {
    transferLimit = bytesPerCall == 0 ? DEFAULT_TRANSFER_LIMIT : bytesPerCall;
}

void SetOutputSizeLimit(uint64_t bytes) { outputSizeLimit = bytes; }

uint64_t FileTransferCalls() { return transferCalls; }

void ResetBinaryFileState() {
    transferLimit = DEFAULT_TRANSFER_LIMIT;
    outputSizeLimit = 0;
    transferCalls = 0;
}
