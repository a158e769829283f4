// Number text: the fixed-decimal formatter and the lenient parser that fix how every number the
// program shows, writes and reads looks, and the bounded string append.
#pragma once
#include <cstdint>

constexpr int TEXT_BUFFER_SIZE = 327680;

// Shared character buffer of the file dialogs, dialog-text reading and export lines.
extern char textBuffer[TEXT_BUFFER_SIZE];

// Writes value with `decimals` fixed decimals (at most maxLength characters, the most significant
// digits lost when cut) and its terminator into destination; trims trailing zeros when trim is set.
// Returns the number of characters written.
int FormatNumber(double value, int decimals, int maxLength, char* destination, bool trim);

// Reads a number leniently from at most maxLength characters; warns with a message box on malformed text.
double ParseNumber(const char* text, int maxLength);

// Reads a dialog control's text as a number clamped to [minimum, maximum] (NaN gives the minimum).
double ReadDialogNumber(int dialog, int control, double minimum, double maximum);

// Writes a number into a dialog control (25 characters at most, trailing zeros trimmed).
void WriteDialogNumber(int dialog, int control, double value, uint32_t decimals);

// The number a dialog edit holds after WriteDialogNumber and ReadDialogNumber: value with `decimals`
// decimals, read back and clamped to [minimum, maximum].
double ShownDialogNumber(double value, uint32_t decimals, double minimum, double maximum);

// Keeps the first characters of destination (up to destinationLength, its terminator or capacity) and
// appends source (up to sourceLength or its terminator) without exceeding capacity characters.
int AppendBounded(char* destination, const char* source, int destinationLength, int sourceLength,
                  int capacity);
