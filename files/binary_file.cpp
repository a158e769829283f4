// Binary file access: 64-bit sizes, looping transfers, and replacement through a temporary file.
#include "files/binary_file.h"

#include <filesystem>
#include <system_error>

namespace {
constexpr uint64_t DEFAULT_TRANSFER_LIMIT = 1ull << 30;

uint64_t transferLimit = DEFAULT_TRANSFER_LIMIT;
uint64_t outputSizeLimit = 0;
uint64_t transferCalls = 0;

// std::streamsize is signed; one call never moves more than the transfer limit, which fits.
std::streamsize PieceSize(uint64_t remaining) {
    return static_cast<std::streamsize>(remaining < transferLimit ? remaining : transferLimit);
}
}  // namespace

bool OpenInputFile(InputFile& file, const char* path) {
    if (!path || !*path) return false;
    std::error_code error;
    std::filesystem::path p(path);
    if (!std::filesystem::is_regular_file(p, error)) return false;
    uintmax_t size = std::filesystem::file_size(p, error);
    if (error) return false;
    file.stream.open(p, std::ios::binary | std::ios::in);
    if (!file.stream.is_open()) return false;
    file.size = static_cast<uint64_t>(size);
    return true;
}

bool SeekInputFile(InputFile& file, uint64_t offset) {
    if (offset > file.size) return false;
    file.stream.clear();
    file.stream.seekg(static_cast<std::streamoff>(offset), std::ios::beg);
    return !file.stream.fail();
}

uint64_t ReadInputFile(InputFile& file, void* data, uint64_t byteCount) {
    char* out = static_cast<char*>(data);
    uint64_t done = 0;
    while (done < byteCount) {
        ++transferCalls;
        file.stream.read(out + done, PieceSize(byteCount - done));
        std::streamsize got = file.stream.gcount();
        if (got <= 0) break;
        done += static_cast<uint64_t>(got);
        if (!file.stream) break;
    }
    return done;
}

bool BeginOutputFile(OutputFile& file, const char* path) {
    if (!path || !*path) return false;
    file.path = path;
    file.temporaryPath = file.path + ".tmp";
    file.written = 0;
    file.failed = false;
    file.stream.open(std::filesystem::path(file.temporaryPath), std::ios::binary | std::ios::out | std::ios::trunc);
    return file.stream.is_open();
}

bool WriteOutputFile(OutputFile& file, const void* data, uint64_t byteCount) {
    const char* in = static_cast<const char*>(data);
    uint64_t done = 0;
    while (!file.failed && done < byteCount) {
        std::streamsize piece = PieceSize(byteCount - done);
        if (outputSizeLimit != 0 && file.written + static_cast<uint64_t>(piece) > outputSizeLimit) {
            file.failed = true;
            break;
        }
        ++transferCalls;
        file.stream.write(in + done, piece);
        if (!file.stream) {
            file.failed = true;
            break;
        }
        done += static_cast<uint64_t>(piece);
        file.written += static_cast<uint64_t>(piece);
    }
    return !file.failed;
}

bool FinishOutputFile(OutputFile& file) {
    if (file.stream.is_open()) {
        file.stream.flush();
        if (!file.stream) file.failed = true;
        file.stream.close();
        if (file.stream.fail()) file.failed = true;
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
