#include "helpbook/book_check.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <string_view>
#include <utility>
#include <unordered_set>

#include "helpbook/sitemap.h"
#include "helpbook/system_files.h"
#include "platform/files.h"
#include "platform/help_storage.h"
#include "platform/run_on_threads.h"
#include "platform/text.h"

namespace helpbook {

namespace {

using inkbinder::CodePageToUtf8;
using inkbinder::HelpStorage;
using inkbinder::kCodePage936;
using inkbinder::StoredFile;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

using inkbinder::AsciiLower;

bool SameWord(std::string_view text, size_t at, const char* word) {
  for (size_t i = 0; word[i] != '\0'; ++i) {
    if (at + i >= text.size() || AsciiLower(text[at + i]) != word[i]) return false;
  }
  return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The whole file, or false when the reader cannot give all of it.
bool ReadWhole(StoredFile* file, std::string* bytes) {
  bytes->assign(static_cast<size_t>(file->size()), '\0');
  return file->Read(bytes->data(), bytes->size()) == bytes->size();
}

struct SystemFile {
  bool read = false;
  bool has_language = false;
  std::uint32_t language = 0;
  std::string contents_name;  // code 0
  std::string index_name;     // code 1
};

std::uint32_t Dword(const std::string& s, size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

// #SYSTEM: a version, then records of a 16-bit code, a 16-bit length and data.
SystemFile ReadSystemFile(HelpStorage* book) {
  SystemFile system;
  const std::unique_ptr<StoredFile> file = book->OpenFile("/#SYSTEM");
  std::string bytes;
  if (!file || !ReadWhole(file.get(), &bytes)) return system;
  system.read = true;
  const auto text = [&](size_t at, size_t length) {
    std::string s = bytes.substr(at, length);
    return s.substr(0, s.find('\0'));
  };
  size_t pos = 4;
  while (pos + 4 <= bytes.size()) {
    const unsigned code = static_cast<unsigned char>(bytes[pos]) |
                          static_cast<unsigned char>(bytes[pos + 1]) << 8;
    const size_t length = static_cast<unsigned char>(bytes[pos + 2]) |
                          static_cast<unsigned char>(bytes[pos + 3]) << 8;
    pos += 4;
    if (pos + length > bytes.size()) break;
    if (code == kRecordLocale && length >= 4) {
      system.has_language = true;
      system.language = Dword(bytes, pos);
    } else if (code == kRecordContentsFile) {
      system.contents_name = text(pos, length);
    } else if (code == kRecordIndexFile) {
      system.index_name = text(pos, length);
    }
    pos += length;
  }
  return system;
}

std::string InternalPath(const std::string& utf8_name) {
  return utf8_name.empty() || utf8_name[0] != '/' ? "/" + utf8_name : utf8_name;
}

// The page's file on disk, to compare the book with.
// Only a regular file: a FIFO swapped in for a page would hold the check for good.
File OpenPageFile(const std::string& disk_path) { return File(inkbinder::OpenRegularFile(disk_path)); }

// Asked between pages and every megabyte: the check of a large book ends soon after a stop.
using Stop = std::function<bool()>;

// Compares the stored file with the page's file a megabyte at a time: pages
// can be large. The buffers live across calls and grow only to the largest
// piece asked for: zero-filling a megabyte for each of thousands of small
// pages cost more than the compile.
struct CompareBuffers {
  std::string from_book;
  std::string from_disk;
};

constexpr char kInterrupted[] = "interrupted";

std::string CompareWithFile(StoredFile* stored, const std::string& disk_path, CompareBuffers* buffers,
                            const Stop& stop) {
  const File file = OpenPageFile(disk_path);
  if (!file) return "cannot read " + disk_path + " to compare with the book";
  constexpr size_t kStep = 1 << 20;
  std::string& from_book = buffers->from_book;
  std::string& from_disk = buffers->from_disk;
  const std::uint64_t length = stored->size();
  std::uint64_t offset = 0;
  while (true) {
    if (stop && stop()) return kInterrupted;
    const std::uint64_t left = length - offset;
    const size_t want = left < kStep ? static_cast<size_t>(left) : kStep;
    // One byte more than the book holds shows a file that is longer.
    const size_t ask = want + 1;
    if (from_disk.size() < ask) from_disk.resize(ask);
    if (from_book.size() < want) from_book.resize(want);
    const size_t on_disk = std::fread(from_disk.data(), 1, want < kStep ? ask : want, file.get());
    const size_t got = want == 0 ? 0 : stored->Read(from_book.data(), want);
    if (got != want) return "the book cannot give all of its bytes";
    if (on_disk != want) {
      return "the book holds " + std::to_string(length) + " bytes, the file " +
             (on_disk < want ? "fewer" : "more");
    }
    if (from_book.compare(0, want, from_disk, 0, want) != 0) {
      for (size_t i = 0; i < want; ++i) {
        if (from_book[i] != from_disk[i]) {
          return "its bytes differ from the file's from offset " + std::to_string(offset + i);
        }
      }
    }
    offset += want;
    if (want < kStep) return std::string();
  }
}

// Compares the stored file with the page as the compiler wrote it: a
// problem in words, or *differs when only the bytes disagree.
std::string CompareWithDigest(StoredFile* stored, const PageDigest& written, CompareBuffers* buffers,
                              const Stop& stop, bool* differs) {
  *differs = false;
  if (stored->size() != written.length) {
    return "the book holds " + std::to_string(stored->size()) + " bytes, the compiler wrote " +
           std::to_string(written.length);
  }
  constexpr size_t kStep = 1 << 20;
  std::string& from_book = buffers->from_book;
  PageDigest read;
  while (read.length < written.length) {
    if (stop && stop()) return kInterrupted;
    const std::uint64_t left = written.length - read.length;
    const size_t want = left < kStep ? static_cast<size_t>(left) : kStep;
    if (from_book.size() < want) from_book.resize(want);
    if (stored->Read(from_book.data(), want) != want) return "the book cannot give all of its bytes";
    read.Add(from_book.data(), want);
  }
  *differs = read.Value() != written.Value();
  return std::string();
}

// The first difference between a stored page and what was written: against
// the digest taken while writing when there is one, else against the file.
std::string ComparePage(HelpStorage* book, const std::string& name, StoredFile* stored,
                        const std::string& disk_path, const PageDigest* written, CompareBuffers* buffers,
                        const Stop& stop) {
  if (written == nullptr) return CompareWithFile(stored, disk_path, buffers, stop);
  bool differs;
  const std::string problem = CompareWithDigest(stored, *written, buffers, stop, &differs);
  if (!differs) return problem;
  // The file can tell where they differ, unless it has changed since.
  const std::unique_ptr<StoredFile> again = book->OpenFile(InternalPath(name));
  const std::string where = again ? CompareWithFile(again.get(), disk_path, buffers, stop) : std::string();
  return where.empty() ? "its bytes differ from what the compiler wrote" : where;
}

// Names the reader has found already (no leading '/'): a link to one needs
// no second lookup (under Wine each lookup opens a stream, and every page has
// two links). The pages' names are viewed where the facts hold them, not
// copied: a hundred thousand copies showed in the check's profile.
struct Found {
  std::unordered_set<std::string_view> pages;
  std::unordered_set<std::string> linked;
  bool Has(const std::string& path) const { return pages.count(path) != 0 || linked.count(path) != 0; }
};

// Calls see(local) for each Local value of a sitemap in file order, as
// written (code page 936 bytes), until it returns false.
template <typename See>
void ForEachLocal(std::string_view text, See see) {
  // Markup is ASCII, and no code page 936 byte that follows a lead byte is
  // '<', '>', '"' or '\'', so the bytes can be scanned as they are. Keys and
  // values are viewed where they stand: the sitemaps of 100,000 pages have
  // hundreds of thousands of them.
  using inkbinder::SameIgnoringAsciiCase;
  size_t pos = 0;
  while ((pos = text.find('<', pos)) != std::string_view::npos) {
    const size_t end = text.find('>', pos);
    if (end == std::string_view::npos) break;
    if (!SameWord(text, pos + 1, "param") || pos + 6 >= end || !IsSpace(text[pos + 6])) {
      pos = end;
      continue;
    }
    // The attributes of one <param ...> tag; the last of each counts.
    std::string_view name, value;
    bool has_value = false;
    size_t i = pos + 6;
    while (i < end) {
      while (i < end && IsSpace(text[i])) ++i;
      const size_t key_start = i;
      while (i < end && !IsSpace(text[i]) && text[i] != '=' && text[i] != '/') ++i;
      const std::string_view key = text.substr(key_start, i - key_start);
      while (i < end && IsSpace(text[i])) ++i;
      std::string_view val;
      if (i < end && text[i] == '=') {
        ++i;
        while (i < end && IsSpace(text[i])) ++i;
        if (i < end && (text[i] == '"' || text[i] == '\'')) {
          const char quote = text[i];
          const size_t close = text.find(quote, i + 1);
          const size_t stop = close == std::string_view::npos || close > end ? end : close;
          val = text.substr(i + 1, stop - i - 1);
          i = stop + 1;
        } else {
          const size_t start = i;
          while (i < end && !IsSpace(text[i])) ++i;
          val = text.substr(start, i - start);
        }
      } else if (key.empty()) {
        ++i;  // a stray '/'
      }
      if (SameIgnoringAsciiCase(key, "name")) {
        name = val;
      } else if (SameIgnoringAsciiCase(key, "value")) {
        value = val;
        has_value = true;
      }
    }
    if (has_value && SameIgnoringAsciiCase(name, "local") && !see(value)) return;
    pos = end;
  }
}

// Every Local of one stored sitemap opens a page.
std::string CheckLocals(HelpStorage* book, const char* which, const std::string& sitemap, Found* found) {
  std::string problem;
  ForEachLocal(sitemap, [&](std::string_view local) {
    std::string path = ReaderPathOfLocal(local);
    if (found->Has(path)) return true;
    if (book->OpenFile(InternalPath(path))) {
      found->linked.insert(std::move(path));
      return true;
    }
    problem = "the " + std::string(which) + " links to " + path +
              ", which a reader cannot find in the book (Local \"" + CodePageToUtf8(local, kCodePage936) +
              "\")";
    return false;
  });
  return problem;
}

// One stored sitemap: named in #SYSTEM, stored byte for byte, every link opening.
std::string CheckSitemap(HelpStorage* book, const char* which, const std::string& system_name,
                         const std::string& name, const std::string& written, Found* found) {
  if (name.empty()) return std::string();
  const std::string shown = CodePageToUtf8(name, kCodePage936);
  if (system_name != name) {
    return "the book names " + CodePageToUtf8(system_name, kCodePage936) + " as its " + which +
           ", not " + shown;
  }
  const std::unique_ptr<StoredFile> file = book->OpenFile(InternalPath(shown));
  std::string stored;
  if (!file || !ReadWhole(file.get(), &stored)) {
    return "the book holds no " + std::string(which) + " " + shown;
  }
  if (stored != written) return "the " + std::string(which) + " " + shown + " is stored changed";
  return CheckLocals(book, which, stored, found);
}

}  // namespace

std::vector<std::string> SitemapLocals(const std::string& sitemap) {
  std::vector<std::string> locals;
  ForEachLocal(sitemap, [&](std::string_view local) {
    locals.emplace_back(local);
    return true;
  });
  return locals;
}

std::string ReaderPathOfLocal(std::string_view local) {
  // Most links hold no character reference and no escape: those steps are
  // skipped for them.
  std::string decoded;
  std::string_view text = local;
  if (local.find('&') != std::string_view::npos) {
    decoded = DecodeEntities(local);
    text = decoded;
  }
  std::string url = CodePageToUtf8(text, kCodePage936);
  const size_t fragment = url.find('#');
  if (fragment != std::string::npos) url.resize(fragment);
  std::string path;
  if (url.find('%') == std::string::npos) {
    path = std::move(url);
  } else {
    for (size_t i = 0; i < url.size(); ++i) {
      if (url[i] == '%' && i + 2 < url.size() && HexValue(url[i + 1]) >= 0 && HexValue(url[i + 2]) >= 0) {
        path += static_cast<char>(HexValue(url[i + 1]) * 16 + HexValue(url[i + 2]));
        i += 2;
      } else {
        path += url[i];
      }
    }
  }
  path.erase(0, path.find_first_not_of('/'));
  return path;
}

namespace {

// The check is decompression and lookups, bound by the cores: each reader
// of its own takes a run of pages at a time. Below kParallelCheckBytes of
// pages a second reader costs more to open and start than it saves.
constexpr unsigned kMostCheckReaders = 4;
constexpr std::uint64_t kParallelCheckBytes = 4 << 20;
// Runs per reader: a reader that gets little time from the system still
// leaves the others runs to take.
constexpr std::size_t kRunsPerReader = 4;

// What the readers share: the facts, the listing and a stop that every
// reader may ask (the caller's is asked by one at a time).
struct CheckShared {
  const BookFacts& facts;
  const std::unordered_set<std::string_view>& listed;
  const SystemFile& system;
  bool digested = false;
  std::function<bool()> stop;
};

// Pages [begin, end): each looked up by name, listed, and holding what the
// compiler wrote.
std::string CheckPages(HelpStorage* book, const CheckShared& shared, std::size_t begin, std::size_t end) {
  const BookFacts& facts = shared.facts;
  CompareBuffers buffers;
  std::string path;  // the page's name as looked up, reused
  for (std::size_t i = begin; i < end; ++i) {
    const auto& [name, disk_path] = facts.pages[i];
    path.assign(1, '/');
    path += name;
    const std::unique_ptr<StoredFile> stored = book->OpenFile(path);
    if (!stored) return name + ": the book does not hold this page";
    if (shared.listed.count(name) == 0) return name + ": the book's file listing leaves this page out";
    const std::string problem = ComparePage(book, name, stored.get(), disk_path,
                                            shared.digested ? &facts.page_digests[i] : nullptr, &buffers,
                                            shared.stop);
    if (problem == kInterrupted) return problem;
    if (!problem.empty()) return name + ": " + problem;
  }
  return std::string();
}

// Both sitemaps; a link to a page needs no lookup of its own, as the pages
// are looked up one by one.
std::string CheckSitemaps(HelpStorage* book, const CheckShared& shared) {
  const BookFacts& facts = shared.facts;
  Found found;
  found.pages.reserve(facts.pages.size());
  for (const auto& page : facts.pages) found.pages.insert(page.first);
  if (shared.stop && shared.stop()) return kInterrupted;
  std::string problem = CheckSitemap(book, "contents", shared.system.contents_name, facts.contents_name,
                                     facts.contents_bytes, &found);
  if (problem.empty()) {
    problem = CheckSitemap(book, "index", shared.system.index_name, facts.index_name, facts.index_bytes, &found);
  }
  return problem;
}

// Page runs of about equal bytes, in book order: their ends.
std::vector<std::size_t> PageRunEnds(const BookFacts& facts, bool digested, std::size_t runs) {
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < facts.pages.size(); ++i) total += digested ? facts.page_digests[i].length : 1;
  std::vector<std::size_t> ends;
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < facts.pages.size(); ++i) {
    sum += digested ? facts.page_digests[i].length : 1;
    if (sum * runs >= total * (ends.size() + 1) && ends.size() + 1 < runs) ends.push_back(i + 1);
  }
  ends.push_back(facts.pages.size());
  return ends;
}

// Pages first, in book order, then the sitemaps: the first problem in that
// order, whichever reader met it first. A fault that shifts the files
// stored after a page shows in the page itself, so the message names it.
std::string CheckWithReaders(const std::string& book_path, HelpStorage* own, const CheckShared& shared,
                             unsigned readers) {
  const std::vector<std::size_t> ends = PageRunEnds(shared.facts, shared.digested, readers * kRunsPerReader);
  const std::size_t sitemaps = ends.size();  // the last task in that order, taken first: it is the largest
  std::vector<std::string> problems(ends.size() + 1);
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> first_failed{problems.size()};
  const auto work = [&](HelpStorage* book) {
    for (std::size_t taken; (taken = next++) < problems.size();) {
      const std::size_t task = taken == 0 ? sitemaps : taken - 1;
      if (task > first_failed.load()) continue;  // an earlier problem is the one told
      problems[task] = task == sitemaps ? CheckSitemaps(book, shared)
                                        : CheckPages(book, shared, task == 0 ? 0 : ends[task - 1], ends[task]);
      if (problems[task].empty()) continue;
      std::size_t failed = first_failed.load();
      while (task < failed && !first_failed.compare_exchange_weak(failed, task)) {
      }
    }
  };
  inkbinder::RunOnThreads(
      readers,
      [&](unsigned k) {
        if (k == 0) return work(own);
        std::string error;
        // A reader that cannot open the book leaves its share to the others.
        const std::unique_ptr<HelpStorage> book = HelpStorage::Open(book_path, &error);
        if (book) work(book.get());
      },
      [&] { next = problems.size(); });
  for (const std::string& problem : problems) {
    if (!problem.empty()) return problem;
  }
  return std::string();
}

}  // namespace

std::string CheckBook(const std::string& book_path, const BookFacts& facts,
                      const std::function<bool()>& stop, unsigned readers) {
  std::string error;
  const std::unique_ptr<HelpStorage> book = HelpStorage::Open(book_path, &error);
  if (!book) return error;

  const SystemFile system = ReadSystemFile(book.get());
  if (!system.read) return "the book has no #SYSTEM file";
  if (!system.has_language || system.language != facts.language) {
    char words[96];
    std::snprintf(words, sizeof words, "the book's language is 0x%x, not 0x%x",
                  static_cast<unsigned>(system.language), static_cast<unsigned>(facts.language));
    return words;
  }

  std::vector<std::string> names;
  if (!book->ListFiles(&names)) return "the book's file listing cannot be read";
  // By name without the leading '/', as the facts name pages.
  std::unordered_set<std::string_view> listed(names.size());
  for (const std::string& listed_name : names) listed.insert(std::string_view(listed_name).substr(1));

  const bool digested = facts.page_digests.size() == facts.pages.size();
  std::uint64_t page_bytes = 0;
  for (const PageDigest& digest : facts.page_digests) page_bytes += digest.length;
  if (readers == 0) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    readers = page_bytes >= kParallelCheckBytes ? std::min(cores, kMostCheckReaders) : 1;
  }
  // The caller's stop is asked by one reader at a time, and once it says
  // stop, every reader stops.
  std::mutex stop_mutex;
  std::atomic<bool> stopped{false};
  CheckShared shared{facts, listed, system, digested, nullptr};
  if (stop) {
    shared.stop = [&] {
      if (stopped.load()) return true;
      // A reader that finds another asking goes on: waiting would cost a system call.
      const std::unique_lock<std::mutex> lock(stop_mutex, std::try_to_lock);
      if (lock.owns_lock() && !stopped.load() && stop()) stopped = true;
      return stopped.load();
    };
  }
  if (readers == 1) {
    std::string problem = CheckPages(book.get(), shared, 0, facts.pages.size());
    return problem.empty() ? CheckSitemaps(book.get(), shared) : problem;
  }
  return CheckWithReaders(book_path, book.get(), shared, readers);
}

}  // namespace helpbook
