#pragma once

// Resource and control ids of inkbinder.exe, shared by the .rc file, the
// window and the program that drives the window in tests.
#define IDI_INKBINDER 1

// Control ids start above IDOK (1) and IDCANCEL (2), so no keyboard
// shortcut of the dialog manager can ever reach a button.
#define IDC_COMMAND1 101  // the import button: picks the folder of pages
#define IDC_COMMAND2 102  // the convert button: writes and compiles the book
#define IDC_LABEL1 103    // the title box's caption
#define IDC_TEXT1 104     // the title box
#define IDC_LABEL2 105    // the status line
#define IDC_FILE1 106     // the page list
