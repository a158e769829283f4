// The data file. Switched off: files cannot be opened or written yet.
#include "files/data_file.h"

void OpenFileCommand(int, int) {}
void SaveCommand(int) {}
void WriteDataFile() {}
void ResetDataFileState() {}
