#include <limits.h>
#include <unistd.h>

#include "platform/program_folder.h"

namespace inkbinder {

std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  const std::string exe(path, static_cast<size_t>(n));
  const size_t slash = exe.rfind('/');
  return slash == 0 ? "/" : exe.substr(0, slash);
}

std::vector<std::string> HelpCompilerPlaces(const std::string& program_folder) {
  return {program_folder + "/inkbinder-hhc"};
}

const bool kBuiltinCompilerStandsIn = false;

}  // namespace inkbinder
