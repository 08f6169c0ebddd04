#pragma once
// Test helpers: a compiled book read back through readers nobody here wrote.

#include <map>
#include <string>
#include <vector>

struct chmFile;

namespace helpbook::testing {

// A book opened with chmlib.
class ChmlibBook {
 public:
  explicit ChmlibBook(const std::string& path);
  ~ChmlibBook();
  ChmlibBook(const ChmlibBook&) = delete;
  ChmlibBook& operator=(const ChmlibBook&) = delete;

  bool opened() const { return handle_ != nullptr; }
  // Looks `name` up the way readers do (by its UTF-8 name, through the
  // directory's index) and reads it. False when it is not found or not whole.
  bool Read(const std::string& name, std::string* bytes);
  // Every name chmlib's enumeration yields, in its order.
  std::vector<std::string> Names();

 private:
  ::chmFile* handle_;
};

// libmspack's help-file reader: every file it lists (internal ones left
// out), each extracted in full. False with a message when it cannot open the
// book or extract a file.
bool MspackExtractAll(const std::string& book, std::map<std::string, std::string>* files,
                      std::string* error);

// libmspack's quick lookup: walks the index chunks and each chunk's
// quick-reference entries (a binary search) to `name`, then extracts it.
// False with a message when it is not found or cannot be extracted.
bool MspackFastFind(const std::string& book, const std::vector<std::string>& names,
                    std::map<std::string, std::string>* files, std::string* error);

// 7-Zip (`7z x`): every file it lists, internal ones such as "/#SYSTEM"
// included, extracted under its UTF-8 name. False with 7-Zip's words when it
// refuses the book or a file.
bool SevenZipExtractAll(const std::string& book, std::map<std::string, std::string>* files,
                        std::string* error);

}  // namespace helpbook::testing
