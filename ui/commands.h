// The command dispatcher (the ids it dispatches live in core/ids.h).
#pragma once
#include <vector>

#include "core/ids.h"


// Runs a command synchronously, as if the window had received it. Only the low 16 bits are the id.
void SendCommand(int window, int command);

// Every command the dispatcher received, in order (for the tests and the batch tool's trace).
const std::vector<int>& DispatchedCommands();
void ResetDispatcher();
