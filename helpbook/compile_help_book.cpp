#include "helpbook/compile_help_book.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string_view>
#include <thread>
#include <vector>

#include "helpbook/book_writer.h"
#include "helpbook/help_project.h"
#include "helpbook/page_read_ahead.h"
#include "helpbook/sitemap.h"
#include "helpbook/system_files.h"
#include "platform/files.h"
#include "platform/text.h"

namespace helpbook {

namespace {

constexpr std::size_t kReadBlock = 1 << 20;

// Input is read only from regular files: a FIFO or a device named in the
// project would block the compile or never end. Read up to the size the file
// had when it was opened, so that no read is spent on finding its end; a
// file of size 0 may be one that does not know its size (under /proc), and
// is read to its end.
std::FILE* OpenInput(const std::string& path, std::uint64_t* size) {
  std::FILE* f = inkbinder::OpenRegularFile(path, size);
  if (f != nullptr && *size == 0) *size = UINT64_MAX;
  return f;
}

// Why `what` at `path` cannot be read.
std::string CannotRead(const std::string& what, const std::string& path) {
  if (inkbinder::StampOf(path).exists && !inkbinder::IsRegularFile(path)) {
    return "the " + what + " " + path + " is not a regular file";
  }
  return "cannot read the " + what + " " + path;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::uint64_t size = 0;
  std::FILE* f = OpenInput(path, &size);
  if (f == nullptr) return false;
  // The sitemaps of 100,000 pages are megabytes each: read into exactly
  // their size, not twice as much as a growing string would take.
  if (size != UINT64_MAX) bytes->reserve(bytes->size() + static_cast<std::size_t>(size));
  std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(size, kReadBlock)));
  while (size > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
    const std::size_t got = std::fread(buffer.data(), 1, want, f);
    if (got == 0) break;
    bytes->append(buffer.data(), got);
    size -= got;
  }
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok;
}

std::string FolderOf(const std::string& path) {
  const std::string folder = inkbinder::FolderOf(path);
  return folder.empty() ? "." : folder;
}

bool IsFullPath(const std::string& path) {
  return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
         (path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/'));
}

// A name from the project (code page 936) as UTF-8 with '/' between folders.
// False when the bytes are no code page 936 text.
bool ProjectName(const std::string& bytes, std::string* utf8) {
  *utf8 = inkbinder::CodePageToUtf8(bytes, inkbinder::kCodePage936);
  if (utf8->find("\xEF\xBF\xBD") != std::string::npos) return false;  // U+FFFD: not code page 936
  for (char& c : *utf8) {
    if (c == '\\') c = '/';
  }
  return true;
}

// The name a page has inside the book: "/" + its path below the project's
// folder. False for a name that leaves the folder.
bool BookName(const std::string& relative, std::string* name) {
  // Parts are viewed, not copied: every one of 100,000 pages comes through here.
  std::string out;
  out.reserve(relative.size() + 1);
  const std::string_view text = relative;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('/', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view part = text.substr(pos, end - pos);
    if (part == "..") return false;
    if (!part.empty() && part != ".") {
      out += '/';
      out += part;
    }
    pos = end + 1;
  }
  if (out.empty() || IsFullPath(relative)) return false;
  *name = std::move(out);
  return true;
}

// Streams one page from disk into the book through `buffer`, which the
// caller keeps for every page: zero-filling a fresh megabyte for each of
// thousands of small pages cost more than compressing them.
bool AddPage(BookWriter* writer, const std::string& name, const std::string& path,
             const std::function<bool()>& stop, std::vector<char>* buffer, PageDigest* digest,
             std::string* error) {
  std::uint64_t left = 0;
  std::FILE* f = OpenInput(path, &left);
  if (f == nullptr) {
    *error = CannotRead("page", path);
    return false;
  }
  writer->BeginFile(name);
  bool ok = true;
  std::size_t got;
  bool stopped = false;
  while (ok && !(stopped = stop && stop()) && left > 0 &&
         (got = std::fread(buffer->data(), 1,
                           static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer->size())), f)) > 0) {
    ok = writer->Append(buffer->data(), got);
    digest->Add(buffer->data(), got);
    left -= got;
  }
  writer->EndFile();
  if (stopped) {
    std::fclose(f);
    *error = "interrupted";
    return false;
  }
  const bool read_failed = std::ferror(f) != 0;
  std::fclose(f);
  if (read_failed) {
    *error = CannotRead("page", path);
    return false;
  }
  if (!ok) *error = kCannotWriteSection;
  return ok;
}

