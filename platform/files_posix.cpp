#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/file.h>

#include <atomic>
#include <chrono>
#include <random>
#include <utility>

#include "platform/files.h"

namespace inkbinder {

const std::size_t kLongestPathBytes = 4095;  // PATH_MAX less its NUL

std::string FileSystemBytes(const std::string& utf8) { return utf8; }

std::FILE* OpenFile(const std::string& utf8_path, const char* mode) {
  return std::fopen(utf8_path.c_str(), mode);
}

namespace {

// A regular file's descriptor, opened for reading, and its size; -1 for
// anything else. Non-blocking, so that a FIFO without a writer does not hold
// the open. The flag stays: it changes nothing for a regular file, and
// clearing it would cost a call on each of 100,000 pages.
int OpenRegular(const std::string& path, std::uint64_t* size) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  *size = static_cast<std::uint64_t>(st.st_size);
  return fd;
}

}  // namespace

std::FILE* OpenRegularFile(const std::string& utf8_path, std::uint64_t* size) {
  std::uint64_t bytes = 0;
  const int fd = OpenRegular(utf8_path, &bytes);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) {
    close(fd);
    return nullptr;
  }
  if (size != nullptr) {
    setvbuf(file, nullptr, _IONBF, 0);
    *size = bytes;
  }
  return file;
}

bool RegularFileReader::Open(const std::string& utf8_path) {
  Close();
  handle_ = OpenRegular(utf8_path, &size_);
  if (handle_ < 0) size_ = 0;
  return handle_ >= 0;
}

bool RegularFileReader::Read(char* buffer, std::size_t want, std::size_t* got) {
  *got = 0;
  if (handle_ < 0) return false;
  while (*got < want) {
    const ssize_t n = read(static_cast<int>(handle_), buffer + *got, want - *got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    *got += static_cast<std::size_t>(n);
  }
  return true;
}

void RegularFileReader::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
  size_ = 0;
}

namespace {

constexpr char kNameCharacters[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kTempSuffixLength = 6;

// "<folder>/" and "<name>" of a path.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// A new, empty file "<folder>/.<name>.XXXXXX", opened for writing. Its mode is
// 0666 less the umask, as for any new file: the umask is applied by the
// system, never read or changed here (it is the whole process's, other
// threads create files too).
int CreateTempBeside(const std::string& path, std::string* temp) {
  static const std::uint64_t seed = (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^
                                    static_cast<std::uint64_t>(getpid());
  static std::atomic<std::uint64_t> counter{0};
  const auto [folder, name] = SplitPath(path);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::uint64_t v = seed ^ counter++ * 0x9E3779B97F4A7C15ull ^
                      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::string suffix;
    for (size_t i = 0; i < kTempSuffixLength; ++i, v /= sizeof kNameCharacters - 1) {
      suffix += kNameCharacters[v % (sizeof kNameCharacters - 1)];
    }
    // A hidden name: no file list shows it, however briefly it lives.
    *temp = folder + "." + name + "." + suffix;
    const int fd = open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

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
  std::string temp;
  const int fd = CreateTempBeside(utf8_path, &temp);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes);
  ok = close(fd) == 0 && ok;
  // rename() replaces a link itself, not what it points at.
  ok = ok && rename(temp.c_str(), utf8_path.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

bool IsTemporaryNameFor(const std::string& entry, const std::string& target) {
  const std::string prefix = "." + target + ".";
  return entry.size() == prefix.size() + kTempSuffixLength && entry.compare(0, prefix.size(), prefix) == 0 &&
         entry.find_first_not_of(kNameCharacters, prefix.size()) == std::string::npos;
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

bool IsReplaceable(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  return S_ISREG(st.st_mode) || S_ISLNK(st.st_mode);
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
