// Folders, titles and pages chosen to hurt, through the convert and import
// commands: nothing of the user's may be changed or lost, nothing may hang,
// and every refusal must say why.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "commands/compile.h"
#include "commands/convert.h"
#include "commands/messages.h"
#include "platform/files.h"
#include "project/page_entry.h"
#include "project/page_list.h"
#include "project/page_title.h"
#include "testing/fake_window.h"
#include "testing/memory_use.h"
#include "testing/programs.h"
#include "testing/special_files.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

namespace fs = std::filesystem;
using testing::Exists;
using testing::FakeWindow;
using testing::MakeFolder;
using testing::ReadBytes;
using testing::ScopedEnv;
using testing::ScopedTempDir;
using testing::TestProgram;
using testing::WriteBytes;

const char* const kSources[] = {kContentsFileName, kIndexFileName, kProjectFileName};

// The names in a folder, sorted.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(fs::u8path(folder))) {
    names.push_back(e.path().filename().u8string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// `head` followed by NUL bytes up to `size`, without writing them: the file
// system keeps it sparse.
void WriteSparseFile(const std::string& path, const std::string& head, std::int64_t size) {
  WriteBytes(path, head);
  ASSERT_TRUE(testing::ExtendSparse(path, size));
}

// A symbolic link at `at` to the file `target`; false with the reason where there are none.
bool MakeLink(const std::string& target, const std::string& at, std::string* why) {
  return testing::MakeSymbolicLink(target, at, why);
}

bool IsLink(const std::string& path) {
  std::error_code ec;
  return fs::is_symlink(fs::symlink_status(fs::u8path(path), ec));
}

class HostileFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir / "1.txt", "<title>One</title>\r\n");
    window.folder = dir.path();
    window.pages = {"1.txt"};
    window.title = "书";
    options.compiler = TestProgram("fake_compiler");
  }
  // What the fake compiler does (testing/fake_compiler.cpp); it always logs its start.
  ScopedEnv Compiler(const std::string& words) {
    return ScopedEnv("INKBINDER_FAKE_COMPILER", words + ";log=" + log_dir / "log");
  }
  bool CompilerStarted() const { return Exists(log_dir / "log"); }

  ScopedTempDir dir{"hostile 文件夹"};
  ScopedTempDir log_dir{"hostile log"};
  FakeWindow window;
  ConvertOptions options;
};

TEST_F(HostileFolderTest, WhatStandsInPlaceOfASourceFileIsReplacedOrLeftAlone) {
  enum Kind { kLinkToAFile, kDanglingLink, kFolder, kFifo };
  struct Case {
    const char* what;
    Kind kind;
  };
  const Case cases[] = {
      {"a link to a precious file", kLinkToAFile},
      {"a link to nothing", kDanglingLink},
      {"a folder", kFolder},
#ifndef _WIN32
      {"a FIFO", kFifo},
#endif
  };
  for (const Case& c : cases) {
    for (const char* source : kSources) {
      SCOPED_TRACE(std::string(c.what) + " as " + source);
      ScopedTempDir elsewhere("hostile elsewhere");
      const std::string precious = elsewhere / "precious";
      WriteBytes(precious, "precious bytes");
      const std::string at = dir / source;
      bool made = true;
      std::string why;
      switch (c.kind) {
        case kLinkToAFile: made = MakeLink(precious, at, &why); break;
        case kDanglingLink: made = MakeLink(elsewhere / "gone", at, &why); break;
        case kFolder: MakeFolder(at); break;
        case kFifo:
#ifndef _WIN32
          ASSERT_TRUE(testing::MakeFifo(at));
#endif
          break;
      }
      if (!made) {
        std::cout << "no links here (" << why << "): " << c.what << " not tried\n";
        continue;
      }
      const std::vector<std::string> before = Entries(dir.path());
      const auto compiler = Compiler("book=" + dir / "书.chm");
      window.statuses.clear();

      const ConvertOutcome outcome = Convert(window, options);  // must not hang on a FIFO

      EXPECT_EQ(ReadBytes(precious), "precious bytes");
      EXPECT_EQ(Entries(elsewhere.path()), std::vector<std::string>{"precious"});
      if (c.kind == kLinkToAFile || c.kind == kDanglingLink) {
        // The link was replaced by our file, compiled and then deleted like any source.
        EXPECT_EQ(outcome, ConvertOutcome::kSucceeded);
        EXPECT_FALSE(Exists(at) || IsLink(at));
        EXPECT_TRUE(CompilerStarted());
        EXPECT_TRUE(Exists(dir / "书.chm"));
      } else {
        // Never opened, left as it was; the run stops before the compile.
        EXPECT_EQ(outcome, ConvertOutcome::kWriteFailed);
        EXPECT_EQ(window.status(), kWriteFailedStatus + std::string(source));
        EXPECT_EQ(Entries(dir.path()), before) << "nothing written, nothing left";
        EXPECT_FALSE(CompilerStarted());
      }
      fs::remove_all(fs::u8path(at));
      fs::remove(fs::u8path(dir / "书.chm"));
      fs::remove(fs::u8path(log_dir / "log"));
    }
  }
}

