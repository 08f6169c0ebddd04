#include "testing/programs.h"

#include "platform/program_folder.h"

namespace inkbinder::testing {

std::string TestProgram(const std::string& name) {
#ifdef _WIN32
  return ProgramFolder() + "/" + name + ".exe";
#else
  return ProgramFolder() + "/" + name;
#endif
}

ScopedEnv::ScopedEnv(const std::string& name, const char* utf8_value) : name_(name) {
  const std::optional<std::string> old = GetEnv(name);
  had_ = old.has_value();
  if (had_) old_ = *old;
  if (utf8_value != nullptr) {
    SetEnv(name, utf8_value);
  } else {
    UnsetEnv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    SetEnv(name_, old_);
  } else {
    UnsetEnv(name_);
  }
}

}  // namespace inkbinder::testing
