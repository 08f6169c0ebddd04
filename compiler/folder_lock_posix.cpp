#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "compiler/folder_lock.h"

namespace inkbinder {

FolderLock::~FolderLock() {
  if (held_ >= 0) close(static_cast<int>(held_));
}

bool FolderLock::TryLock(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;
  // A lock of the open folder: another open of it, in any process, conflicts.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool taken = errno == EWOULDBLOCK;
    close(fd);
    return !taken;
  }
  if (held_ >= 0) close(static_cast<int>(held_));
  held_ = fd;
  return true;
}

}  // namespace inkbinder
