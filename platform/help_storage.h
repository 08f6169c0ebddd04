#pragma once
// A compiled help book opened the way this system's help viewer opens it:
// on Windows through the system's own help storage (itss.dll's ITStorage),
// elsewhere through chmlib.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace inkbinder {

// One file of a book, read from its start onwards.
class StoredFile {
 public:
  virtual ~StoredFile() = default;
  virtual std::uint64_t size() const = 0;
  // Reads up to `count` bytes from where the last read ended; returns how
  // many. Fewer than asked means the end, or that the reader cannot give more.
  virtual std::size_t Read(char* buffer, std::size_t count) = 0;
};

class HelpStorage {
 public:
  // Opens the book at `path` (UTF-8); null with the reader's reason.
  static std::unique_ptr<HelpStorage> Open(const std::string& path, std::string* error);
  virtual ~HelpStorage() = default;

  // Every file the reader lists below the book's root, folders walked, by
  // UTF-8 name with a leading '/'. False when the listing fails.
  virtual bool ListFiles(std::vector<std::string>* names) = 0;
  // The file a link names (UTF-8, leading '/'), looked up as the reader
  // does; null when the reader does not find it.
  virtual std::unique_ptr<StoredFile> OpenFile(const std::string& name) = 0;
};

}  // namespace inkbinder
