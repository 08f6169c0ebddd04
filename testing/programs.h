#pragma once

#include <optional>
#include <string>

namespace inkbinder::testing {

// A program built into the same folder as the running test ("fake_compiler",
// "inkbinder-cli", "inkbinder-hhc"), with ".exe" on Windows.
std::string TestProgram(const std::string& name);

#ifdef _WIN32
// The test-only hhc.exe: built into a folder of its own, so that no program
// in the build's bin folder takes it for its compiler.
std::string TestHelpCompiler();
#endif

// An environment variable of this process (UTF-8), if set.
std::optional<std::string> GetEnv(const std::string& name);

// Sets or removes an environment variable (UTF-8) for this process and its children.
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

// Sets (or, given null, removes) an environment variable until the object
// goes, then puts back what was there.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const char* utf8_value);
  ScopedEnv(const std::string& name, const std::string& utf8_value)
      : ScopedEnv(name, utf8_value.c_str()) {}
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

}  // namespace inkbinder::testing
