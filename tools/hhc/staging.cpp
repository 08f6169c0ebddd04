#include "tools/hhc/staging.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "project/text_encoding.h"

namespace inkbinder::hhc {

namespace fs = std::filesystem;

namespace {

// Where chmcmd is told the pages end (see StageProject).
constexpr char kEndMarker[] = "#inkbinder-end";

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

// "Binary Index = ..." in any letter case.
bool IsBinaryIndexLine(std::string_view line) {
  const size_t eq = line.find('=');
  return eq != std::string_view::npos && Upper(Trimmed(line.substr(0, eq))) == "BINARY INDEX";
}

std::uint64_t SizeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return path;
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data()) + "/" + path;
}

// False for a file whose size says empty yet whose read fails or brings
// bytes, as the pseudo-files of /proc do. Only empty files are read here, so
// thousands of pages cost no more than the stat() each needs anyway.
bool ReadsAsAFile(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) return false;
  if (st.st_size > 0) return true;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  char byte;
  ssize_t got;
  do {
    got = read(fd, &byte, 1);
  } while (got < 0 && errno == EINTR);
  close(fd);
  return got == 0;
}

// A hard link where it can be (the same file system, the file's owner
// allowing it), else a symbolic one. Hard links cost the same every time;
// thousands of symbolic links were seen to take 15 times as long now and then.
bool LinkPage(const std::string& target, const std::string& at) {
  if (linkat(AT_FDCWD, target.c_str(), AT_FDCWD, at.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno == EEXIST) return true;  // the same page listed twice
  return symlink(target.c_str(), at.c_str()) == 0 || errno == EEXIST;
}

// True when the path stays inside the folder it is relative to.
bool StaysInside(const std::string& relative) {
  if (relative.empty() || relative[0] == '/') return false;
  size_t pos = 0;
  while (pos <= relative.size()) {
    const size_t end = std::min(relative.find('/', pos), relative.size());
    if (relative.compare(pos, end - pos, "..") == 0 && end - pos == 2) return false;
    pos = end + 1;
  }
  return true;
}

// Makes the folders above `relative` inside `root`.
bool MakeParents(const std::string& root, const std::string& relative) {
  const size_t slash = relative.rfind('/');
  if (slash == std::string::npos) return true;
  std::error_code ec;
  fs::create_directories(fs::path(root + "/" + relative.substr(0, slash)), ec);
  return !ec;
}

// Copies a small source file; a missing one is left for chmcmd to report.
bool CopySource(const std::string& folder, const std::string& name, const std::string& staging,
                std::string* error) {
  if (name.empty()) return true;
  const std::string target = ChmcmdPath(name);
  if (!StaysInside(target)) return true;  // an absolute name chmcmd opens itself
  const std::string from = DiskPath(folder, name);
  if (!Exists(from)) return true;
  std::error_code ec;
  if (!MakeParents(staging, target) ||
      !fs::copy_file(fs::path(from), fs::path(staging + "/" + target),
                     fs::copy_options::overwrite_existing, ec)) {
    *error = "cannot copy " + from + " to the staging folder: " + ec.message();
    return false;
  }
  return true;
}

}  // namespace

StagingFolder::~StagingFolder() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(fs::path(path_), ec);  // removes links, never what they point at
}

namespace {

constexpr char kStagingPrefix[] = "inkbinder-hhc-";

// The pid a staging folder's name records: inkbinder-hhc-<pid>-XXXXXX.
pid_t OwnerOf(const std::string& name) {
  const size_t prefix = sizeof kStagingPrefix - 1;
  if (name.compare(0, prefix, kStagingPrefix) != 0) return 0;
  const size_t dash = name.find('-', prefix);
  if (dash == std::string::npos || dash == prefix || dash - prefix > 9) return 0;
  pid_t pid = 0;
  for (size_t i = prefix; i < dash; ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    pid = pid * 10 + (name[i] - '0');
  }
  return pid;
}

// False once the process has ended. A killed process stays a zombie until
// its new parent reaps it, and a zombie cleans up nothing any more.
bool IsRunning(pid_t pid) {
  if (kill(pid, 0) != 0 && errno == ESRCH) return false;
  std::FILE* stat_file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
  if (stat_file == nullptr) return true;  // not ours to judge: leave it
  char line[512];
  const bool got = std::fgets(line, sizeof line, stat_file) != nullptr;
  std::fclose(stat_file);
  // "pid (name) S ...": the state follows the name's closing parenthesis.
  const char* close = got ? std::strrchr(line, ')') : nullptr;
  return close == nullptr || close[1] != ' ' || (close[2] != 'Z' && close[2] != 'X');
}

}  // namespace

