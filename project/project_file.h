#pragma once

#include <string>
#include <vector>

namespace inkbinder {

// The help project: the book named after `book_title`, its window captioned
// with it, every page under [FILES]. UTF-8. The title must not be empty.
std::string ProjectFileText(const std::vector<std::string>& pages, const std::string& book_title);

// Writes chm_hhp.hhp into `folder`; false when it could not be written.
bool WriteProjectFile(const std::string& folder, const std::vector<std::string>& pages,
                      const std::string& book_title);

}  // namespace inkbinder
