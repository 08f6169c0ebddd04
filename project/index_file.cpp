#include "project/index_file.h"

#include "project/line_buffer.h"
#include "project/page_entry.h"
#include "project/templates.h"

namespace inkbinder {

std::string IndexFileText(const std::vector<std::string>& pages,
                            const std::vector<std::string>& names) {
  const size_t n = pages.size();
  LineBuffer lines(4 * n + 9);
  const int header[] = {2, 3, 4, 5, 6, 9};
  for (size_t i = 0; i < std::size(header); ++i) lines.Set(i, LoadTemplate(header[i]));
  for (size_t p = 0; p < n; ++p) {
    PlacePageEntry(&lines, 4 * p + 6, names.at(p), pages[p]);
  }
  lines.Set(4 * n + 7, LoadTemplate(20));
  lines.Set(4 * n + 8, LoadTemplate(14));
  return lines.Text();
}

bool WriteIndexFile(const std::string& folder, const std::vector<std::string>& pages,
                    const std::vector<std::string>& names) {
  return WriteGeneratedFile(folder + "/" + kIndexFileName, IndexFileText(pages, names));
}

}  // namespace inkbinder