// A folder or FIFO under the book's name is the user's, no older book: the
// run stops before the compile and says the book cannot be written.
TEST_F(HostileFolderTest, WhatIsNoFileInPlaceOfTheBookIsLeftAlone) {
  const std::string at = dir / "书.chm";
  for (const fs::file_type kind : {fs::file_type::directory, fs::file_type::fifo}) {
    if (kind == fs::file_type::directory) {
      MakeFolder(at);
    } else if (!testing::MakeFifo(at)) {
      continue;  // none on Windows
    }
    const std::vector<std::string> before = Entries(dir.path());
    const auto compiler = Compiler("book=" + at);
    EXPECT_EQ(Convert(window, options), ConvertOutcome::kWriteFailed);
    EXPECT_EQ(window.status(), "生成失败：无法写入文件 书.chm");
    EXPECT_EQ(Entries(dir.path()), before) << "no source file left";
    EXPECT_EQ(fs::symlink_status(fs::u8path(at)).type(), kind);
    EXPECT_FALSE(CompilerStarted());
    fs::remove_all(fs::u8path(at));
  }
}

// A full disk while the built-in compiler writes the book: the status says
// which file could not be written, and the older book stays.
TEST_F(HostileFolderTest, ABookThatCannotBeWrittenIsNamed) {
  options.compiler = kBuiltinCompiler;
  std::mt19937 noise(19);  // pages that do not compress
  std::string page;
  for (int i = 0; i < 300000; ++i) page += static_cast<char>(noise());
  WriteBytes(dir / "1.txt", page);
  WriteBytes(dir / "书.chm", "an older book");
  const testing::ScopedFileSizeLimit full(64 * 1024);
  if (!full.Active()) GTEST_SKIP() << "no file size limit here";
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kWriteFailed);
  EXPECT_EQ(window.status(), "生成失败：无法写入文件 书.chm");
  EXPECT_EQ(ReadBytes(dir / "书.chm"), "an older book");
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"1.txt", "书.chm"}));
}

