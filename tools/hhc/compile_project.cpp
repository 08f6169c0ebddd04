#include "tools/hhc/compile_project.h"

#include "helpbook/book_check.h"

namespace inkbinder::hhc {

bool CompileProject(const std::string& project_path, const CompileSettings& settings) {
  helpbook::CompileOptions options = settings.options;
  // No book is reported written before a reader's check has found it sound.
  if (!options.check) options.check = helpbook::CheckBook;
  std::string book;
  std::string error;
  if (!helpbook::CompileHelpBook(project_path, options, &book, &error)) {
    std::fprintf(settings.out, "inkbinder-hhc: compile failed: %s\n", error.c_str());
    std::fflush(settings.out);
    return false;
  }
  std::fprintf(settings.out, "inkbinder-hhc: wrote %s\n", book.c_str());
  std::fflush(settings.out);
  return true;
}

}  // namespace inkbinder::hhc