// "C:name": on Windows, a path on the drive's current folder.
bool HasDrive(const std::string& path) { return path.size() > 1 && path[1] == ':'; }

// Where the project's names lie on disk: below its folder, or full paths.
struct ProjectFolder {
  std::string folder;
  std::string OnDisk(const std::string& utf8) const {
    return IsFullPath(utf8) ? utf8 : folder + "/" + utf8;
  }
};

// Every page's name in the book and its file, in the project's order, up to
// the first name that cannot be used: that one fails the compile when its
// turn comes. Worked out once: 100,000 names are too many to convert twice.
struct PageFiles {
  std::vector<std::string> names;
  std::vector<std::string> paths;
};

PageFiles ListPages(const HelpProject& project, const ProjectFolder& where) {
  PageFiles pages;
  pages.names.reserve(project.files.size());
  pages.paths.reserve(project.files.size());
  for (const std::string& page : project.files) {
    std::string relative;
    std::string name;
    if (!ProjectName(page, &relative) || !BookName(relative, &name)) break;
    pages.names.push_back(std::move(name));
    pages.paths.push_back(where.OnDisk(relative));
  }
  return pages;
}

// The project's own file (UTF-8) that `book_name`, a name below the
// project's folder, would replace; "" when none. Letter case is ignored, as
// Windows' file systems ignore it.
std::string InputNamed(const std::string& book_name, const std::string& project_path,
                       const HelpProject& project, const PageFiles& pages) {
  const std::string project_name = inkbinder::BaseName(project_path);
  if (inkbinder::SameIgnoringAsciiCase(book_name, "/" + project_name)) return project_name;
  const auto names_book = [&](const std::string& bytes, std::string* relative) {
    std::string name;
    return ProjectName(bytes, relative) && BookName(*relative, &name) &&
           inkbinder::SameIgnoringAsciiCase(book_name, name);
  };
  std::string relative;
  for (const std::string* file : {&project.contents_file, &project.index_file}) {
    if (!file->empty() && names_book(*file, &relative)) return relative;
  }
  for (std::size_t i = 0; i < project.files.size(); ++i) {
    if (i < pages.names.size() ? inkbinder::SameIgnoringAsciiCase(book_name, pages.names[i])
                               : names_book(project.files[i], &relative)) {
      if (i < pages.names.size()) ProjectName(project.files[i], &relative);
      return relative;
    }
  }
  return std::string();
}

// 100 ns ticks since 1601, as the system files keep their time.
std::uint64_t FileTimeNow() {
  const auto since_1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
  return static_cast<std::uint64_t>(since_1970 / 100) + inkbinder::kFileTimeOf1970;
}

}  // namespace

bool BookInfoFromProject(const HelpProject& project, BookInfo* info, std::string* error) {
  info->title = project.title;
  info->compiled_file = project.compiled_file;
  info->contents_file = project.contents_file;
  info->index_file = project.index_file;
  info->default_topic = project.default_topic;
  info->default_window = project.default_window;
  info->default_font = project.default_font;
  info->language = project.language;
  info->files = project.files;
  for (const std::string& line : project.window_lines) {
    WindowDefinition window;
    if (!ParseWindowLine(line, &window, error)) {
      *error = "project window " + line + ": " + *error;
      return false;
    }
    info->windows.push_back(std::move(window));
  }
  return true;
}

