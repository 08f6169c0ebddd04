#include <stdlib.h>

#include "platform/program_folder.h"
#include "platform/wide_text_win32.h"
#include "testing/programs.h"

namespace inkbinder::testing {

std::string TestHelpCompiler() { return ProgramFolder() + "/../test-hhc/hhc.exe"; }

std::optional<std::string> GetEnv(const std::string& name) {
  const wchar_t* value = _wgetenv(Utf8ToWide(name).c_str());
  if (value == nullptr) return std::nullopt;
  return WideToUtf8(value);
}

// _wputenv_s keeps the C runtime's copy and the process's in step; "" removes.
void SetEnv(const std::string& name, const std::string& value) {
  _wputenv_s(Utf8ToWide(name).c_str(), Utf8ToWide(value).c_str());
}

void UnsetEnv(const std::string& name) { _wputenv_s(Utf8ToWide(name).c_str(), L""); }

}  // namespace inkbinder::testing
