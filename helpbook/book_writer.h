#pragma once
// Writes a compiled help book: the file header, the directory, the
// uncompressed section (the files given for it, then the compressed
// section's control data, reset table and span), and the compressed section
// holding every other file given.
//
// Files stream in: the compressed section goes to a temporary file beside
// the book, the book itself to a second temporary name that replaces the
// book only once it is whole. Memory stays bounded by the compressor's few
// windows per thread and the directory, whatever the files' sizes.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "helpbook/book_directory.h"
#include "helpbook/lzx/lzx_compressor.h"

namespace helpbook {

struct BookSettings {
  LzxSettings lzx;
  std::uint32_t language = 0x804;
  std::uint32_t timestamp = 0;  // seconds; part of the file header only
  // Asked while the book is assembled: true stops it, as a failure.
  std::function<bool()> stop;
};

// A killed compile leaves its hidden temporary files beside the book: the
// process that wrote `entry` (a name in a folder) when it is one of them, or
// 0 when it is not.
long CompileTemporaryFileProcess(const std::string& entry);
// Removes those in `folder` (UTF-8) whose process has ended, whatever book
// they were for; a running compile's stay.
void RemoveCompileLeftovers(const std::string& folder);

// Why a book cannot be written when its compressed section cannot be.
inline constexpr char kCannotWriteSection[] = "cannot write the compressed section beside the book";

class BookWriter {
 public:
  BookWriter(std::string book_path, BookSettings settings);
  // Removes whatever temporary files are left: an unfinished book never
  // appears under its own name.
  ~BookWriter();
  BookWriter(const BookWriter&) = delete;
  BookWriter& operator=(const BookWriter&) = delete;

  bool Start(std::string* error);

  // One file of the compressed section, in pieces: BeginFile, Append as often
  // as needed, EndFile. `name` is the book's UTF-8 name, "/page.htm".
  void BeginFile(const std::string& name);
  bool Append(const void* data, std::size_t size);
  void EndFile();
  bool AddFile(const std::string& name, std::string_view bytes);
  // A file kept uncompressed, in the uncompressed section.
  void AddUncompressedFile(const std::string& name, std::string_view bytes);

  // Whether a file of exactly that name was added already.
  bool Has(const std::string& name) const;

  // Assembles the book and moves it to its own name. `before_commit`, when
  // given, sees the whole book under its temporary name first and may refuse
  // it with a message. False with a message when a write failed or the book
  // was refused; no book is left then.
  using Check = std::function<bool(const std::string& whole_book, std::string* error)>;
  bool Finish(std::string* error, const Check& before_commit = nullptr);

 private:
  bool Fail(const std::string& message, std::string* error);
  // The name a reference in name_slots_ stands for.
  std::string_view NameOf(std::uint32_t reference) const;
  void RememberName(std::uint32_t reference);
  // Pads the compressed section to its last frame and flushes it.
  bool FinishSection(std::string* error);
  bool WriteBook(std::FILE* out, const std::vector<std::pair<std::string, std::string>>& section0,
                 const Directory& directory, std::uint64_t compressed, std::string* error);
  bool CopyCompressedSection(std::FILE* out, std::uint64_t compressed, std::string* error);

  std::string book_path_;
  std::string content_path_;
  std::string part_path_;
  BookSettings settings_;
  std::FILE* content_ = nullptr;
  bool sink_failed_ = false;
  std::unique_ptr<LzxSectionCompressor> compressor_;
  std::vector<DirectoryEntry> entries_;
  std::vector<std::pair<std::string, std::string>> uncompressed_;
  // Every name added, for Has(): references to entries_ and uncompressed_
  // in an open-addressed table (0 for a free slot), not copies of 100,000
  // names.
  std::vector<std::uint32_t> name_slots_;
  std::size_t name_count_ = 0;
  std::thread leftovers_;  // removes what killed compiles left beside the book
  std::uint64_t stream_size_ = 0;
  std::uint64_t file_start_ = 0;
  bool in_file_ = false;
};

}  // namespace helpbook
