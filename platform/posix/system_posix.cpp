// Operating-system services on POSIX systems: executable path and the program's folders, file and
// folder checks, local time, environment.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>
#include <string>

#include "platform/system.h"

std::string ModulePath() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (n <= 0) return "tik";
    buffer[n] = '\0';
    return std::string(buffer);
}

bool IsDirectoryWritable(const std::string& directory) {
    return access(directory.empty() ? "." : directory.c_str(), W_OK | X_OK) == 0;
}

bool IsFileWritable(const std::string& path) { return !path.empty() && access(path.c_str(), W_OK) == 0; }

bool MakeDirectories(const std::string& directory) {
    if (directory.empty()) return true;
    std::string partial;
    for (size_t i = 0; i <= directory.size(); ++i) {
        if (i == directory.size() || directory[i] == '/') {
            partial = directory.substr(0, i);
            if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

LocalTime GetLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

bool LocalUtcOffsetMinutes(const LocalTime& time, int* minutes) {
    std::tm local{};
    local.tm_year = time.year - 1900;
    local.tm_mon = time.month - 1;
    local.tm_mday = time.day;
    local.tm_hour = time.hour;
    local.tm_min = time.minute;
    local.tm_sec = time.second;
    local.tm_isdst = -1;
    std::tm fields = local;
    std::time_t instant = std::mktime(&local);
    if (instant == static_cast<std::time_t>(-1)) return false;
    // The same fields read as UTC lie ahead of the instant by the zone's offset.
    std::time_t asUtc = timegm(&fields);
    if (asUtc == static_cast<std::time_t>(-1)) return false;
    *minutes = static_cast<int>((asUtc - instant) / 60);
    return true;
}

std::string GetEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool SeekFileStream(std::FILE* file, uint64_t offset) {
    if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return false;
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool IsStandardErrorTerminal() { return isatty(STDERR_FILENO) == 1; }

void* AllocateLargeBuffer(size_t bytes) {
    constexpr size_t HUGE_PAGE = size_t{1} << 21;
    if (bytes == 0 || bytes > SIZE_MAX - HUGE_PAGE) return nullptr;
    size_t rounded = (bytes + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
    void* buffer = std::aligned_alloc(HUGE_PAGE, rounded);
#ifdef MADV_HUGEPAGE
    // Only a hint: without transparent huge pages the buffer simply keeps small pages.
    if (buffer) madvise(buffer, rounded, MADV_HUGEPAGE);
#endif
    return buffer;
}

namespace {
// The folders are fixed by the build: the build and source folders for a build-folder run, the
// install layout relative to the installed program's bin folder otherwise.
ProgramFolders FindProgramFolders() {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path program = fs::path(ModulePath()).parent_path();
    if (fs::equivalent(program, TIK_BUILD_DIR, error)) return {false, TIK_SOURCE_DATA_DIR, program.string()};
    return {true, (program / TIK_DATA_FROM_BIN).lexically_normal().string(),
            (program / TIK_DOC_FROM_BIN).lexically_normal().string()};
}
}  // namespace

const ProgramFolders& GetProgramFolders() {
    static const ProgramFolders folders = FindProgramFolders();
    return folders;
}
