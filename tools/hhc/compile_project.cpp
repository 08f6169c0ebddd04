#include "tools/hhc/compile_project.h"

#include <errno.h>
#include <string.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "compiler/file_ops.h"
#include "compiler/interruption.h"
#include "project/file_open.h"
#include "project/text_encoding.h"
#include "tools/hhc/book_move.h"
#include "tools/hhc/chmcmd_run.h"
#include "tools/hhc/directory_header.h"
#include "tools/hhc/gbk_locale.h"
#include "tools/hhc/help_project.h"
#include "tools/hhc/staging.h"
#include "tools/hhc/verdict.h"

namespace inkbinder::hhc {

namespace {

// Reads a project only from a regular file: a FIFO or a device in its place
// is opened without blocking and refused.
bool ReadProjectFile(const std::string& path, std::string* text, std::string* why) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    *why = "cannot read the project file " + path + ": " + strerror(errno);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    *why = "the project " + path + " is not a regular file";
    return false;
  }
  char buffer[1 << 16];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    text->append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  if (got < 0) *why = "cannot read the project file " + path + ": " + strerror(errno);
  return got == 0;
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The sitemap as the project names it and as written, for the check; a
// project without one (chmcmd compiled without it) expects none in the book.
bool ReadSitemap(const std::string& folder, const std::string& name, std::string* expected_name,
                 std::string* bytes) {
  const std::string path = DiskPath(folder, name);
  if (name.empty() || !IsRegularFile(path)) return true;
  *expected_name = name;
  std::string why;
  return ReadProjectFile(path, bytes, &why);
}

}  // namespace

bool CompileProject(const std::string& project_path, const CompileSettings& settings) {
  std::FILE* out = settings.out;
  const auto fail = [out](const std::string& why) {
    std::fprintf(out, "hhc: compile failed: %s\n", why.c_str());
    std::fflush(out);
    return false;
  };

  std::string text;
  std::string why;
  if (!ReadProjectFile(project_path, &text, &why)) return fail(why);
  const std::string project_name = NameOf(project_path);
  const HelpProject project = ParseHelpProject(text);
  if (project.compiled_file.empty()) return fail("the project names no book (Compiled file=)");

  std::string notes;
  const GbkLocale locale = FindGbkLocale(settings.program_folder, &notes);
  std::fputs(notes.c_str(), out);

  StagingFolder staging;
  std::string error;
  notes.clear();
  BookExpectation expected;
  const bool staged =
      staging.Create(&error) &&
      StageProject(project_path, text, project, staging.path(), &expected.pages, &notes, &error);
  std::fputs(notes.c_str(), out);
  if (!staged) return fail(error);
  if (Interrupted()) return fail("interrupted");

  const ChmcmdRun run =
      RunChmcmd(settings.chmcmd, staging.path(), project_name, locale, out);
  CompileEvidence evidence;
  evidence.started = run.started;
  evidence.exit_code = run.exit_code;
  evidence.output = run.output;
  const std::string staged_book = staging.path() + "/" + project.compiled_file;
  struct stat st;
  if (lstat(staged_book.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    evidence.book_exists = true;
    evidence.book_size = static_cast<std::uint64_t>(st.st_size);
  }
  if (Interrupted()) return fail("interrupted");
  const Verdict verdict = JudgeCompile(evidence);
  if (!verdict.succeeded) return fail(CodePageToUtf8(verdict.reason, kCodePage936));

  if (!RepairFirstListingChunk(staged_book, &error)) return fail(error);
  const std::string folder = FolderOf(project_path);
  if (!ReadSitemap(folder, project.contents_file, &expected.contents_name, &expected.contents_bytes) ||
      !ReadSitemap(folder, project.index_file, &expected.index_name, &expected.index_bytes)) {
    return fail("cannot read the contents or index file again to check the book");
  }
  const std::string problem = settings.check_book(staged_book, expected);
  if (!problem.empty()) return fail("the book does not read back right: " + problem);

  const std::string book = DiskPath(folder, project.compiled_file);
  if (!MoveBook(staged_book, book, &error)) return fail(error);
  std::fprintf(out, "hhc: wrote %s\n", book.c_str());
  std::fflush(out);
  return true;
}

}  // namespace inkbinder::hhc