TEST_F(HostileFolderTest, ATitleMustNameExactlyTheOneBookWeLookFor) {
  struct Case {
    std::string title;
    const char* message;  // null: accepted
  };
  const std::string long_chinese = [] {
    std::string s;
    for (int i = 0; i < 300; ++i) s += "字";
    return s;
  }();
  const Case cases[] = {
      {"한국", kTitleNotInCodePageText},
      {"Éclair", kTitleNotInCodePageText},
      {"书\xF0\x9F\x98\x80", kTitleNotInCodePageText},
      {" B", kTitleNotAFileNameText},
      {"B ", kTitleNotAFileNameText},
      {"B.", kTitleNotAFileNameText},
      {"CON", kTitleNotAFileNameText},
      {"nul", kTitleNotAFileNameText},
      {"Com1", kTitleNotAFileNameText},
      {"lpt9.手册", kTitleNotAFileNameText},
      {"AUX .x", kTitleNotAFileNameText},
      {long_chinese, kTitleNotAFileNameText},           // 900 bytes of name
      {std::string(252, 'a'), kTitleNotAFileNameText},  // 256 bytes with ".chm"
      {"what?", kBadTitleText},
      // Close to a rule, yet fine.
      {"CONSOLE", nullptr},
      {"COM0", nullptr},
      {"1.2 版", nullptr},
      {"中 间", nullptr},
      {"·", nullptr},  // U+00B7 is in code page 936
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    WriteBytes(dir / kProjectFileName, "older project");
    const auto compiler = Compiler("exit=1");
    window.title = c.title;
    window.messages.clear();
    const ConvertOutcome outcome = Convert(window, options);
    if (c.message == nullptr) {
      EXPECT_TRUE(window.messages.empty());
      EXPECT_NE(outcome, ConvertOutcome::kBadTitle);
      EXPECT_TRUE(CompilerStarted());
    } else {
      EXPECT_EQ(outcome, ConvertOutcome::kBadTitle);
      ASSERT_EQ(window.messages.size(), 1u);
      EXPECT_EQ(window.messages[0].text, c.message);
      EXPECT_EQ(window.messages[0].caption, kTitleCaption);
      EXPECT_EQ(ReadBytes(dir / kProjectFileName), "older project");
      EXPECT_FALSE(CompilerStarted());
    }
    fs::remove(fs::u8path(log_dir / "log"));
  }
  // A path the system's file calls cannot take is refused as well.
  std::string deep = dir.path();
  for (int i = 0; i < 20; ++i) deep += "/" + std::string(200, 'd');
  EXPECT_EQ(TitleRefusal(deep, std::string(250, 'h')), kTitleNotAFileNameText);
#ifdef _WIN32
  const char* past_max_path = kTitleNotAFileNameText;  // the ANSI calls' MAX_PATH
#else
  const char* past_max_path = nullptr;
#endif
  EXPECT_EQ(TitleRefusal(deep.substr(0, 100), std::string(250, 'h')), past_max_path);
}

// The title check and the compiler's own names agree: what the check takes
// compiles, at the longest name and in the deepest folder it takes.
TEST_F(HostileFolderTest, TheLongestTitleAndTheDeepestFolderTheCheckTakesCompile) {
  options.compiler = kBuiltinCompiler;
  std::string longest;
  while (TitleRefusal(dir.path(), longest + "书") == nullptr) longest += "书";
  while (TitleRefusal(dir.path(), longest + "a") == nullptr) longest += "a";
#ifndef _WIN32
  EXPECT_EQ(longest.size() + 4, 255u) << "the longest name a file may have";
#endif
  window.title = longest;
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kSucceeded) << window.status();
  EXPECT_TRUE(Exists(dir / (longest + ".chm")));
  window.title = longest + "a";
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kBadTitle);

  // The book's temporary names are longer than "书.chm": the folder leaves room for them.
  const size_t budget = kLongestPathBytes - kLongestTemporaryNameBytes - 1;
  std::string deep = dir.path();
  while (FileSystemBytes(deep).size() < budget) {
    const size_t left = budget - FileSystemBytes(deep).size();
    deep += "/" + std::string(left > 250 ? 200 : left - 1, 'd');
  }
  ASSERT_EQ(FileSystemBytes(deep).size(), budget);
  fs::create_directories(fs::u8path(deep));
  WriteBytes(deep + "/1.txt", "<title>One</title>\r\n");
  window.folder = deep;
  window.title = "书";
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kSucceeded) << window.status();
  EXPECT_TRUE(Exists(deep + "/书.chm"));
  EXPECT_EQ(TitleRefusal(deep + "e", "书"), kTitleNotAFileNameText);
}

