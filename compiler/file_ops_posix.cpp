#include <sys/stat.h>
#include <unistd.h>

#include "compiler/file_ops.h"

namespace inkbinder {

FileStamp StampOf(const std::string& path) {
  FileStamp stamp;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return stamp;
  stamp.exists = true;
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  stamp.id = static_cast<std::uint64_t>(st.st_ino);
  return stamp;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFileAt(const std::string& path) {
  // A FIFO, device or folder of the user's under one of our names stays.
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) return false;
  return unlink(path.c_str()) == 0;
}

}  // namespace inkbinder
