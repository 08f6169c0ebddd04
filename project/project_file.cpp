#include "project/project_file.h"

#include "project/line_buffer.h"
#include "project/page_entry.h"
#include "project/templates.h"

namespace inkbinder {

std::string ProjectFileText(const std::vector<std::string>& pages, const std::string& book_title) {
  const size_t n = pages.size();
  LineBuffer lines(n + 15);
  lines.Set(0, LoadTemplate(22));
  lines.Set(1, LoadTemplate(23));
  lines.Set(2, LoadTemplate(24) + book_title + ".chm");
  lines.Set(3, LoadTemplate(25));
  lines.Set(4, LoadTemplate(26));
  const int options[] = {28, 29, 30, 31};
  for (size_t i = 0; i < std::size(options); ++i) lines.Set(6 + i, LoadTemplate(options[i]));
  // The caption is the window line's first field: a comma in it would shift the rest.
  const bool has_comma = book_title.find(',') != std::string::npos;
  const std::string caption = has_comma ? "\"" + book_title + "\"" : book_title;
  lines.Set(10, LoadTemplate(35) + caption + LoadTemplate(32));
  lines.Set(11, LoadTemplate(33));
  for (size_t p = 0; p < n; ++p) lines.Set(12 + p, pages[p]);
  lines.Set(n + 12, LoadTemplate(34));
  return lines.Text();
}

bool WriteProjectFile(const std::string& folder, const std::vector<std::string>& pages,
                      const std::string& book_title) {
  return WriteGeneratedFile(folder + "/" + kProjectFileName, ProjectFileText(pages, book_title));
}

}  // namespace inkbinder
