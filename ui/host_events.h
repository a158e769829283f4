// Entry points the host (Qt or headless window side, audio backends) calls on the user-interface
// thread: the window procedure's handlers, commands, timers, drops and audio notifications.
#pragma once

// Virtual-key codes the key handler understands (letters are their upper-case ASCII codes).
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;  // Alt
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_PRIOR = 0x21;  // Page Up
constexpr int VK_NEXT = 0x22;   // Page Down
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_DELETE = 0x2E;
constexpr int VK_F1 = 0x70;
constexpr int VK_F2 = 0x71;
constexpr int VK_OEM_COMMA = 0xBC;
constexpr int VK_OEM_PERIOD = 0xBE;

// Mouse messages and button state flags.
constexpr int WM_MOUSEMOVE = 0x0200;
constexpr int WM_LBUTTONDOWN = 0x0201;
constexpr int WM_LBUTTONUP = 0x0202;
constexpr int WM_MOUSEWHEEL = 0x020A;
constexpr unsigned MK_LBUTTON = 0x0001;
constexpr unsigned MK_SHIFT = 0x0004;
constexpr unsigned MK_CONTROL = 0x0008;

// Scroll-bar request codes.
constexpr int SB_LINELEFT = 0;
constexpr int SB_LINERIGHT = 1;
constexpr int SB_PAGELEFT = 2;
constexpr int SB_PAGERIGHT = 3;
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_THUMBTRACK = 5;
constexpr int SB_LEFT = 6;
constexpr int SB_RIGHT = 7;
constexpr int SB_ENDSCROLL = 8;

void HostPaint(int window);
void HostSize(int window, int width, int height);
void HostClose(int window);
void HostKeyDown(int window, int virtualKey);
void HostMouse(int window, int message, unsigned keys, int x, int y, int wheelDelta);
void HostHorizontalScroll(int window, int code, int position);
void HostCommand(int window, int command);
void HostTimer(int timerId);
void HostDropFile(int window, const char* path);
void OnAudioInputBufferFilled(int index);
void OnAudioOutputBlockDone(int index);
