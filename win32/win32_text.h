#pragma once

#include <windows.h>

#include <string>

namespace inkbinder::win32 {

// The program's texts are UTF-8; the ANSI window functions take and give the
// system ANSI code page. These convert at the call.
void SetControlText(HWND hwnd, const std::string& utf8);
std::string ControlText(HWND hwnd);

}  // namespace inkbinder::win32
