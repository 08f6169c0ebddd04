#include "tools/hhc/compile_project.h"

#include "tools/hhc/book_check.h"

namespace inkbinder::hhc {

std::string CheckBookFacts(const std::string& book, const helpbook::BookFacts& facts) {
  BookExpectation expected;
  expected.contents_name = facts.contents_name;
  expected.contents_bytes = facts.contents_bytes;
  expected.index_name = facts.index_name;
  expected.index_bytes = facts.index_bytes;
  expected.language = facts.language;
  expected.pages.reserve(facts.pages.size());
  for (const auto& [name, disk_path] : facts.pages) expected.pages.push_back({name, disk_path});
  return CheckBookAsReader(book, expected);
}

bool CompileProject(const std::string& project_path, const CompileSettings& settings) {
  helpbook::CompileOptions options = settings.options;
  // No book is reported written before a reader's check has found it sound.
  if (!options.check) options.check = CheckBookFacts;
  if (settings.progress != nullptr) {
    options.progress = [line = settings.progress](std::size_t done, std::size_t total) { line->Show(done, total); };
  }
  std::string book;
  std::string error;
  const bool compiled = helpbook::CompileHelpBook(project_path, options, &book, &error);
  if (settings.progress != nullptr) settings.progress->Clear();
  if (!compiled) {
    std::fprintf(settings.out, "hhc: compile failed: %s\n", error.c_str());
    std::fflush(settings.out);
    return false;
  }
  std::fprintf(settings.out, "hhc: wrote %s\n", book.c_str());
  std::fflush(settings.out);
  return true;
}

}  // namespace inkbinder::hhc
