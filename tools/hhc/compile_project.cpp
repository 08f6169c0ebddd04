#include "tools/hhc/compile_project.h"

#include "helpbook/book_check.h"
#include "platform/text.h"

namespace inkbinder::hhc {

bool CompileProject(const std::string& project_path, const CompileSettings& settings,
                    helpbook::CompileFailure* failure) {
  helpbook::CompileOptions options = settings.options;
  // No book is reported written before a reader's check has found it sound.
  if (!options.check) {
    options.check = [stop = options.stop](const std::string& book, const helpbook::BookFacts& facts) {
      return helpbook::CheckBook(book, facts, stop);
    };
  }
  if (settings.progress != nullptr) {
    options.progress = [line = settings.progress](std::size_t done, std::size_t total) { line->Show(done, total); };
  }
  std::string book;
  std::string error;
  const bool compiled = helpbook::CompileHelpBook(project_path, options, &book, &error, failure);
  if (settings.progress != nullptr) settings.progress->Clear();
  if (!compiled) {
    std::fprintf(settings.out, "inkbinder-hhc: compile failed: %s\n", inkbinder::PrintableText(error).c_str());
    std::fflush(settings.out);
    return false;
  }
  std::fprintf(settings.out, "inkbinder-hhc: wrote %s\n", inkbinder::PrintableText(book).c_str());
  std::fflush(settings.out);
  return true;
}

}  // namespace inkbinder::hhc
