#pragma once

#include <cstdint>

namespace inkbinder::testing {

// This process's resident memory, in bytes: now, and the most it has held.
struct MemoryUse {
  std::uint64_t current = 0;
  std::uint64_t peak = 0;
};
MemoryUse CurrentMemoryUse();

// Starts the peak again from the current use where the system allows it
// (Linux); false elsewhere, where the peak so far stands.
bool ResetPeakMemory();

}  // namespace inkbinder::testing
