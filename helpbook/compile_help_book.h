#pragma once
// The built-in help compiler: reads a help project (the project file, its
// contents and index files, its pages) and writes the compiled book it names.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "helpbook/help_project.h"
#include "helpbook/lzx/lzx_compressor.h"
#include "helpbook/system_files.h"

namespace helpbook {

// A page's length and 64-bit FNV-1a hash as the compiler wrote it: a check
// compares the book with it instead of reading every page from disk again.
struct PageDigest {
  std::uint64_t length = 0;
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  void Add(const char* data, std::size_t size) {
    length += size;
    for (std::size_t i = 0; i < size; ++i) {
      hash = (hash ^ static_cast<unsigned char>(data[i])) * 0x100000001b3ULL;
    }
  }
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
// book of that name stays as it was.
bool CompileHelpBook(const std::string& project_path, const CompileOptions& options,
                     std::string* book_path, std::string* error,
                     CompileFailure* failure = nullptr);

}  // namespace helpbook
