#pragma once

// Resource and control ids of inkbinder.exe, shared by the .rc file, the
// window and the program that drives the window in tests.
#define IDI_INKBINDER 1

// Control ids start above IDOK (1) and IDCANCEL (2), so no keyboard
// shortcut of the dialog manager can ever reach a button.
#define IDC_COMMAND1 101
#define IDC_COMMAND2 102
#define IDC_LABEL1 103
#define IDC_TEXT1 104
#define IDC_LABEL2 105
#define IDC_FILE1 106
