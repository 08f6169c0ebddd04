#include "tools/hhc/compile_project.h"

namespace inkbinder::hhc {

bool CompileProject(const std::string& project_path, const CompileSettings& settings) {
  std::string book;
  std::string error;
  if (!helpbook::CompileHelpBook(project_path, settings.options, &book, &error)) {
    std::fprintf(settings.out, "hhc: compile failed: %s\n", error.c_str());
    std::fflush(settings.out);
    return false;
  }
  std::fprintf(settings.out, "hhc: wrote %s\n", book.c_str());
  std::fflush(settings.out);
  return true;
}

}  // namespace inkbinder::hhc