void RemoveOrphanedStagingFolders(const std::string& temp_folder) {
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(temp_folder), ec), end; !ec && it != end;
       it.increment(ec)) {
    const pid_t owner = OwnerOf(it->path().filename().string());
    if (owner <= 0 || owner == getpid()) continue;
    if (IsRunning(owner)) continue;
    std::error_code ignored;
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) fs::remove_all(it->path(), ignored);
  }
}

std::string StagingTempFolder() {
  const char* tmp = getenv("TMPDIR");
  return tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
}

bool StagingFolder::Create(std::string* error) {
  const std::string temp_folder = StagingTempFolder();
  // A run killed outright (SIGKILL) left its folder: its owner is gone now.
  RemoveOrphanedStagingFolders(temp_folder);
  std::string pattern =
      temp_folder + "/" + kStagingPrefix + std::to_string(getpid()) + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    *error = "cannot make a staging folder from " + pattern + ": " + strerror(errno);
    return false;
  }
  path_ = pattern;
  return true;
}

std::string ChmcmdPath(std::string_view project_bytes) {
  std::string path(project_bytes);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string DiskPath(const std::string& project_folder, std::string_view project_bytes) {
  std::string name = CodePageToUtf8(project_bytes, kCodePage936);
  std::replace(name.begin(), name.end(), '\\', '/');  // a real backslash in UTF-8
  return project_folder + "/" + name;
}

std::string ProjectForChmcmd(std::string_view text, const std::string& end_marker) {
  static constexpr char kNoBinaryIndex[] = "Binary Index=No";
  std::string out;
  out.reserve(text.size() + text.size() / 4 + 64);
  std::string newline = "\r\n";
  enum class Section { kNone, kOptions, kFiles, kOther } section = Section::kNone;
  bool had_options = false, had_files = false;
  const auto end_files = [&] {
    if (section == Section::kFiles) out += end_marker + newline;
  };
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    size_t next = end;
    if (next < text.size()) {
      next += text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n' ? 2 : 1;
    }
    const std::string_view line = text.substr(pos, end - pos);
    const std::string_view ending = text.substr(end, next - end);
    if (!ending.empty()) newline = std::string(ending);
    pos = next;

    const std::string_view trimmed = Trimmed(line);
    if (!trimmed.empty() && trimmed.front() == '[' && trimmed.back() == ']') {
      end_files();
      const std::string name = Upper(trimmed.substr(1, trimmed.size() - 2));
      section = name == "OPTIONS" ? Section::kOptions : name == "FILES" ? Section::kFiles
                                                                         : Section::kOther;
      out += std::string(line) + newline;
      if (section == Section::kOptions && !had_options) out += kNoBinaryIndex + newline;
      had_options = had_options || section == Section::kOptions;
      had_files = had_files || section == Section::kFiles;
      continue;
    }
    if (section == Section::kOptions && IsBinaryIndexLine(trimmed)) continue;
    if (section == Section::kFiles && !trimmed.empty() && trimmed.front() != ';') {
      out += CodePageToUtf8(trimmed, kCodePage936) + newline;
      continue;
    }
    out += std::string(line) + std::string(ending);
  }
  end_files();
  if (!had_files) out += "[FILES]" + newline + end_marker + newline;
  if (!had_options) out = "[OPTIONS]" + newline + kNoBinaryIndex + newline + out;
  return out;
}

