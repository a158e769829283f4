// Writing export lines: each line is assembled in textBuffer and written out; a line longer than
// the buffer is written in pieces, so no line can overrun it.
#pragma once
#include "files/binary_file.h"

struct ExportWriter {
    OutputFile file;
    int length = 0;  // characters of the current line (or piece) in textBuffer
};

// Creates the export file (replaced only when complete).
bool BeginExport(ExportWriter& writer, const char* path);

// Appends text, a number (FormatNumber, trimmed, at most 20 characters), a tab, or CR LF (which
// also writes the line).
void ExportText(ExportWriter& writer, const char* text);
void ExportNumber(ExportWriter& writer, double value, int decimals);
void ExportTab(ExportWriter& writer);
void ExportEndLine(ExportWriter& writer);

// Writes what is left and puts the file in place; reports a file that could not be written with a
// message box. False in that case.
bool FinishExport(ExportWriter& writer);
