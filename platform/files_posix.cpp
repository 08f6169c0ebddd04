#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/file.h>

#include "platform/files.h"

namespace inkbinder {

const std::size_t kLongestPathBytes = 4095;  // PATH_MAX less its NUL

std::string FileSystemBytes(const std::string& utf8) { return utf8; }

std::FILE* OpenFile(const std::string& utf8_path, const char* mode) {
  return std::fopen(utf8_path.c_str(), mode);
}

std::FILE* OpenRegularFile(const std::string& utf8_path, std::uint64_t* size) {
  // Not blocking: opening a FIFO for reading waits for a writer otherwise.
  const int fd = open(utf8_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  std::FILE* f = nullptr;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) f = fdopen(fd, "rb");
  if (f == nullptr) {
    close(fd);
    return nullptr;
  }
  // Large reads go straight to the file; stdio's buffer would ask for the
  // file's status again.
  setvbuf(f, nullptr, _IONBF, 0);
  *size = static_cast<std::uint64_t>(st.st_size);
  return f;
}

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool ReplaceFileContents(const std::string& utf8_path, std::string_view bytes) {
  struct stat st;
  if (lstat(utf8_path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    return false;
  }
  const size_t slash = utf8_path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : utf8_path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? utf8_path : utf8_path.substr(slash + 1);
  // A hidden name: no file list shows it, however briefly it lives.
  std::string temp = folder + "." + name + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  // mkostemp makes the file private; ours is as readable as any new file.
  const mode_t mask = umask(0);
  umask(mask);
  bool ok = fchmod(fd, 0666 & ~mask) == 0 && WriteAll(fd, bytes);
  ok = close(fd) == 0 && ok;
  // rename() replaces a link itself, not what it points at.
  ok = ok && rename(temp.c_str(), utf8_path.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

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

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFileAt(const std::string& path) {
  // A FIFO, device or folder of the user's under one of our names stays.
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) return false;
  return unlink(path.c_str()) == 0;
}

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
