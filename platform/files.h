#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// Files and folders, by UTF-8 path on every platform.
namespace inkbinder {

// The longest path a book may have, in the bytes the system takes (the NUL
// excluded): on Windows the compiler and the shell take the ANSI calls'
// paths, so MAX_PATH; PATH_MAX elsewhere.
extern const std::size_t kLongestPathBytes;
// A UTF-8 name or path in the bytes the file system gets: the ANSI code page
// on Windows, UTF-8 elsewhere.
std::string FileSystemBytes(const std::string& utf8);

// fopen for a UTF-8 path on every platform.
std::FILE* OpenFile(const std::string& utf8_path, const char* mode);

// Opens a regular file for reading, with its size in *size, unbuffered: read
// it in large pieces. Null for anything else (a FIFO or a device would block
// or never end) and for what cannot be opened. Fewer system calls than a
// status query and fopen: a compile opens 100,000 pages.
std::FILE* OpenRegularFile(const std::string& utf8_path, std::uint64_t* size);

// Puts `bytes` at `utf8_path` whole or not at all: they go into a new file
// in the same folder, which then takes the path's place in one step. A link
// at the path is replaced, never followed. Anything else that is not a
// regular file (a folder, a FIFO, a device) is never opened and stays as it
// was: false. False too when the bytes cannot be written; no temporary file
// is left behind.
bool ReplaceFileContents(const std::string& utf8_path, std::string_view bytes);

// Enough of a file's identity to tell whether it was rewritten.
struct FileStamp {
  bool exists = false;
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;  // last write time, nanoseconds since 1970
  std::uint64_t id = 0;          // inode, or the NTFS file index
  bool operator==(const FileStamp& o) const {
    return exists == o.exists && size == o.size && modified_ns == o.modified_ns && id == o.id;
  }
  bool operator!=(const FileStamp& o) const { return !(*this == o); }
};

// Paths are UTF-8.
FileStamp StampOf(const std::string& path);
bool IsRegularFile(const std::string& path);
// True for a folder, or a link to one.
bool IsFolder(const std::string& path);
// Removes one file or link, never anything else; false when it was missing
// or could not be removed.
bool DeleteFileAt(const std::string& path);

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
