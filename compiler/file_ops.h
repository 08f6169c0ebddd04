#pragma once

#include <cstdint>
#include <string>

namespace inkbinder {

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
// Removes one file or link, never anything else; false when it was missing
// or could not be removed.
bool DeleteFileAt(const std::string& path);

}  // namespace inkbinder
