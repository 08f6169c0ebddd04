#pragma once

#include <cstdint>
#include <string>

namespace inkbinder {

// Holds a folder for one conversion, so that a second one (in this process
// or another) sees it taken. Nothing is written into the folder: the lock
// lies on the folder itself (flock on Linux) or on a name made from its
// canonical path (a named mutex on Windows), and goes with the holder.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // False when the folder is held already. A folder that cannot be locked at
  // all (not there, or a file system without locks) counts as free: what
  // follows fails or succeeds on its own.
  bool TryLock(const std::string& folder);

 private:
  std::intptr_t held_ = -1;
};

}  // namespace inkbinder
