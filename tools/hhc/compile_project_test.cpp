#include "tools/hhc/compile_project.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/text.h"
#include "testing/programs.h"
#include "testing/special_files.h"
#include "testing/temp_dir.h"

namespace inkbinder::hhc {
namespace {

using ::inkbinder::testing::Exists;
using ::inkbinder::testing::ReadBytes;
using ::inkbinder::testing::ScopedTempDir;
using ::inkbinder::testing::WriteBytes;

std::string Gbk(const std::string& utf8) { return Utf8ToCodePage(utf8, kCodePage936); }

class CompileProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(source_ / "第1章.txt", "<title>第一章</title>\r\n");
    WriteBytes(source_ / "2.txt", "two\r\n");
    WriteBytes(source_ / "chm_hhc.hhc",
               "<HTML><BODY><UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"a\">"
               "<param name=\"Local\" value=\"2.txt\"></OBJECT></UL></BODY></HTML>");
    WriteBytes(source_ / "chm_hhk.hhk", "<HTML><BODY><UL></UL></BODY></HTML>");
    WriteProject(Gbk("我的 书.chm"), Gbk("第1章.txt"));
  }
  void WriteProject(const std::string& compiled_file, const std::string& first_page) {
    WriteBytes(source_ / "chm_hhp.hhp",
               "[OPTIONS]\r\nCompiled file=" + compiled_file +
                   "\r\nContents file=chm_hhc.hhc\r\nIndex file=chm_hhk.hhk\r\n[FILES]\r\n" +
                   first_page + "\r\n2.txt\r\n");
  }
  bool Compile() {
    std::FILE* out = std::tmpfile();
    settings_.out = out;
    const bool ok = CompileProject(source_ / "chm_hhp.hhp", settings_, &failure_);
    std::rewind(out);
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, out)) > 0) output_.append(buffer, got);
    std::fclose(out);
    return ok;
  }

  // Open to the table of cases below.
 public:
  ScopedTempDir source_{"hhc 源 folder"};
  CompileSettings settings_;
  std::string output_;
  helpbook::CompileFailure failure_ = helpbook::CompileFailure::kOther;
};

TEST_F(CompileProjectTest, WritesTheBookBesideTheProjectUnderItsUtf8Name) {
  ASSERT_TRUE(Compile()) << output_;
  EXPECT_EQ(ReadBytes(source_ / "我的 书.chm").substr(0, 4), "ITSF");
  EXPECT_NE(output_.find("inkbinder-hhc: wrote " + (source_ / "我的 书.chm")), std::string::npos) << output_;
}

TEST_F(CompileProjectTest, ABookNameWithATrailByte5CArrivesUnderItsUtf8Name) {
  // 俓 is 0x82 0x5C in code page 936: the 0x5C is no folder separator.
  WriteBytes(source_ / "俓.txt", "page");
  WriteProject(Gbk("俓.chm"), Gbk("俓.txt"));
  ASSERT_TRUE(Compile()) << output_;
  EXPECT_TRUE(Exists(source_ / "俓.chm"));
}

