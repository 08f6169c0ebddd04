#include "project/page_entry.h"

#include "project/page_title.h"
#include "project/sitemap_title.h"
#include "project/templates.h"

namespace inkbinder {

std::string EscapeSitemapName(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) {
    switch (c) {
      case '"': out += "&quot;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string PageName(const std::string& folder, const std::string& file) {
  const std::optional<std::string> title = ReadPageTitle(folder + "/" + file);
  if (!title || title->empty()) return EscapeSitemapName(file);
  return EscapeSitemapName(TitleForSitemap(*title, kSystemAnsi, kTitleByteLimit));
}

std::vector<std::string> ReadPageNames(const std::string& folder,
                                       const std::vector<std::string>& pages) {
  std::vector<std::string> names;
  names.reserve(pages.size());
  for (const std::string& page : pages) names.push_back(PageName(folder, page));
  return names;
}

void PlacePageEntry(LineBuffer* buffer, size_t first_line, const std::string& name,
                    const std::string& file) {
  buffer->Set(first_line, LoadTemplate(10));
  buffer->Set(first_line + 1, LoadTemplate(15) + name + LoadTemplate(16));
  buffer->Set(first_line + 2, LoadTemplate(18) + file + LoadTemplate(16));
  buffer->Set(first_line + 3, LoadTemplate(12));
}

}  // namespace inkbinder
