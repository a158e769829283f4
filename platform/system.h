// Operating-system services the core needs beside the window system: the program's own path and
// the folders of its files, file and folder writability, the local time and the environment.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct LocalTime {
    int year, month, day, hour, minute, second;
};

// Absolute path of the running executable.
std::string ModulePath();
bool IsDirectoryWritable(const std::string& directory);
// Whether the file exists and this process may write it.
bool IsFileWritable(const std::string& path);
bool MakeDirectories(const std::string& directory);
LocalTime GetLocalTime();
// Minutes east of UTC that the local time zone had at a local date and time (daylight saving as it
// applied then); false when the time cannot be placed.
bool LocalUtcOffsetMinutes(const LocalTime& time, int* minutes);
std::string GetEnvironment(const char* name);
// Moves an open file's position to a byte offset from its start; 64-bit offsets on every system
// (std::fseek takes a long). False when the position cannot be set.
bool SeekFileStream(std::FILE* file, uint64_t offset);
// Memory for a large buffer that is filled from end to end again and again (the replay's block
// buffer): aligned and, where the system has them, backed by huge pages, so that filling it the first
// time costs a few page faults instead of one per 4 KB. Kept for the life of the process; null when
// the memory is not available.
void* AllocateLargeBuffer(size_t bytes);

// Whether standard error goes to a terminal (the batch tool then shows progress).
bool IsStandardErrorTerminal();

// Where the running program finds its own files. Started from its build folder it reads data files
// from the source tree and keeps settings and manual beside itself; anywhere else it counts as
// installed under <prefix>/bin and reads <prefix>/share/tik and <prefix>/share/doc/tik, whatever
// the prefix (a staged DESTDIR copy works like the final place).
struct ProgramFolders {
    bool installed;
    std::string data;           // read-only data files
    std::string documentation;  // the user manual tik.pdf
};
const ProgramFolders& GetProgramFolders();
