// The file-name buffer and its file-name offset.
#include "core/file_name.h"

#include <cstring>

#include "core/number_text.h"

int fileNameOffset = 0;

char* FileNameBuffer() { return textBuffer; }

void UpdateFileNameOffset() {
    fileNameOffset = 0;
    for (int i = 0; i < MAX_PATH_LENGTH && textBuffer[i] != '\0'; ++i)
        if (textBuffer[i] == '/' || textBuffer[i] == '\\') fileNameOffset = i + 1;
}

bool SetFileName(const char* path) {
    if (!path) return false;
    size_t length = std::strlen(path);
    if (length == 0 || length >= static_cast<size_t>(MAX_PATH_LENGTH)) return false;
    std::memcpy(textBuffer, path, length + 1);
    UpdateFileNameOffset();
    return true;
}
