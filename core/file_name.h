// The file-name buffer shared by the file dialogs, the command line and dropped files: a path of at
// most 260 characters at the start of textBuffer, and the offset of the file name within it.
#pragma once

constexpr int MAX_PATH_LENGTH = 260;

// Offset of the file name (after the last path separator) in the file-name buffer.
extern int fileNameOffset;

// The file-name buffer (the start of textBuffer).
char* FileNameBuffer();

// Copies a path into the buffer and sets the file-name offset; false (buffer untouched) when the path
// is empty or does not fit in 260 characters with its terminator.
bool SetFileName(const char* path);

// Sets the offset from the path already in the buffer.
void UpdateFileNameOffset();
