// The data file: open (data files and WAV files), load data, save, and the writes at Stop and hourly.
#pragma once

// "&Open", "&Load Data", "Obtain &Pulse Shape from Sound File" and the command-line or dropped file
// (command 33000, with the path in the file-name buffer).
void OpenFileCommand(int window, int command);

// "&Save": asks for a data file name; while acquiring the file is written at Stop.
void SaveCommand(int window);

// Writes the data file under the chosen name (hourly timer, Stop with autosave, Save while idle).
void WriteDataFile();

void ResetDataFileState();
