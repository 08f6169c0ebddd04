#include "testing/memory_use.h"

#include <fstream>
#include <sstream>
#include <string>

namespace inkbinder::testing {

MemoryUse CurrentMemoryUse() {
  std::ifstream status("/proc/self/status");
  MemoryUse use;
  std::string line;
  while (std::getline(status, line)) {
    std::istringstream fields(line);
    std::string key;
    std::uint64_t kib = 0;
    fields >> key >> kib;
    if (key == "VmRSS:") use.current = kib * 1024;
    if (key == "VmHWM:") use.peak = kib * 1024;
  }
  return use;
}

bool ResetPeakMemory() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";  // resets the peak resident set size
  clear.close();
  return static_cast<bool>(clear);
}

}  // namespace inkbinder::testing
