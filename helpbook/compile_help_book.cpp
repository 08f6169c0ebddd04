#include "helpbook/compile_help_book.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "helpbook/book_writer.h"
#include "helpbook/help_project.h"
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
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
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
  std::string out;
  std::size_t pos = 0;
  while (pos <= relative.size()) {
    std::size_t end = relative.find('/', pos);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(pos, end - pos);
    if (part == "..") return false;
    if (!part.empty() && part != ".") out += "/" + part;
    pos = end + 1;
  }
  if (out.empty() || IsFullPath(relative)) return false;
  *name = out;
  return true;
}

// Streams one page from disk into the book through `buffer`, which the
// caller keeps for every page: zero-filling a fresh megabyte for each of
// thousands of small pages cost more than compressing them.
bool AddPage(BookWriter* writer, const std::string& name, const std::string& path,
             const std::function<bool()>& stop, std::vector<char>* buffer, std::string* error) {
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
         (got = std::fread(buffer->data(), 1, static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer->size())),
                           f)) > 0) {
    ok = writer->Append(buffer->data(), got);
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
  if (!ok) *error = "cannot write the compressed section beside the book";
  return ok;
}

// 100 ns ticks since 1601, as the system files keep their time.
std::uint64_t FileTimeNow() {
  const auto since_1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
  return static_cast<std::uint64_t>(since_1970 / 100) + 116444736000000000ULL;
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

bool CompileHelpBook(const std::string& project_path, const CompileOptions& options,
                     std::string* book_path, std::string* error) {
  error->clear();
  std::string text;
  if (!ReadWholeFile(project_path, &text)) {
    *error = CannotRead("project file", project_path);
    return false;
  }
  HelpProject project;
  if (!ParseHelpProject(text, &project, error)) return false;
  std::string().swap(text);
  if (project.compiled_file.empty()) {
    *error = "the project names no book (Compiled file=)";
    return false;
  }
  const std::string folder = FolderOf(project_path);
  const auto on_disk = [&](const std::string& utf8) {
    return IsFullPath(utf8) ? utf8 : folder + "/" + utf8;
  };
  std::string book_name;
  if (!ProjectName(project.compiled_file, &book_name)) {
    *error = "the book's name is no code page 936 text: Compiled file=" + project.compiled_file;
    return false;
  }
  *book_path = on_disk(book_name);

  BookInfo info;
  if (!BookInfoFromProject(project, &info, error)) return false;
  info.timestamp = FileTimeNow();

  // The sitemaps are stored byte for byte under their UTF-8 names.
  BookFacts facts;
  facts.language = project.language;
  struct SitemapFile {
    std::string name;
    std::string bytes;
    std::string* fact_bytes;  // where the check finds them once they are in the book
  };
  std::vector<SitemapFile> sitemaps;
  const struct {
    const std::string* bytes;
    std::vector<SitemapEntry>* entries;
    std::string* fact_name;
    std::string* fact_bytes;
  } sitemap_files[] = {{&project.contents_file, &info.contents, &facts.contents_name, &facts.contents_bytes},
                       {&project.index_file, &info.index, &facts.index_name, &facts.index_bytes}};
  for (const auto& [bytes, entries, fact_name, fact_bytes] : sitemap_files) {
    if (bytes->empty()) continue;
    std::string relative;
    std::string name;
    if (!ProjectName(*bytes, &relative) || !BookName(relative, &name)) {
      *error = "cannot use the sitemap name " + *bytes;
      return false;
    }
    std::string content;
    if (!ReadWholeFile(on_disk(relative), &content)) {
      *error = CannotRead("sitemap", on_disk(relative));
      return false;
    }
    if (!ParseSitemap(content, entries, error)) {
      *error = on_disk(relative) + ": " + *error;
      return false;
    }
    *fact_name = *bytes;
    sitemaps.push_back({name, std::move(content), fact_bytes});
  }

  std::vector<InternalFile> system_files;
  if (!MakeSystemFiles(info, &system_files, error)) return false;
  // The entries and names of 100,000 pages take tens of megabytes; the
  // system files hold what they were needed for.
  info = BookInfo{};

  BookSettings settings;
  settings.lzx = options.lzx;
  settings.language = project.language;
  settings.timestamp = static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
          .count());
  BookWriter writer(*book_path, settings);
  if (!writer.Start(error)) return false;
  for (const InternalFile& file : system_files) {
    if (!writer.AddFile(file.name, file.bytes)) {
      *error = "cannot write the compressed section beside the book";
      return false;
    }
  }
  std::vector<InternalFile>().swap(system_files);  // in the book now
  for (SitemapFile& sitemap : sitemaps) {
    if (!writer.Has(sitemap.name) && !writer.AddFile(sitemap.name, sitemap.bytes)) {
      *error = "cannot write the compressed section beside the book";
      return false;
    }
    // Handed on, not copied: only a check wants them still.
    if (options.check) *sitemap.fact_bytes = std::move(sitemap.bytes);
    std::string().swap(sitemap.bytes);
  }
  std::vector<char> buffer(kReadBlock);
  const std::size_t total = project.files.size();
  if (options.check) facts.pages.reserve(total);
  std::size_t done = 0;
  if (options.progress) options.progress(0, total);
  for (const std::string& page : project.files) {
    std::string relative;
    std::string name;
    if (!ProjectName(page, &relative) || !BookName(relative, &name)) {
      *error = "cannot use the page name " + inkbinder::CodePageToUtf8(page, inkbinder::kCodePage936);
      return false;
    }
    if (!writer.Has(name)) {  // else listed twice
      if (!AddPage(&writer, name, on_disk(relative), options.stop, &buffer, error)) return false;
      if (options.check) facts.pages.emplace_back(name.substr(1), on_disk(relative));
    }
    if (options.progress) options.progress(++done, total);
  }
  std::vector<std::string>().swap(project.files);  // the check has its own list
  if (options.stop && options.stop()) {
    *error = "interrupted";
    return false;
  }
  if (!options.check) return writer.Finish(error);
  return writer.Finish(error, [&](const std::string& whole_book, std::string* problem) {
    *problem = options.check(whole_book, facts);
    if (problem->empty()) return true;
    *problem = "the book does not read back right: " + *problem;
    return false;
  });
}

}  // namespace helpbook
