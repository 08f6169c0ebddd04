#pragma once

#include <windows.h>

namespace inkbinder::win32 {

// DPI queries that use the per-monitor functions where the system has them
// (Windows 8.1 and 10) and fall back to the one system DPI elsewhere.
int SystemDpi();
int MonitorDpi(HMONITOR monitor);
int WindowDpi(HWND hwnd);

// The size of a window whose client area is `client_width` x `client_height`
// pixels, for a frame of `style`/`ex_style` drawn at `dpi`.
SIZE FrameSizeForClient(int client_width, int client_height, DWORD style, DWORD ex_style,
                        int dpi);

// The system's message-box font at `dpi`; the caller deletes it.
HFONT CreateMessageFont(int dpi);

}  // namespace inkbinder::win32
