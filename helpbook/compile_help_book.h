#pragma once
// The built-in help compiler: reads a help project (the project file, its
// contents and index files, its pages) and writes the compiled book it names.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "helpbook/help_project.h"
#include "helpbook/lzx/lzx_compressor.h"
#include "helpbook/system_files.h"

namespace helpbook {

// A page's length and a 64-bit digest of its bytes as the compiler wrote
// them: a check compares the book with it instead of reading every page from
// disk again. Eight bytes a step (a byte a step took a sixth of the time of
// reading the book back). Each step is invertible in the word it takes and in
// the state, so two pages of one length that differ in a single word never
// share a digest. Pieces of any size give the digest of the bytes they make up.
class PageDigest {
 public:
  std::uint64_t length = 0;

  void Add(const char* data, std::size_t size) {
    std::size_t i = 0;
    std::size_t filled = static_cast<std::size_t>(length % 8);
    length += size;
    if (filled != 0) {
      for (; filled < 8 && i < size; ++i, ++filled) pending_ |= Byte(data[i]) << (8 * filled);
      if (filled < 8) return;
      Step(pending_);
      pending_ = 0;
    }
    for (; i + 8 <= size; i += 8) Step(LittleEndianWord(data + i));
    for (std::size_t k = 0; i < size; ++i, ++k) pending_ |= Byte(data[i]) << (8 * k);
  }
  // Of every byte added so far, the last unfinished word included.
  std::uint64_t Value() const {
    PageDigest last = *this;
    if (length % 8 != 0) last.Step(pending_);
    return last.state_;
  }

 private:
  static std::uint64_t Byte(char c) { return static_cast<unsigned char>(c); }
  static std::uint64_t LittleEndianWord(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap64(word);
#endif
    return word;
  }
  void Step(std::uint64_t word) {
    const std::uint64_t mixed = (state_ ^ word) * 0x9e3779b97f4a7c15ULL;  // odd: invertible
    state_ = mixed << 29 | mixed >> 35;
  }

  std::uint64_t state_ = 0xcbf29ce484222325ULL;
  std::uint64_t pending_ = 0;  // the bytes of the unfinished word, first byte lowest
};

// What a finished book must give a reader, for a check before it is kept.
struct BookFacts {
  // The sitemaps by the names the project gives them (code page 936 bytes)
  // and their bytes; an empty name when the project has none.
  std::string contents_name;
  std::string contents_bytes;
  std::string index_name;
  std::string index_bytes;
  // Every page: its name in the book (UTF-8, no leading '/') and its file.
  std::vector<std::pair<std::string, std::string>> pages;
  // One for each page, as written; empty when not taken (then the check
  // compares with the files).
  std::vector<PageDigest> page_digests;
  std::uint32_t language = 0x804;
};

struct CompileOptions {
  LzxSettings lzx;
  // Reads the whole book (under a temporary name) as a reader would; returns
  // the first problem in words, or "" when it is sound. No book is kept
  // unless it is sound.
  std::function<std::string(const std::string& book, const BookFacts& facts)> check;
  // Asked between pages (and within long ones): true stops the compile, as a
  // failure, with nothing written.
  std::function<bool()> stop;
  // Told how many of the project's pages are in the book, out of how many:
  // once before the first and after each one.
  std::function<void(std::size_t done, std::size_t total)> progress;
};

// Why a compile failed, where the caller words it differently.
enum class CompileFailure {
  kOther,           // the project, a page, the check, a stop: the message says
  kBookNotWritten,  // the book or its temporary files could not be written
};

// What the system files are made from, as the project gives it (no sitemap
// entries, no timestamp). False with a message naming a window line it cannot use.
bool BookInfoFromProject(const HelpProject& project, BookInfo* info, std::string* error);

// Compiles the project at `project_path` (UTF-8) into the book its
// "Compiled file=" names, in the project's folder or below it, never in the
// place of one of the project's own files (the project, its sitemaps, its
// pages), nor of anything but a regular file or a link.
// True with the book's path in `book_path`. False with a message naming what
// was wrong (a project line, a missing or unreadable file, a failed write),
// and why in `failure` when given; then no book is written and an earlier
// book of that name stays as it was. An exception inside (out of memory in a
// compressing thread) is such a failure, with its message.
bool CompileHelpBook(const std::string& project_path, const CompileOptions& options,
                     std::string* book_path, std::string* error,
                     CompileFailure* failure = nullptr);

}  // namespace helpbook
