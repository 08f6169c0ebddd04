#pragma once

#include <cstdint>
#include <string>

// Files a test sets in a program's way that only the system's own calls make.
// Paths are UTF-8.
namespace inkbinder::testing {

// A symbolic link at `at` to `target` (which need not exist); false with the
// reason in *why where the system or its user may make none.
bool MakeSymbolicLink(const std::string& target, const std::string& at, std::string* why);

// A named pipe (FIFO) at `path`; false where there are none (Windows).
bool MakeFifo(const std::string& path);

// Makes the file at `path` `size` bytes long, the new bytes zero and not
// written: the file system keeps them sparse.
bool ExtendSparse(const std::string& path, std::int64_t size);

// Sets the Windows attributes `attributes` (FILE_ATTRIBUTE_HIDDEN, ...) on
// `path`; false when they do not hold afterwards, or on other systems.
bool SetWindowsAttributes(const std::string& path, std::uint32_t attributes);

// While it lives, no file that this process, or a program it starts
// meanwhile, writes can grow past `bytes`: writes fail as on a full disk.
// Active() is false where there is no such limit (Windows).
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(std::int64_t bytes);
  ~ScopedFileSizeLimit();
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;
  bool Active() const { return active_; }

 private:
  bool active_ = false;
  std::int64_t old_limit_ = 0;
};

}  // namespace inkbinder::testing
