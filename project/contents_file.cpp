#include "project/contents_file.h"

#include "project/line_buffer.h"
#include "project/page_entry.h"
#include "project/templates.h"

namespace inkbinder {

std::string ContentsFileText(const std::vector<std::string>& pages,
                            const std::vector<std::string>& names) {
  const size_t n = pages.size();
  LineBuffer lines(4 * n + 23);
  const int header[] = {1, 2, 3, 4, 5, 6, 7, 8, 12, 9, 10, 11, 12, 13};
  for (size_t i = 0; i < std::size(header); ++i) lines.Set(i, LoadTemplate(header[i]));
  for (size_t p = 0; p < n; ++p) {
    PlacePageEntry(&lines, 4 * p + 14, names.at(p), pages[p]);
  }
  // An empty line, the inner list's end, five empty lines, the outer list's end.
  lines.Set(4 * n + 15, LoadTemplate(20));
  lines.Set(4 * n + 21, LoadTemplate(20));
  lines.Set(4 * n + 22, LoadTemplate(14));
  return lines.Text();
}

bool WriteContentsFile(const std::string& folder, const std::vector<std::string>& pages,
                    const std::vector<std::string>& names) {
  return WriteGeneratedFile(folder + "/" + kContentsFileName, ContentsFileText(pages, names));
}

}  // namespace inkbinder
