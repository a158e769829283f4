// The command dispatcher (the ids it dispatches live in core/ids.h).
#pragma once
#include <vector>

#include "core/ids.h"
#include "core/upcalls.h"  // SendCommand


// Every command the dispatcher received, in order (for the tests and the batch tool's trace).
const std::vector<int>& DispatchedCommands();
void ResetDispatcher();
