#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "commands/compile.h"
#include "commands/convert.h"
#include "commands/messages.h"
#include "helpbook/book_check.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"
#include "project/page_entry.h"
#include "testing/fake_window.h"
#include "testing/programs.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using testing::Exists;
using testing::FakeWindow;
using testing::ReadBytes;
using testing::ScopedTempDir;
using testing::SetEnv;
using testing::TestProgram;
using testing::WriteBytes;

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir / "1.txt", "<title>One</title>\r\n");
    WriteBytes(dir / "2.txt", "no title\r\n");
    window.folder = dir.path();
    window.pages = {"1.txt", "2.txt"};
    window.title = "书 名";
    options.compiler = TestProgram("fake_compiler");
    Compiler("");
  }
  void TearDown() override { SetEnv("INKBINDER_FAKE_COMPILER", ""); }

  // What the fake compiler does this time (see testing/fake_compiler.cpp).
  void Compiler(const std::string& words) {
    SetEnv("INKBINDER_FAKE_COMPILER", words + ";log=" + log());
  }
  std::string book() const { return dir / (window.title + ".chm"); }
  std::string log() const { return dir / "compiler.log"; }
  bool SourcesExist(bool contents, bool index, bool project) const {
    return Exists(dir / kContentsFileName) == contents && Exists(dir / kIndexFileName) == index &&
           Exists(dir / kProjectFileName) == project;
  }

  ScopedTempDir dir{"convert 测试"};  // a space and Chinese in every path
  FakeWindow window;
  ConvertOptions options;
};

TEST_F(ConvertTest, NoPagesShowsTheFirstMessageAndWritesNothing) {
  window.pages.clear();
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kNoPages);
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].text, kNoPagesText);
  EXPECT_EQ(window.messages[0].caption, kNoPagesCaption);
  EXPECT_TRUE(SourcesExist(false, false, false));
  EXPECT_TRUE(window.statuses.empty());
  EXPECT_FALSE(window.busy);
}

TEST_F(ConvertTest, TitleChecksStopBeforeTheProjectIsWritten) {
  struct Case {
    std::string title;
    ConvertOutcome outcome;
    const char* message;
  } cases[] = {
      {"", ConvertOutcome::kNoTitle, kNoTitleText},
      {"a/b", ConvertOutcome::kBadTitle, kBadTitleText},
      {"what?", ConvertOutcome::kBadTitle, kBadTitleText},
  };
  for (const Case& c : cases) {
    WriteBytes(dir / kProjectFileName, "older project");
    window.title = c.title;
    window.messages.clear();
    window.statuses = {"生成成功"};
    EXPECT_EQ(Convert(window, options), c.outcome) << c.title;
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, c.message);
    EXPECT_EQ(window.messages[0].caption, kTitleCaption);
    // Contents and index are written; the older project stays; the status is untouched.
    EXPECT_TRUE(SourcesExist(true, true, true));
    EXPECT_EQ(ReadBytes(dir / kProjectFileName), "older project");
    EXPECT_EQ(window.statuses, std::vector<std::string>{"生成成功"});
    EXPECT_FALSE(Exists(log())) << "the compiler must not start";
  }
  EXPECT_EQ(window.messages[0].text, std::string("标题名称不能包含下列字符：\\ / : * ? \" < > |"));
}

TEST_F(ConvertTest, ASuccessfulCompile) {
  Compiler("book=" + book() + ";exit=1");
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kSucceeded);
  EXPECT_EQ(window.statuses, (std::vector<std::string>{kWaitingStatus, kSuccessStatus}));
  EXPECT_EQ(window.opened, std::vector<std::string>{dir.path() + "/"});
  EXPECT_TRUE(SourcesExist(false, false, false));
  EXPECT_TRUE(window.busy_during_wait);
  EXPECT_FALSE(window.busy);
  // The compiler got the project's path whole, spaces and all.
  EXPECT_EQ(ReadBytes(log()), dir / kProjectFileName + "\n");
}

