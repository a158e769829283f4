// Export lines assembled in textBuffer and written out in pieces.
#include "files/export_writer.h"

#include "core/number_text.h"
#include "files/file_messages.h"

namespace {
constexpr int NUMBER_LENGTH = 20;
// Room kept free for one more number, tab or line end.
constexpr int RESERVE = NUMBER_LENGTH + 4;

void WritePiece(ExportWriter& writer) {
    if (writer.length > 0) WriteOutputFile(writer.file, textBuffer, static_cast<uint64_t>(writer.length));
    writer.length = 0;
}

void MakeRoom(ExportWriter& writer) {
    if (writer.length > TEXT_BUFFER_SIZE - RESERVE) WritePiece(writer);
}
}  // namespace

bool BeginExport(ExportWriter& writer, const char* path) {
    writer.length = 0;
    return BeginOutputFile(writer.file, path);
}

void ExportText(ExportWriter& writer, const char* text) {
    for (const char* p = text; *p; ++p) {
        MakeRoom(writer);
        textBuffer[writer.length++] = *p;
    }
}

void ExportNumber(ExportWriter& writer, double value, int decimals) {
    MakeRoom(writer);
    writer.length += FormatNumber(value, decimals, NUMBER_LENGTH, textBuffer + writer.length, true);
}

void ExportTab(ExportWriter& writer) {
    MakeRoom(writer);
    textBuffer[writer.length++] = '\t';
}

void ExportEndLine(ExportWriter& writer) {
    MakeRoom(writer);
    textBuffer[writer.length++] = '\r';
    textBuffer[writer.length++] = '\n';
    WritePiece(writer);
}

bool FinishExport(ExportWriter& writer) {
    WritePiece(writer);
    if (FinishOutputFile(writer.file)) return true;
    ReportWriteFailure(writer.file.path.c_str());
    return false;
}
