#include "tools/hhc/compile_project.h"

#include <exception>

#include "platform/text.h"
#include "tools/hhc/book_check.h"

namespace inkbinder::hhc {

std::string CheckBookFacts(const std::string& book, const helpbook::BookFacts& facts,
                           const std::function<bool()>& stop) {
  BookExpectation expected;
  expected.contents_name = facts.contents_name;
  expected.contents_bytes = facts.contents_bytes;
  expected.index_name = facts.index_name;
  expected.index_bytes = facts.index_bytes;
  expected.language = facts.language;
  expected.pages.reserve(facts.pages.size());
  for (const auto& [name, disk_path] : facts.pages) expected.pages.push_back({name, disk_path});
  return CheckBookAsReader(book, expected, stop);
}

bool CompileProject(const std::string& project_path, const CompileSettings& settings,
                    helpbook::CompileFailure* failure) {
  helpbook::CompileOptions options = settings.options;
  // No book is reported written before a reader's check has found it sound.
  if (!options.check) {
    options.check = [stop = options.stop](const std::string& book, const helpbook::BookFacts& facts) {
      return CheckBookFacts(book, facts, stop);
    };
  }
  std::string book;
  std::string error;
  bool compiled = false;
  try {
    compiled = helpbook::CompileHelpBook(project_path, options, &book, &error, failure);
  } catch (const std::exception& e) {
    // Out of memory in a compressing thread, say: a failed compile, not an abort.
    error = e.what();
    if (failure != nullptr) *failure = helpbook::CompileFailure::kOther;
  }
  if (!compiled) {
    std::fprintf(settings.out, "hhc: compile failed: %s\n", inkbinder::PrintableText(error).c_str());
    std::fflush(settings.out);
    return false;
  }
  std::fprintf(settings.out, "hhc: wrote %s\n", inkbinder::PrintableText(book).c_str());
  std::fflush(settings.out);
  return true;
}

}  // namespace inkbinder::hhc
