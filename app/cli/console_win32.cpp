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
  std::fflush(stream);
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    // A console takes UTF-16 whatever its code page: Chinese shows even after chcp 437.
    const std::wstring wide = Utf8ToWide(utf8);
    DWORD written = 0;
    if (WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) {
      return;
    }
  }
  // A file or a pipe gets the system's code page, as every program here writes.
  const std::string text = Utf8ToCodePage(utf8, kSystemAnsi);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace inkbinder
