// The messages of the file commands.
#include "files/file_messages.h"

#include <string>

#include "platform/ui.h"

void ReportWriteFailure(const char* path) {
    std::string text = "File could not be written:\n";
    text += path ? path : "";
    ShowMessage(text.c_str(), MB_ICONHAND);
}

void ReportReadFailure(const char* path) {
    std::string text = "File could not be read:\n";
    text += path ? path : "";
    ShowMessage(text.c_str(), MB_ICONHAND);
}