bool StageProject(const std::string& project_path, std::string_view project_text,
                  const HelpProject& project, const std::string& staging,
                  std::vector<ExpectedPage>* pages, std::string* notes, std::string* error) {
  const std::string absolute = Absolute(project_path);
  const std::string folder = FolderOf(absolute);
  // chmcmd writes the book under its name's own bytes, '\' and all (unlike
  // the pages it reads); where we put it on disk, '\' is a separator again.
  const std::string& book = project.compiled_file;
  std::string landing = CodePageToUtf8(book, kCodePage936);
  std::replace(landing.begin(), landing.end(), '\\', '/');
  if (!StaysInside(book) || !StaysInside(landing) || !MakeParents(staging, book)) {
    *error = "the book must be named inside the project folder: " +
             CodePageToUtf8(project.compiled_file, kCodePage936);
    return false;
  }
  if (!CopySource(folder, project.contents_file, staging, error) ||
      !CopySource(folder, project.index_file, staging, error)) {
    return false;
  }

  std::vector<std::string> names;  // as chmcmd will store them
  for (const std::string& entry : project.files) {
    const std::string shown = CodePageToUtf8(entry, kCodePage936);
    std::string name = shown;
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name == book || name == landing) {
      // chmcmd would write the book through the link, or we would move it
      // over the page.
      *error = "a page has the book's own name: " + shown;
      return false;
    }
    if (!StaysInside(name)) {
      *error = "page outside the project folder: " + shown;
      return false;
    }
    std::string target = DiskPath(folder, entry);
    if (!Exists(target)) {
      // A page whose name on disk is still in code page 936.
      const std::string as_bytes = folder + "/" + ChmcmdPath(entry);
      if (!Exists(as_bytes)) {
        *error = "page not found: " + target;
        return false;
      }
      target = as_bytes;
    }
    const std::string at = staging + "/" + name;
    if (!MakeParents(staging, name)) {
      *error = "cannot make a folder for " + shown + " in the staging folder";
      return false;
    }
    pages->push_back({name, at});
    names.push_back(name);
    if (!ReadsAsAFile(target)) {
      // chmcmd trusts a file's size and read() alike: a page whose read fails
      // or brings more than its size promises shifts every later file in the
      // book by a byte or more. Such a page goes in empty.
      *notes += "hhc: warning: " + target + " cannot be read as a file; it goes into the book empty\n";
      const int fd = open(at.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd >= 0) close(fd);
      continue;
    }
    if (SizeOf(target) > kLargestPage) {
      *error = "the page " + shown + " is 2 GiB or larger, more than chmcmd can put in a book";
      return false;
    }
    if (!LinkPage(target, at)) {
      *error = "cannot link " + target + " into the staging folder: " + strerror(errno);
      return false;
    }
  }

  // chmcmd stops reading the last file it is given one byte early when that
  // byte is left alone at the end of a read: a one-byte page, or a page that
  // ends one byte past a 64 KiB boundary of its stream. The byte is lost and
  // every file stored after it shifts. An empty file listed last has no byte
  // to lose. (The files chmcmd adds itself come after it and end in #STRINGS,
  // whose last byte is a NUL, the same byte the compressor pads with.)
  std::string marker = kEndMarker;
  for (int n = 2; std::find_if(names.begin(), names.end(), [&](const std::string& name) {
                    return Upper(name) == Upper(marker);
                  }) != names.end() || marker == book; ++n) {
    marker = kEndMarker + std::to_string(n);
  }
  const int fd = open((staging + "/" + marker).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot write to the staging folder " + staging + ": " + strerror(errno);
    return false;
  }
  close(fd);

  const std::string staged_project = ProjectForChmcmd(project_text, marker);
  std::FILE* f = std::fopen((staging + "/" + NameOf(absolute)).c_str(), "wb");
  const bool written = f != nullptr &&
                       std::fwrite(staged_project.data(), 1, staged_project.size(), f) ==
                           staged_project.size();
  if (f != nullptr && std::fclose(f) != 0) f = nullptr;
  if (!written || f == nullptr) {
    *error = "cannot write the project into the staging folder " + staging;
    return false;
  }
  return true;
}

}  // namespace inkbinder::hhc
