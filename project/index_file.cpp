#include "project/index_file.h"

#include <string_view>

#include "platform/files.h"
#include "platform/text.h"
#include "project/templates.h"

namespace inkbinder {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

std::string IndexHead() {
  std::string head;
  for (int id : {2, 3, 4, 5, 6, 9}) (head += LoadTemplate(id)) += kLineEnd;
  return head;
}

// An empty line, the list's end.
std::string IndexTail() {
  std::string tail(kLineEnd);
  (tail += LoadTemplate(20)) += kLineEnd;
  (tail += LoadTemplate(14)) += kLineEnd;
  return tail;
}

}  // namespace

std::string IndexFileText(const std::vector<std::string>& pages,
                            const std::vector<std::string>& names) {
  return IndexHead() + PageEntriesText(pages, names) + IndexTail();
}

bool WriteIndexFile(const std::string& folder, const std::vector<std::string>& pages,
                    const std::vector<std::string>& names) {
  return WriteIndexFile(folder, EncodePageEntries(pages, names));
}

bool WriteIndexFile(const std::string& folder, const EncodedPageEntries& entries) {
  const std::string bytes = Utf8ToCodePage(IndexHead(), kSystemAnsi) + entries.bytes +
                            Utf8ToCodePage(IndexTail(), kSystemAnsi);
  return ReplaceFileContents(folder + "/" + kIndexFileName, bytes);
}

}  // namespace inkbinder
