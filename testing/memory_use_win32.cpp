#include <windows.h>
#include <psapi.h>

#include "testing/memory_use.h"

namespace inkbinder::testing {

MemoryUse CurrentMemoryUse() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  MemoryUse use;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
    use.current = counters.WorkingSetSize;
    use.peak = counters.PeakWorkingSetSize;
  }
  return use;
}

bool ResetPeakMemory() { return false; }

}  // namespace inkbinder::testing
