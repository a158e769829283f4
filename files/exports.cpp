// The text exports. Switched off: nothing is exported yet.
#include "files/exports.h"

void ExportCommand(int, int) {}
