#include "testing/programs.h"

#include <cstdlib>

#include "compiler/program_folder.h"
#include "project/text_encoding.h"

namespace inkbinder::testing {

std::string TestProgram(const std::string& name) {
#ifdef _WIN32
  return ProgramFolder() + "/" + name + ".exe";
#else
  return ProgramFolder() + "/" + name;
#endif
}

void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), Utf8ToCodePage(value, kSystemAnsi).c_str());
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

}  // namespace inkbinder::testing