namespace {

// A failure to write the book or its temporary files, told apart for the caller.
bool NotWritten(const std::string& message, std::string* error, CompileFailure* failure) {
  if (error->empty()) *error = message;
  if (failure != nullptr) *failure = CompileFailure::kBookNotWritten;
  return false;
}

// The project file, read and understood; it must name a book.
bool ReadProject(const std::string& project_path, HelpProject* project, std::string* error) {
  std::string text;
  if (!ReadWholeFile(project_path, &text)) {
    *error = CannotRead("project file", project_path);
    return false;
  }
  if (!ParseHelpProject(text, project, error)) return false;
  std::string().swap(text);
  if (project->compiled_file.empty()) {
    *error = "the project names no book (Compiled file=)";
    return false;
  }
  return true;
}

// The book's path on disk. The book lies in the project's folder or below
// it, where the tool looks for it, and never in the place of one of its own
// inputs.
bool BookPath(const std::string& project_path, const HelpProject& project, const ProjectFolder& where,
              const PageFiles& pages, std::string* book_path, std::string* error) {
  std::string book_name;
  if (!ProjectName(project.compiled_file, &book_name)) {
    *error = "the book's name is no code page 936 text: Compiled file=" + project.compiled_file;
    return false;
  }
  std::string book_in_folder;
  if (!BookName(book_name, &book_in_folder) || HasDrive(book_name)) {
    *error = "the book must lie in the project's folder: Compiled file=" + book_name;
    return false;
  }
  const std::string input = InputNamed(book_in_folder, project_path, project, pages);
  if (!input.empty()) {
    *error = "the book would take the place of the project's own file " + input +
             ": Compiled file=" + book_name;
    return false;
  }
  *book_path = where.OnDisk(book_name);
  return true;
}

// A sitemap's name below the project's folder and in the book, from the
// project's code page 936 `bytes`; false when it cannot be used.
bool SitemapNames(const std::string& bytes, std::string* relative, std::string* name) {
  return ProjectName(bytes, relative) && BookName(*relative, name);
}

// A sitemap on its way into the book.
struct SitemapFile {
  std::string name;
  std::string bytes;
  std::string* fact_bytes;  // where the check finds them once they are in the book
};

// One sitemap the project names (code page 936 `bytes`, none when empty):
// its entries, and its book name and bytes in `sitemaps`, stored byte for
// byte under its UTF-8 name. The check's facts get its project name now,
// and its bytes once they are in the book.
bool ReadSitemap(const std::string& bytes, const ProjectFolder& where,
                 std::vector<SitemapEntry>* entries, std::string* fact_name, std::string* fact_bytes,
                 std::vector<SitemapFile>* sitemaps, std::string* error) {
  if (bytes.empty()) return true;
  std::string relative;
  std::string name;
  if (!SitemapNames(bytes, &relative, &name)) {
    *error = "cannot use the sitemap name " + bytes;
    return false;
  }
  std::string content;
  if (!ReadWholeFile(where.OnDisk(relative), &content)) {
    *error = CannotRead("sitemap", where.OnDisk(relative));
    return false;
  }
  if (!ParseSitemap(content, entries, error)) {
    *error = where.OnDisk(relative) + ": " + *error;
    return false;
  }
  *fact_name = bytes;
  sitemaps->push_back({name, std::move(content), fact_bytes});
  return true;
}

// What the book holds besides its pages: the sitemaps, and the system files
// made from them.
struct BookExtras {
  std::vector<SitemapFile> sitemaps;
  std::vector<InternalFile> system_files;
  bool made = false;
  std::string error;
  std::exception_ptr failure;
};

// Reads both sitemaps, the contents first, and makes the system files from
// them. One after the other: this runs beside the pages' compression, and
// the sitemaps of 100,000 pages take tens of megabytes each while they are
// understood.
bool ReadSitemapsAndMakeSystemFiles(const HelpProject& project, const ProjectFolder& where, BookInfo* info,
                                    BookFacts* facts, BookExtras* extras) {
  if (!ReadSitemap(project.contents_file, where, &info->contents, &facts->contents_name, &facts->contents_bytes,
                   &extras->sitemaps, &extras->error) ||
      !ReadSitemap(project.index_file, where, &info->index, &facts->index_name, &facts->index_bytes,
                   &extras->sitemaps, &extras->error) ||
      !MakeSystemFiles(*info, &extras->system_files, &extras->error)) {
    return false;
  }
  // The entries and names of 100,000 pages take tens of megabytes; the
  // system files hold what they were needed for.
  *info = BookInfo{};
  return true;
}

// The sitemaps and the system files go into the book after the pages, and
// are freed once they are in it; a check that wants the sitemaps' bytes gets
// them handed on, not copied. False when the section cannot be written.
bool AddSitemapsAndSystemFiles(std::vector<SitemapFile>* sitemaps, std::vector<InternalFile>* system_files,
                               bool for_check, BookWriter* writer) {
  for (SitemapFile& sitemap : *sitemaps) {
    if (!writer->Has(sitemap.name) && !writer->AddFile(sitemap.name, sitemap.bytes)) return false;
    if (for_check) *sitemap.fact_bytes = std::move(sitemap.bytes);
    std::string().swap(sitemap.bytes);
  }
  for (const InternalFile& file : *system_files) {
    if (!file.compressed) {
      writer->AddUncompressedFile(file.name, file.bytes);
    } else if (!writer->AddFile(file.name, file.bytes)) {
      return false;
    }
  }
  std::vector<InternalFile>().swap(*system_files);
  return true;
}

// Threads that read pages ahead: two keep the compressor fed with 100,000
// small pages; more only take cores from it.
constexpr unsigned kMostPageReaders = 2;

// Every page the project lists, once, streamed into the book. Small pages
// come read ahead; the rest are read here.
bool AddPages(const HelpProject& project, PageFiles* pages, const CompileOptions& options,
              const std::vector<std::string>& later, BookWriter* writer, BookFacts* facts, std::string* error,
              CompileFailure* failure) {
  std::vector<char> buffer(kReadBlock);
  const std::size_t total = project.files.size();
  if (options.check) facts->pages.reserve(total);
  const std::vector<std::string>& names = pages->names;
  std::vector<std::string>& paths = pages->paths;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  PageReadAhead ahead(paths, std::min(cores, kMostPageReaders));
  std::string bytes;
  std::size_t done = 0;
  if (options.progress) options.progress(0, total);
  for (std::size_t i = 0; i < total; ++i) {
    if (i == names.size()) {
      *error = "cannot use the page name " +
               inkbinder::CodePageToUtf8(project.files[i], inkbinder::kCodePage936);
      return false;
    }
    const std::string& name = names[i];
    PageDigest digest;
    const bool read_ahead = ahead.Take(i, &bytes, &digest);
    // A name listed twice, or one the book's own files take after the pages, is stored once.
    if (!writer->Has(name) && std::find(later.begin(), later.end(), name) == later.end()) {
      if (options.stop && options.stop()) {
        *error = "interrupted";
        return false;
      }
      if (read_ahead) {
        if (!writer->AddFile(name, bytes)) return NotWritten(kCannotWriteSection, error, failure);
      } else {
        digest = PageDigest();
        if (!AddPage(writer, name, paths[i], options.stop, &buffer, &digest, error)) {
          return *error == kCannotWriteSection ? NotWritten(kCannotWriteSection, error, failure) : false;
        }
      }
      if (options.check) {
        // The readers are done with this page's path.
        facts->pages.emplace_back(name.substr(1), std::move(paths[i]));
        facts->page_digests.push_back(digest);
      }
    }
    if (options.progress) options.progress(++done, total);
  }
  return true;
}

// Assembles the book and puts it in its place, once it is sound and nobody
// asked to stop.
bool FinishBook(BookWriter* writer, const CompileOptions& options, const BookFacts& facts,
                std::string* error, CompileFailure* failure) {
  bool refused = false;
  const bool finished = writer->Finish(error, [&](const std::string& whole_book, std::string* problem) {
    if (options.check) *problem = options.check(whole_book, facts);
    if (options.stop && options.stop()) {
      *problem = "interrupted";
    } else if (!problem->empty()) {
      *problem = "the book does not read back right: " + *problem;
    }
    refused = !problem->empty();
    return !refused;
  });
  if (!finished && !refused && options.stop && options.stop()) return false;  // "interrupted"
  return finished || refused ? finished : NotWritten(*error, error, failure);
}

}  // namespace