TEST_F(ConvertTest, FailuresAreReportedAsFailures) {
  struct Case {
    const char* name;
    std::string words;
    bool stale_book;
  } cases[] = {
      {"compiler says failure", "book=" + book() + ";exit=0", false},
      {"no book written", "exit=1", false},
      {"empty book", "empty-book=" + book() + ";exit=1", false},
      {"book left from an earlier run", "exit=1", true},
      {"compiler crashed", "book=" + book() + ";exit=217", false},
  };
  for (const Case& c : cases) {
    testing::MakeFolder(dir.path());
    if (c.stale_book) WriteBytes(book(), "an older book");
    Compiler(c.words);
    window.statuses.clear();
    window.opened.clear();
    EXPECT_EQ(Convert(window, options), ConvertOutcome::kCompileFailed) << c.name;
    EXPECT_EQ(window.status(), kCompileFailedStatus) << c.name;
    EXPECT_TRUE(window.opened.empty()) << c.name;
    EXPECT_TRUE(SourcesExist(false, false, false)) << c.name;
    if (c.stale_book) {
      EXPECT_EQ(ReadBytes(book()), "an older book") << "nothing lost";
    }
    std::remove(book().c_str());
  }
}

TEST_F(ConvertTest, TheBuiltInCompilerMakesTheBookInThisProcess) {
  options.compiler = kBuiltinCompiler;
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kSucceeded);
  EXPECT_EQ(window.status(), kSuccessStatus);
  EXPECT_EQ(ReadBytes(book()).substr(0, 4), "ITSF");
  EXPECT_TRUE(SourcesExist(false, false, false));
  EXPECT_EQ(window.opened, std::vector<std::string>{dir.path() + "/"});
  EXPECT_FALSE(Exists(log())) << "no program ran";

  // A book damaged once written: the reader's check refuses it, and the book
  // from before stays.
  const std::string older = ReadBytes(book());
  std::string problem;
  options.check_book = [&](const std::string& written, const helpbook::BookFacts& facts) {
    std::string bytes = ReadBytes(written);
    const size_t listed = bytes.find("/2.txt");
    if (listed != std::string::npos) bytes[listed + 5] = 'u';  // the directory names 2.txu
    WriteBytes(written, bytes);
    problem = helpbook::CheckBook(written, facts);
    return problem;
  };
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kCompileFailed);
  EXPECT_EQ(window.status(), kCompileFailedStatus);
  EXPECT_EQ(problem, "2.txt: the book does not hold this page");
  EXPECT_EQ(ReadBytes(book()), older);
  options.check_book = nullptr;

  // A page gone by the time it compiles: a failure, and the older book stays.
  ASSERT_TRUE(DeleteFileAt(dir / "2.txt"));
  WriteBytes(book(), "an older book");
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kCompileFailed);
  EXPECT_EQ(window.status(), kCompileFailedStatus);
  EXPECT_EQ(ReadBytes(book()), "an older book");
}

// A killed run's temporary files go with the next run in that folder,
// whatever its title; a running compile's files and the user's stay.
TEST_F(ConvertTest, LeftoversOfKilledRunsGoFirst) {
  std::string error;
  const auto dead = Process::Start(TestProgram("process_probe"), {}, &error);
  ASSERT_NE(dead, nullptr) << error;
  dead->Wait();
  const auto running = Process::Start(TestProgram("process_probe"), {"sleep=60000"}, &error);
  ASSERT_NE(running, nullptr) << error;
  const std::string gone = std::to_string(dead->Id());
  const std::string alive = std::to_string(running->Id());
#ifdef _WIN32
  const std::vector<std::string> removed = {"chm_hhc.hhc.12-0.tmp", "chm_hhp.hhp.4-17.tmp"};
  const std::vector<std::string> user_files = {"chm_hhc.hhc.12-0.txt", "chm_hhc.hhc.x-0.tmp"};
#else
  const std::vector<std::string> removed = {".chm_hhc.hhc.Ab12Cd", ".chm_hhk.hhk.zzzzzz",
                                            ".chm_hhp.hhp.000000"};
  const std::vector<std::string> user_files = {".chm_hhc.hhc.Ab12C", ".chm_hhc.hhc.Ab12Cde",
                                               "chm_hhc.hhc.Ab12Cd", ".chm_hhc.hhc.Ab-2Cd"};
#endif
  std::vector<std::string> gone_names = removed;
  gone_names.push_back(".chm-" + gone + "-0123456789ab.content");  // another title's
  gone_names.push_back(".旧书.chm." + gone + "-0123456789ab.part");
  std::vector<std::string> kept = user_files;
  kept.push_back(".chm-" + alive + "-0123456789ab.part");
  for (const auto* names : {&gone_names, &kept}) {
    for (const std::string& name : *names) WriteBytes(dir / name, "x");
  }
  Compiler("book=" + book() + ";exit=1");
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kSucceeded);
  for (const std::string& name : gone_names) EXPECT_FALSE(Exists(dir / name)) << name;
  for (const std::string& name : kept) EXPECT_TRUE(Exists(dir / name)) << name;
  running->Stop();
  running->Wait();
}

