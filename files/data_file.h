// The data file: open (data files and WAV files), load data, save, and the writes at Stop and hourly.
#pragma once

// "&Open", "&Load Data", "Obtain &Pulse Shape from Sound File" and the command-line or dropped file
// (IDM_OPEN_NAMED_FILE, with the path in the file-name buffer). Runs only while RS_FILES_ALLOWED is set.
// Every structural problem shows "Wrong format or file is corrupted"; the store then holds no
// pulses if its capacities had changed already. A missing file is ignored; one that is there but
// cannot be read (a folder, no permission) is reported with "File could not be read:".
void OpenFileCommand(int window, int command);

// The batch tool's replay takes WAV files only. While openWavOnly is set, the open path leaves a file
// that does not start with "RIFF" alone (no message, nothing changed) and sets openRefusedNotWav, so
// that the file is opened once and judged by the bytes actually read.
extern bool openWavOnly;
extern bool openRefusedNotWav;

// "&Save": asks for a data file name; while acquiring the file is written again at Stop.
void SaveCommand(int window);

// Writes the data file under the chosen name (hourly timer, Stop with autosave, Save). The previous
// file is replaced only by a complete new one; a file that cannot be written is reported. Nothing
// happens before a name was chosen.
void WriteDataFile();

// The name (without folder) of the file the data in memory were opened from or last written to, as
// long as the acquisition has not changed since; empty otherwise.
const char* AcquisitionFileName();

void ResetDataFileState();