namespace {

bool Compile(const std::string& project_path, const CompileOptions& options, std::string* book_path,
             std::string* error, CompileFailure* failure) {
  error->clear();
  if (failure != nullptr) *failure = CompileFailure::kOther;
  HelpProject project;
  if (!ReadProject(project_path, &project, error)) return false;
  const ProjectFolder where{FolderOf(project_path)};
  PageFiles pages = ListPages(project, where);
  if (!BookPath(project_path, project, where, pages, book_path, error)) return false;
  if (!inkbinder::IsReplaceable(*book_path)) {
    return NotWritten("cannot write the book " + *book_path + ": something other than a file is there",
                      error, failure);
  }

  BookInfo info;
  if (!BookInfoFromProject(project, &info, error)) return false;
  info.timestamp = FileTimeNow();

  BookFacts facts;
  facts.language = project.language;
  BookSettings settings;
  settings.lzx = options.lzx;
  settings.stop = options.stop;
  settings.language = project.language;
  settings.timestamp = UnixSeconds(info.timestamp);  // one clock read: header and #SYSTEM agree
  BookWriter writer(*book_path, settings);
  if (!writer.Start(error)) return NotWritten(*error, error, failure);

  // The pages go into the section first, as other compilers put them; the
  // sitemaps are read meanwhile and the system files made from them, on a
  // thread of its own, and follow the pages. A page cannot take a name they
  // will have.
  std::vector<std::string> later(std::begin(kSystemFileNames), std::end(kSystemFileNames));
  for (const std::string* sitemap : {&project.contents_file, &project.index_file}) {
    std::string relative;
    std::string name;
    if (!sitemap->empty() && SitemapNames(*sitemap, &relative, &name)) later.push_back(std::move(name));
  }
  BookExtras extras;
  std::atomic<bool> extras_failed{false};
  std::thread extras_maker([&] {
    try {
      extras.made = ReadSitemapsAndMakeSystemFiles(project, where, &info, &facts, &extras);
    } catch (...) {
      extras.failure = std::current_exception();
    }
    if (!extras.made) extras_failed = true;
  });
  // Joined however the pages end: a bad sitemap stops them, and is the problem told.
  struct Joiner {
    std::thread& thread;
    ~Joiner() {
      if (thread.joinable()) thread.join();
    }
  } joiner{extras_maker};
  CompileOptions page_options = options;
  page_options.stop = [&] { return extras_failed.load() || (options.stop && options.stop()); };
  const bool pages_added = AddPages(project, &pages, page_options, later, &writer, &facts, error, failure);
  pages = PageFiles{};  // the writer and the check have their own copies
  extras_maker.join();
  if (extras.failure) std::rethrow_exception(extras.failure);
  if (!extras.made) {
    *error = extras.error;
    if (failure != nullptr) *failure = CompileFailure::kOther;
    return false;
  }
  if (!pages_added) return false;
  std::vector<std::string>().swap(project.files);  // the check has its own list
  if (!AddSitemapsAndSystemFiles(&extras.sitemaps, &extras.system_files, static_cast<bool>(options.check),
                                 &writer)) {
    return NotWritten(kCannotWriteSection, error, failure);
  }
  if (options.stop && options.stop()) {
    *error = "interrupted";
    return false;
  }
  return FinishBook(&writer, options, facts, error, failure);
}

}  // namespace

bool CompileHelpBook(const std::string& project_path, const CompileOptions& options,
                     std::string* book_path, std::string* error, CompileFailure* failure) {
  try {
    return Compile(project_path, options, book_path, error, failure);
  } catch (const std::exception& e) {
    // Out of memory in a compressing thread, say: a failed compile, not an abort.
    *error = e.what();
    if (failure != nullptr) *failure = CompileFailure::kOther;
    return false;
  }
}

}  // namespace helpbook