TEST_F(CompileProjectTest, FailuresNameTheCauseAndKeepTheOlderBook) {
  WriteBytes(source_ / "我的 书.chm", "older book");
  const struct {
    const char* what;
    std::function<void(CompileProjectTest*)> arrange;
    const char* says;
  } cases[] = {
      {"a missing page", [](CompileProjectTest* t) { std::remove((t->source_ / "2.txt").c_str()); },
       "cannot read the page"},
      // The sitemaps are read side by side; the contents' problem is told first.
      {"an index with a tag left open",
       [](CompileProjectTest* t) { WriteBytes(t->source_ / "chm_hhk.hhk", "<HTML><BODY><UL"); },
       "chm_hhk.hhk: a tag is not closed"},
      {"both sitemaps with a tag left open",
       [](CompileProjectTest* t) {
         WriteBytes(t->source_ / "chm_hhc.hhc", "<HTML><BODY><UL");
         WriteBytes(t->source_ / "chm_hhk.hhk", "<HTML><BODY><UL");
       },
       "chm_hhc.hhc: a tag is not closed"},
      {"a book the check refuses",
       [](CompileProjectTest* t) {
         t->settings_.options.check = [](const std::string& book, const helpbook::BookFacts& facts) {
           return ReadBytes(book).substr(0, 4) == "ITSF" && facts.pages.size() == 2 ? "refused" : "";
         };
       },
       "the book does not read back right: refused"},
      {"a stop that comes while the check reads the book",
       [](CompileProjectTest* t) {
         auto checking = std::make_shared<bool>(false);
         t->settings_.options.check = [checking](const std::string&, const helpbook::BookFacts&) {
           *checking = true;
           return std::string();
         };
         t->settings_.options.stop = [checking] { return *checking; };
       },
       "interrupted"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.arrange(this);
    output_.clear();
    EXPECT_FALSE(Compile());
    EXPECT_NE(output_.find("inkbinder-hhc: compile failed: "), std::string::npos) << output_;
    EXPECT_NE(output_.find(c.says), std::string::npos) << output_;
    EXPECT_EQ(ReadBytes(source_ / "我的 书.chm"), "older book");
    EXPECT_EQ(failure_, helpbook::CompileFailure::kOther) << "the book could have been written";
    SetUp();  // the project's files as they were
  }
}

// "Compiled file=" names a book in the project's folder or below, never one
// of the project's own files, nor anything outside.
TEST_F(CompileProjectTest, TheBookStaysInTheProjectsFolderAndOffItsInputs) {
  ScopedTempDir elsewhere("hhc elsewhere");
  const std::vector<std::string> inputs = {"第1章.txt", "2.txt", "chm_hhc.hhc", "chm_hhk.hhk"};
  std::vector<std::string> before;
  for (const std::string& name : inputs) before.push_back(ReadBytes(source_ / name));
  const std::string refused[] = {
      "2.txt", "./2.txt", "CHM_HHC.HHC", "chm_hhk.hhk", "chm_hhp.hhp", Gbk("第1章.txt"),
      "../outside.chm", "sub/../../outside.chm", elsewhere / "abs.chm", "C:abs.chm",
  };
  for (const std::string& compiled_file : refused) {
    SCOPED_TRACE(compiled_file);
    WriteProject(compiled_file, Gbk("第1章.txt"));
    output_.clear();
    EXPECT_FALSE(Compile());
    EXPECT_NE(output_.find("hhc: compile failed: the book "), std::string::npos) << output_;
    for (size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(ReadBytes(source_ / inputs[i]), before[i]);
    EXPECT_NE(ReadBytes(source_ / "chm_hhp.hhp").find(compiled_file), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
    EXPECT_FALSE(Exists(source_ / "../outside.chm"));
  }
  // Below the project's folder is fine.
  std::filesystem::create_directory(std::filesystem::u8path(source_ / "sub"));
  WriteProject("sub/b.chm", Gbk("第1章.txt"));
  EXPECT_TRUE(Compile()) << output_;
  EXPECT_TRUE(Exists(source_ / "sub/b.chm"));
}

// A book that cannot be written is told apart from other failures: the tool
// names it, through hhc's exit code.
TEST_F(CompileProjectTest, ABookThatCannotBeWrittenIsToldApart) {
  std::filesystem::create_directory(std::filesystem::u8path(source_ / "我的 书.chm"));
  EXPECT_FALSE(Compile());
  EXPECT_EQ(failure_, helpbook::CompileFailure::kBookNotWritten) << output_;
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::u8path(source_ / "我的 书.chm")));
  std::filesystem::remove(std::filesystem::u8path(source_ / "我的 书.chm"));

  std::mt19937 noise(19);  // pages that do not compress
  std::string page;
  for (int i = 0; i < 300000; ++i) page += static_cast<char>(noise());
  WriteBytes(source_ / "2.txt", page);
  const ::inkbinder::testing::ScopedFileSizeLimit full(64 * 1024);
  if (!full.Active()) GTEST_SKIP() << "no file size limit here";
  output_.clear();
  EXPECT_FALSE(Compile());
  EXPECT_EQ(failure_, helpbook::CompileFailure::kBookNotWritten) << output_;
  EXPECT_FALSE(Exists(source_ / "我的 书.chm"));
}

// hhc stopped by a signal while it writes: it says so, and leaves no book
// and no temporary file.
TEST(HhcSignalTest, AnInterruptedCompileLeavesNothingBehind) {
  ScopedTempDir dir("hhc 中断");
  std::string project = "[OPTIONS]\r\nCompiled file=big.chm\r\n[FILES]\r\n";
  std::string page;
  for (int i = 0; i < 4000000; ++i) page += static_cast<char>((i * 2654435761u) >> 24);
  for (int i = 0; i < 12; ++i) {
    WriteBytes(dir / ("p" + std::to_string(i) + ".bin"), page);
    project += "p" + std::to_string(i) + ".bin\r\n";
  }
  WriteBytes(dir / "p.hhp", project);
  const std::string hhc = ::inkbinder::testing::TestProgram("inkbinder-hhc");
  const std::string hhp = dir / "p.hhp";
  ProcessOptions options;
  options.capture_output = true;
  std::string error;
  const std::unique_ptr<Process> process = Process::Start(hhc, {hhp}, options, &error);
  ASSERT_NE(process, nullptr) << error;
  // Wait until it writes beside the book, then stop it.
  bool writing = false;
  for (int i = 0; i < 2000 && !writing; ++i) {
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      writing = writing || e.path().filename().string().rfind(".chm-", 0) == 0;
    }
    if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  process->Stop(StopSignal::kTerminate);
  const int exit_code = process->Wait();
  ASSERT_TRUE(writing) << "hhc never started writing";
  const std::string& said = process->Output();
  if (said.find("hhc: wrote") != std::string::npos) GTEST_SKIP() << "hhc finished before the signal";
  EXPECT_EQ(exit_code, 0) << "hhc.exe's failure, not the signal's death";
  EXPECT_NE(said.find("inkbinder-hhc: compile failed: interrupted"), std::string::npos) << said;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name.find("big.chm") == std::string::npos && name.rfind(".chm-", 0) != 0)
        << name << " left behind";
  }
}

}  // namespace
}  // namespace inkbinder::hhc
