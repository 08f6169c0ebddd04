#include "helpbook/temporary_files.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace helpbook {

namespace {

// A compile has two temporary files; a few slots leave room for more writers.
struct Slot {
  std::atomic<bool> used{false};
  char path[4096];
};
Slot g_slots[8];
std::mutex g_register;

}  // namespace

void RegisterTemporaryFile(const std::string& path) {
  if (path.size() >= sizeof(Slot::path)) return;
  std::lock_guard<std::mutex> lock(g_register);
  for (Slot& slot : g_slots) {
    if (!slot.used.load()) {
      std::memcpy(slot.path, path.c_str(), path.size() + 1);
      slot.used.store(true);
      return;
    }
  }
}

void UnregisterTemporaryFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_register);
  for (Slot& slot : g_slots) {
    if (slot.used.load() && path == slot.path) slot.used.store(false);
  }
}

void RemoveTemporaryFiles() {
  for (Slot& slot : g_slots) {
    if (slot.used.load()) std::remove(slot.path);
  }
}

}  // namespace helpbook
