// The window procedure's handlers as the host calls them.
#include "ui/host_events.h"

#include "ui/commands.h"

void HostPaint(int) {}
void HostSize(int, int, int) {}
void HostClose(int) {}
void HostKeyDown(int, int) {}
void HostMouse(int, int, unsigned, int, int, int) {}
void HostHorizontalScroll(int, int, int) {}
void HostCommand(int window, int command) { SendCommand(window, command); }
void HostTimer(int) {}
void HostDropFile(int, const char*) {}
void OnAudioInputBufferFilled(int) {}
void OnAudioOutputBlockDone(int) {}
