#include "project/contents_file.h"

#include <string_view>

#include "platform/files.h"
#include "platform/text.h"
#include "project/templates.h"

namespace inkbinder {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The lines before the entries: the site properties and the root entry "目录".
std::string ContentsHead() {
  std::string head;
  for (int id : {1, 2, 3, 4, 5, 6, 7, 8, 12, 9, 10, 11, 12, 13}) (head += LoadTemplate(id)) += kLineEnd;
  return head;
}

// An empty line, the inner list's end, five empty lines, the outer list's end.
std::string ContentsTail() {
  std::string tail(kLineEnd);
  (tail += LoadTemplate(20)) += kLineEnd;
  for (int i = 0; i < 5; ++i) tail += kLineEnd;
  (tail += LoadTemplate(20)) += kLineEnd;
  (tail += LoadTemplate(14)) += kLineEnd;
  return tail;
}

}  // namespace

std::string ContentsFileText(const std::vector<std::string>& pages,
                            const std::vector<std::string>& names) {
  return ContentsHead() + PageEntriesText(pages, names) + ContentsTail();
}

bool WriteContentsFile(const std::string& folder, const std::vector<std::string>& pages,
                    const std::vector<std::string>& names) {
  return WriteContentsFile(folder, EncodePageEntries(pages, names));
}

bool WriteContentsFile(const std::string& folder, const EncodedPageEntries& entries) {
  const std::string bytes = Utf8ToCodePage(ContentsHead(), kSystemAnsi) + entries.bytes +
                            Utf8ToCodePage(ContentsTail(), kSystemAnsi);
  return ReplaceFileContents(folder + "/" + kContentsFileName, bytes);
}

}  // namespace inkbinder
