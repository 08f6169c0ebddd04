#include "project/project_file.h"

#include <string_view>

#include "platform/files.h"
#include "platform/text.h"
#include "project/page_entry.h"
#include "project/templates.h"

namespace inkbinder {

std::string ProjectFileText(const std::vector<std::string>& pages, const std::string& book_title) {
  constexpr std::string_view kLineEnd = "\r\n";
  std::string text;
  size_t names = 0;
  for (const std::string& page : pages) names += page.size() + kLineEnd.size();
  text.reserve(names + 512 + 2 * book_title.size());
  const auto line = [&](std::string_view s) { (text += s) += kLineEnd; };
  line(LoadTemplate(22));
  line(LoadTemplate(23));
  line(LoadTemplate(24) + book_title + ".chm");
  line(LoadTemplate(25));
  line(LoadTemplate(26));
  line("");
  for (int id : {28, 29, 30, 31}) line(LoadTemplate(id));
  // The caption is the window line's first field: a comma in it would shift the rest.
  const bool has_comma = book_title.find(',') != std::string::npos;
  const std::string caption = has_comma ? "\"" + book_title + "\"" : book_title;
  line(LoadTemplate(35) + caption + LoadTemplate(32));
  line(LoadTemplate(33));
  for (const std::string& page : pages) line(page);
  line(LoadTemplate(34));
  line("");
  line("");
  return text;
}

bool WriteProjectFile(const std::string& folder, const std::vector<std::string>& pages,
                      const std::string& book_title) {
  return ReplaceFileContents(folder + "/" + kProjectFileName,
                             Utf8ToCodePage(ProjectFileText(pages, book_title), kSystemAnsi));
}

}  // namespace inkbinder
