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
// The longest name of a temporary file that a write puts beside its target
// (ReplaceFileContents, the help compiler's book), in the bytes the system
// takes: a path must leave room for it as well as for its target's name.
inline constexpr std::size_t kLongestTemporaryNameBytes = 40;
// A UTF-8 name or path in the bytes the file system gets: the ANSI code page
// on Windows, UTF-8 elsewhere.
std::string FileSystemBytes(const std::string& utf8);

// fopen for a UTF-8 path on every platform.
std::FILE* OpenFile(const std::string& utf8_path, const char* mode);

// Opens a file for reading ("rb") only when it is a regular file, and never
// waits to find out: a FIFO, socket or device put where a page was would
// block the open or every read. Null for anything else, or when it cannot be
// opened. With `size`, the file's size goes there and the stream is
// unbuffered, for callers that read in large pieces: a compile opens 100,000
// pages, and a buffered stream would ask for the file's status again.
std::FILE* OpenRegularFile(const std::string& utf8_path, std::uint64_t* size = nullptr);

// A regular file open for reading, read with the system's own calls: a stream
// would ask the system about the file once more, and a conversion opens each
// of 100,000 pages twice. Only a regular file opens, as with OpenRegularFile.
class RegularFileReader {
 public:
  RegularFileReader() = default;
  ~RegularFileReader() { Close(); }
  RegularFileReader(const RegularFileReader&) = delete;
  RegularFileReader& operator=(const RegularFileReader&) = delete;

  // False when `utf8_path` is no regular file or cannot be opened; finding
  // out never waits (a FIFO without a writer, a device).
  bool Open(const std::string& utf8_path);
  // The size the file had when it was opened. 0 may also be a file that does
  // not know its size (under /proc): read those to their end.
  std::uint64_t size() const { return size_; }
  // Up to `want` bytes into `buffer`; fewer only at the file's end. False on
  // a read error (`*got` then counts what came before it).
  bool Read(char* buffer, std::size_t want, std::size_t* got);
  void Close();

 private:
  std::intptr_t handle_ = -1;  // a descriptor, or a HANDLE on Windows
  std::uint64_t size_ = 0;
};

// Puts `bytes` at `utf8_path` whole or not at all: they go into a new file
// in the same folder, which then takes the path's place in one step. A link
// at the path is replaced, never followed. Anything else that is not a
// regular file (a folder, a FIFO, a device) is never opened and stays as it
// was: false. False too when the bytes cannot be written; no temporary file
// is left behind.
bool ReplaceFileContents(const std::string& utf8_path, std::string_view bytes);
// Whether `entry` is a name ReplaceFileContents gives a temporary file beside
// a target named `target` (both names without a folder). A killed process
// leaves such files; only a caller that knows no such write is under way may
// remove them.
bool IsTemporaryNameFor(const std::string& entry, const std::string& target);

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

// A path's parts around its last separator, '/' or '\\' (paths from
// Windows and from a help project use either): the name after it (all of
// the path when it has none), and the folder before it ("" when it has
// none; the separator itself for a name in the root).
std::string BaseName(const std::string& path);
std::string FolderOf(const std::string& path);

// Windows' file times count 100 ns ticks from 1601: the tick of 1970.
inline constexpr std::uint64_t kFileTimeOf1970 = 116444736000000000ULL;

// Paths are UTF-8.
FileStamp StampOf(const std::string& path);
bool IsRegularFile(const std::string& path);
// True for a folder, or a link to one.
bool IsFolder(const std::string& path);
// Whether a new file may take `path`'s place: nothing is there, or a
// regular file or a link (which is replaced, never followed).
bool IsReplaceable(const std::string& path);
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
