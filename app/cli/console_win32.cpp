#include <windows.h>
#include <io.h>
#include <shellapi.h>
#include <stdio.h>

#include "app/cli/console.h"
#include "project/text_encoding.h"
#include "project/wide_text_win32.h"

namespace inkbinder {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  // argv is in the ANSI code page, which loses what it cannot hold: read the wide command line.
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) args.push_back(WideToUtf8(wide[i]));
    LocalFree(wide);
    return args;
  }
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(CodePageToUtf8(argv[i], kSystemAnsi));
  return args;
}

void PrintText(std::FILE* stream, const std::string& utf8) {
  // A console shows its output code page; a file or pipe gets the system's.
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  UINT code_page = CP_ACP;
  if (GetConsoleMode(handle, &mode)) {
    if (const UINT console = GetConsoleOutputCP(); console != 0) code_page = console;
  }
  const std::string text = Utf8ToCodePage(utf8, static_cast<CodePage>(code_page));
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace inkbinder