TEST_F(HostileFolderTest, AGiantTitleLineCostsNoMoreThanItsKeptLength) {
  // One line of a gibibyte: "<title>" and then nothing but NUL bytes, sparse on disk.
  ASSERT_NO_FATAL_FAILURE(WriteSparseFile(dir / "giant.txt", "<title>", std::int64_t{1} << 30));
  window.pages = {"1.txt", "giant.txt"};
  options.keep_sources = true;
  const auto compiler = Compiler("exit=0");

  const bool reset = testing::ResetPeakMemory();
  const testing::MemoryUse before = testing::CurrentMemoryUse();
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kCompileFailed);
  const testing::MemoryUse after = testing::CurrentMemoryUse();

  ASSERT_GT(after.peak, 0u);
  const std::uint64_t baseline = reset ? before.current : std::max(before.current, before.peak);
  const std::uint64_t growth = after.peak > baseline ? after.peak - baseline : 0;
  std::cout << "peak resident memory " << after.peak / 1024 << " KiB, " << growth / 1024
            << " KiB above the " << (reset ? "reset" : "earlier") << " baseline\n";
  EXPECT_LT(growth, std::uint64_t{8} << 20);
  // The entry's name is cut to the kept length, not written whole.
  const std::string contents = ReadBytes(dir / kContentsFileName);
  EXPECT_GT(contents.size(), kTitleByteLimit);
  EXPECT_LT(contents.size(), 2 * kTitleByteLimit + 2048);
}

TEST_F(HostileFolderTest, NamesWithSpacesAreTakenAndTheImportSaysWhatItLeftOut) {
  WriteBytes(dir / " lead.txt", "x");
  WriteBytes(dir / "a b.txt", "x");
  const PageList list = ListPages(dir.path());
  // The compilers take project lines as they are.
  EXPECT_TRUE(list.left_out.empty());
  EXPECT_NE(std::find(list.pages.begin(), list.pages.end(), " lead.txt"), list.pages.end());
  EXPECT_NE(std::find(list.pages.begin(), list.pages.end(), "a b.txt"), list.pages.end());

  // The import counts what the list left out and keeps the names for the tip.
  window.picker_answer = dir.path();
  window.left_out = {" lead.txt", "한.txt"};
  window.status_tip = "older tip";
  ImportFolder(window);
  EXPECT_EQ(window.status(), "已略过 2 个无法放入手册的文件");
  EXPECT_EQ(window.status_tip, " lead.txt\n한.txt");
  window.left_out.clear();
  ImportFolder(window);
  EXPECT_EQ(window.status(), "");
  EXPECT_EQ(window.status_tip, "");
}

TEST_F(HostileFolderTest, AFolderBeingConvertedIsNotTouchedByASecondRun) {
  const std::vector<std::string> before = Entries(dir.path());
  const auto compiler = Compiler("book=" + dir / "书.chm");
  {
    FolderLock first;
    ASSERT_TRUE(first.TryLock(dir.path() + "/."));  // another spelling of the same folder
    EXPECT_EQ(Convert(window, options), ConvertOutcome::kBusy);
    EXPECT_EQ(window.status(), "生成失败：此文件夹正在转换中");
    EXPECT_EQ(Entries(dir.path()), before);
    EXPECT_FALSE(CompilerStarted());
    EXPECT_FALSE(window.busy);
  }
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kSucceeded);
}

TEST_F(HostileFolderTest, ACompilerThatCannotStartIsNamedWithTheReason) {
  // There, but no program: not executable here, not an image Windows can load.
  options.compiler = log_dir / "hhc.exe";
  WriteBytes(options.compiler, "not a program");
  std::string reason;
  EXPECT_EQ(Convert(window, options, &reason), ConvertOutcome::kCompilerNotStarted);
  EXPECT_EQ(window.status(), "生成失败：无法启动编译器 hhc.exe");
  EXPECT_FALSE(reason.empty());
  std::cout << "the system's reason: " << reason << "\n";
  for (const char* source : kSources) EXPECT_FALSE(Exists(dir / source)) << source;
}

}  // namespace
}  // namespace inkbinder
