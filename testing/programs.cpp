#include "testing/programs.h"

#include <cstdlib>
#include <optional>

#include "platform/program_folder.h"
#include "platform/text.h"

#ifdef _WIN32
#include "platform/wide_text_win32.h"
#endif

namespace inkbinder::testing {

std::string TestProgram(const std::string& name) {
#ifdef _WIN32
  return ProgramFolder() + "/" + name + ".exe";
#else
  return ProgramFolder() + "/" + name;
#endif
}

std::optional<std::string> GetEnv(const std::string& name) {
#ifdef _WIN32
  const std::wstring wide_name = Utf8ToWide(name);
  const wchar_t* value = _wgetenv(wide_name.c_str());
  if (value == nullptr) return std::nullopt;
  return WideToUtf8(value);
#else
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
#endif
}

namespace {

void PutEnv(const std::string& name, const char* value) {
#ifdef _WIN32
  // _wputenv_s keeps the C runtime's copy and the process's in step; "" removes.
  _wputenv_s(Utf8ToWide(name).c_str(), value ? Utf8ToWide(value).c_str() : L"");
#else
  if (value == nullptr) {
    unsetenv(name.c_str());
  } else {
    setenv(name.c_str(), value, 1);
  }
#endif
}

}  // namespace

void SetEnv(const std::string& name, const std::string& value) { PutEnv(name, value.c_str()); }

ScopedEnv::ScopedEnv(const std::string& name, const char* utf8_value) : name_(name) {
  const std::optional<std::string> old = GetEnv(name);
  had_ = old.has_value();
  if (had_) old_ = *old;
  PutEnv(name, utf8_value);
}

ScopedEnv::~ScopedEnv() { PutEnv(name_, had_ ? old_.c_str() : nullptr); }

}  // namespace inkbinder::testing
