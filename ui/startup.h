// Start-up of the program: the initialisation sequence, the seven windows and the command-line file.
#pragma once

// Runs the whole initialisation; false when the program cannot start (a message was shown).
// commandLineFile may be null or empty.
bool StartProgram(const char* commandLineFile);