TEST_F(ConvertTest, MissingCompiler) {
  options.compiler = dir / "bin/hhc.exe";
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kNoCompiler);
  EXPECT_EQ(window.status(), std::string(kNoCompilerStatus) + "hhc.exe");
  EXPECT_EQ(window.status(), "生成失败：找不到编译器 hhc.exe");
  EXPECT_TRUE(SourcesExist(false, false, false));
  EXPECT_TRUE(window.opened.empty());
}

TEST_F(ConvertTest, ASourceFileThatCannotBeWrittenStopsBeforeTheCompile) {
  testing::MakeFolder(dir / kIndexFileName);  // a folder where the index must go
  Compiler("book=" + book());
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kWriteFailed);
  EXPECT_EQ(window.status(), "生成失败：无法写入文件 chm_hhk.hhk");
  EXPECT_FALSE(Exists(log())) << "a stale project must not be compiled";
  EXPECT_FALSE(Exists(dir / kContentsFileName));
  EXPECT_FALSE(Exists(dir / kProjectFileName));
  EXPECT_TRUE(window.opened.empty());
}

TEST_F(ConvertTest, KeepSourcesLeavesTheThreeFiles) {
  options.keep_sources = true;
  Compiler("book=" + book());
  EXPECT_EQ(Convert(window, options), ConvertOutcome::kSucceeded);
  EXPECT_TRUE(SourcesExist(true, true, true));
  EXPECT_NE(ReadBytes(dir / kContentsFileName).find("value=\"one\""), std::string::npos);
}

TEST_F(ConvertTest, RunningTwiceGivesTheSameBookBothTimes) {
  // File times tick in milliseconds: a real compile is never this quick, the fake waits.
  Compiler("sleep=30;book=" + book());
  ASSERT_EQ(Convert(window, options), ConvertOutcome::kSucceeded);
  const std::string first = ReadBytes(book());
  ASSERT_EQ(Convert(window, options), ConvertOutcome::kSucceeded);  // rewritten: new stamp
  EXPECT_EQ(ReadBytes(book()), first);
  EXPECT_EQ(window.opened.size(), 2u);
}

// A window whose user goes on typing while the long work runs, and which
// notes any call the work makes into it (from another thread it would race).
class TypingWindow : public FakeWindow {
 public:
  void RunOffThread(const std::function<void()>& work) override {
    ++runs;
    title = "改过的";
    working = true;
    work();
    working = false;
  }
  void SetStatus(const std::string& text) override { FakeWindow::SetStatus(Touch(text)); }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    FakeWindow::ShowMessage(Touch(text), caption);
  }
  void OpenFolder(const std::string& path) override { FakeWindow::OpenFolder(Touch(path)); }

  int runs = 0;
  bool working = false;
  int touched_while_working = 0;

 private:
  std::string Touch(std::string value) {
    touched_while_working += working;
    return value;
  }
};

TEST_F(ConvertTest, TheRunKeepsTheTitleOfTheClickAndItsWorkLeavesTheWindowAlone) {
  TypingWindow typing;
  typing.folder = dir.path();
  typing.pages = window.pages;
  typing.title = "书 名";
  options.keep_sources = true;
  Compiler("book=" + book() + ";exit=1");
  EXPECT_EQ(Convert(typing, options), ConvertOutcome::kSucceeded);
  EXPECT_GE(typing.runs, 1);
  EXPECT_EQ(typing.touched_while_working, 0);
  EXPECT_EQ(typing.statuses, (std::vector<std::string>{kWaitingStatus, kSuccessStatus}));
  const std::string project = CodePageToUtf8(ReadBytes(dir / kProjectFileName), kCodePage936);
  EXPECT_NE(project.find("书 名.chm"), std::string::npos) << project;
  EXPECT_EQ(project.find("改过的"), std::string::npos) << project;
}

TEST(ImportFolderTest, EmptiesTheStatusThenPointsTheListAtTheAnswer) {
  for (const char* answer : {"/some/folder", ""}) {  // "" is a cancel
    FakeWindow window;
    window.statuses = {"生成成功"};
    window.picker_answer = answer;
    ImportFolder(window);
    EXPECT_EQ(window.statuses, (std::vector<std::string>{"生成成功", ""}));
    EXPECT_EQ(window.folder_sets, 1);
    EXPECT_EQ(window.folder_set, answer);
    EXPECT_FALSE(window.busy);
  }
}

}  // namespace
}  // namespace inkbinder
