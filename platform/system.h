// Operating-system services the core needs beside the window system: the program's own path,
// folder writability, the local time and the environment.
#pragma once
#include <string>

struct LocalTime {
    int year, month, day, hour, minute, second;
};

// Absolute path of the running executable.
std::string ModulePath();
bool IsDirectoryWritable(const std::string& directory);
bool MakeDirectories(const std::string& directory);
LocalTime GetLocalTime();
std::string GetEnvironment(const char* name);
// Whether standard error goes to a terminal (the batch tool then shows progress).
bool IsStandardErrorTerminal();
