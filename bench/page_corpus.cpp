#include "bench/page_corpus.h"

#include <cstdio>
#include <iterator>

#include "platform/text.h"

namespace inkbinder::bench {

namespace {

// Body lines of the kind help pages hold: prose in both scripts, markup that
// is not a title, an almost-tag, full-width punctuation.
constexpr const char* kBodyLines[] = {
    "本章介绍如何安装和配置软件，请按照以下步骤操作。",
    "Step 1: open the settings dialog and choose <b>Options</b>.",
    "注意：修改配置文件之前，请先备份原有的文件（例如 config.ini）。",
    "The <p> element starts a paragraph; a <tit le> is not a tag.",
    "第二步：在\"高级\"选项卡中勾选“启用日志”，然后点击确定。",
    "Version 2.4.1 fixed 17 bugs, see changes.txt for the full list.",
    "如果出现错误代码 0x80070005，说明当前用户没有写入权限。",
    "<ul><li>列表项目一</li><li>List item two</li></ul>",
    "数据库连接字符串：Server=localhost;Database=测试;Uid=admin;",
    "Press Ctrl+S to save, Ctrl+Z to undo the last change.",
    "本页面的内容仅供参考，实际界面可能因版本不同而有所差异。",
    "TITLE case words and Title-like text do not make a title.",
};

constexpr const char* kTitleTags[][2] = {
    {"<title>", "</title>"}, {"<TITLE>", "</TITLE>"}, {"<Title>", "</Title>"}};

constexpr size_t kPageBytes = 2048;

bool HasTitle(size_t i) { return i % 2 == 0; }

// The title as written in the page, before lower-casing.
std::string WrittenTitle(size_t i) {
  return "第" + std::to_string(i + 1) + "节 Section " + std::to_string(i + 1) + " 概述";
}

}  // namespace

std::string CorpusPageName(size_t i) { return "第" + std::to_string(i + 1) + "页.txt"; }

std::string CorpusPageTitle(size_t i) {
  return HasTitle(i) ? LowerCase(WrittenTitle(i)) : std::string();
}

std::string CorpusPageBytes(size_t i) {
  const size_t title_line = 1 + i % 3;
  size_t pick = i * 7;
  std::string bytes;
  for (size_t line = 0; bytes.size() < kPageBytes; ++line) {
    std::string text;
    if (HasTitle(i) && line == title_line) {
      const auto& tag = kTitleTags[i % std::size(kTitleTags)];
      text = std::string("<head>") + tag[0] + WrittenTitle(i) + tag[1] + "</head>";
    } else {
      text = kBodyLines[pick++ % std::size(kBodyLines)];
    }
    bytes += Utf8ToCodePage(text + "\r\n", kCodePage936);
  }
  return bytes;
}

bool WriteCorpus(const std::string& folder, size_t count, std::string* error) {
  for (size_t i = 0; i < count; ++i) {
    const std::string path = folder + "/" + CorpusPageName(i);
    const std::string bytes = CorpusPageBytes(i);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    bool written = f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f != nullptr && std::fclose(f) != 0) written = false;
    if (!written) {
      *error = "cannot write " + path;
      return false;
    }
  }
  return true;
}

}  // namespace inkbinder::bench
