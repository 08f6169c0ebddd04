#include "tools/hhc/staging.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "project/text_encoding.h"
#include "testing/temp_dir.h"
#include "testing/programs.h"

namespace inkbinder::hhc {
namespace {

using ::inkbinder::testing::ScopedEnv;

using ::inkbinder::testing::Exists;
using ::inkbinder::testing::MakeFolder;
using ::inkbinder::testing::ReadBytes;
using ::inkbinder::testing::ScopedTempDir;
using ::inkbinder::testing::WriteBytes;

std::string Gbk(const std::string& utf8) { return Utf8ToCodePage(utf8, kCodePage936); }

// True when both paths reach the same file: a hard link or a symbolic one.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

TEST(StagingTest, OnlyFoldersOfRunsThatAreGoneAreRemoved) {
  ScopedTempDir tmp("staging orphans");
  const pid_t child = fork();
  if (child == 0) _exit(0);
  int status;
  waitpid(child, &status, 0);  // a pid that no process has now
  const std::string dead = tmp / ("inkbinder-hhc-" + std::to_string(child) + "-AbC123");
  const std::string live = tmp / ("inkbinder-hhc-" + std::to_string(getppid()) + "-AbC123");
  const std::string mine = tmp / ("inkbinder-hhc-" + std::to_string(getpid()) + "-AbC123");
  const std::string other = tmp / "inkbinder-hhc-notapid-x";
  const pid_t zombie = fork();  // ended, not yet reaped: as a killed run is until its reaper comes
  if (zombie == 0) _exit(0);
  const std::string ended = tmp / ("inkbinder-hhc-" + std::to_string(zombie) + "-AbC123");
  usleep(100 * 1000);
  for (const std::string& folder : {dead, live, mine, other, ended}) {
    MakeFolder(folder + "/sub");
    WriteBytes(folder + "/sub/page.txt", "x");
  }
  RemoveOrphanedStagingFolders(tmp.path());
  waitpid(zombie, &status, 0);
  EXPECT_FALSE(Exists(dead));
  EXPECT_FALSE(Exists(ended));
  EXPECT_TRUE(Exists(live + "/sub/page.txt")) << "another run at work";
  EXPECT_TRUE(Exists(mine + "/sub/page.txt"));
  EXPECT_TRUE(Exists(other + "/sub/page.txt"));

  // A new staging folder records its owner, and clears up on its way in.
  MakeFolder(dead);
  ScopedEnv env("TMPDIR", tmp.path());
  StagingFolder staging;
  std::string error;
  ASSERT_TRUE(staging.Create(&error)) << error;
  EXPECT_EQ(staging.path().rfind(tmp / ("inkbinder-hhc-" + std::to_string(getpid()) + "-"), 0), 0u);
  EXPECT_FALSE(Exists(dead));
}

TEST(StagingTest, NamesAsChmcmdAndTheDiskSeeThem) {
  // 俓 is 0x82 0x5C in code page 936: chmcmd splits it, the disk name keeps it.
  EXPECT_EQ(ChmcmdPath(Gbk("俓.txt")), "\x82/.txt");
  EXPECT_EQ(ChmcmdPath("sub\\a.txt"), "sub/a.txt");
  EXPECT_EQ(ChmcmdPath(Gbk("第1章.txt")), Gbk("第1章.txt"));
  EXPECT_EQ(DiskPath("/p", Gbk("第1章.txt")), "/p/第1章.txt");
  EXPECT_EQ(DiskPath("/p", Gbk("俓.txt")), "/p/俓.txt");
  EXPECT_EQ(DiskPath("/p", "sub\\a.txt"), "/p/sub/a.txt");
}

class StageProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(source_ / "chm_hhp.hhp", "[OPTIONS]\r\n");
    WriteBytes(source_ / "chm_hhc.hhc", "contents");
    WriteBytes(source_ / "chm_hhk.hhk", "index");
    ASSERT_TRUE(staging_.Create(&error_)) << error_;
  }
  bool Stage(const std::vector<std::string>& files) {
    HelpProject p;
    p.compiled_file = book_;
    p.contents_file = "chm_hhc.hhc";
    p.index_file = "chm_hhk.hhk";
    p.files = files;
    pages_.clear();
    return StageProject(source_ / "chm_hhp.hhp", ReadBytes(source_ / "chm_hhp.hhp"), p,
                        staging_.path(), &pages_, &notes_, &error_);
  }
  ScopedTempDir source_{"hhc 源"};
  std::string book_ = "b.chm";
  std::vector<ExpectedPage> pages_;
  StagingFolder staging_;
  std::string notes_;
  std::string error_;
};

TEST_F(StageProjectTest, LinksEveryPageUnderItsUtf8Name) {
  WriteBytes(source_ / "第1章.txt", "one");
  WriteBytes(source_ / "2.txt", "two");
  MakeFolder(source_ / "子");
  WriteBytes(source_ / "子/页.txt", "three");
  // A page named in code page 936 on disk, as copied from an old system.
  WriteBytes(source_ / Gbk("旧.txt"), "four");
  WriteBytes(source_ / "俓.txt", "five");  // 0x82 0x5C in code page 936

  ASSERT_TRUE(Stage({Gbk("第1章.txt"), "2.txt", Gbk("子\\页.txt"), Gbk("旧.txt"), Gbk("俓.txt")}))
      << error_;
  const std::string s = staging_.path();
  EXPECT_EQ(ReadBytes(s + "/chm_hhp.hhp"), ProjectForChmcmd("[OPTIONS]\r\n", "#inkbinder-end"));
  EXPECT_EQ(ReadBytes(s + "/chm_hhc.hhc"), "contents");
  EXPECT_EQ(ReadBytes(s + "/chm_hhk.hhk"), "index");
  EXPECT_EQ(ReadBytes(s + "/#inkbinder-end"), "");
  // Copies: the tool deletes its own afterwards.
  EXPECT_FALSE(SameFile(s + "/chm_hhc.hhc", source_ / "chm_hhc.hhc"));

  EXPECT_TRUE(SameFile(s + "/第1章.txt", source_ / "第1章.txt"));
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"第1章.txt", "one"}, {"2.txt", "two"}, {"子/页.txt", "three"}, {"旧.txt", "four"},
      {"俓.txt", "five"}};
  ASSERT_EQ(pages_.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(pages_[i].name, expected[i].first);
    EXPECT_EQ(pages_[i].disk_path, s + "/" + expected[i].first);
    EXPECT_EQ(ReadBytes(s + "/" + expected[i].first), expected[i].second);
  }
}

TEST(ProjectForChmcmdTest, Utf8PagesAnEndMarkerAndNoBinaryIndex) {
  struct Case {
    const char* what;
    std::string written;
    std::string staged;
  };
  const std::string caption = Gbk("示例,\"chm_hhc.hhc\"");
  const Case cases[] = {
      {"the tool's project",
       "[OPTIONS]\r\nCompiled file=" + Gbk("书.chm") + "\r\n[WINDOWS]\r\nw=" + caption +
           "\r\n[FILES]\r\n" + Gbk("第1章.txt") + "\r\nC#.txt\r\n[INFOTYPES]\r\n",
       "[OPTIONS]\r\nBinary Index=No\r\nCompiled file=" + Gbk("书.chm") + "\r\n[WINDOWS]\r\nw=" +
           caption + "\r\n[FILES]\r\n第1章.txt\r\nC#.txt\r\nEND\r\n[INFOTYPES]\r\n"},
      {"a binary index asked for, [FILES] last, LF only",
       "[options]\nBinary index = Yes\n[files]\n ; note\n  a.txt  \n" + Gbk("子\\页.txt"),
       "[options]\nBinary Index=No\n[files]\n ; note\na.txt\n子\\页.txt\nEND\n"},
      {"no sections", "", "[OPTIONS]\r\nBinary Index=No\r\n[FILES]\r\nEND\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProjectForChmcmd(c.written, "END"), c.staged) << c.what;
  }
}

TEST_F(StageProjectTest, StagesAPageThatCannotBeReadAsAnEmptyOne) {
  WriteBytes(source_ / "empty.txt", "");
  ASSERT_EQ(symlink("/proc/self/mem", (source_ / "mem.txt").c_str()), 0);  // read: EIO
  ASSERT_EQ(symlink("/proc/self/status", (source_ / "status.txt").c_str()), 0);  // size 0, reads bytes
  ASSERT_TRUE(Stage({"empty.txt", "mem.txt", "status.txt"})) << error_;
  const std::string s = staging_.path();
  // A truly empty page is linked as any other.
  EXPECT_TRUE(SameFile(s + "/empty.txt", source_ / "empty.txt"));
  for (const char* name : {"mem.txt", "status.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(SameFile(s + "/" + name, source_ / name));
    EXPECT_EQ(ReadBytes(s + "/" + name), "");
    EXPECT_NE(notes_.find(source_ / name), std::string::npos) << notes_;
  }
  EXPECT_EQ(notes_.find("empty.txt"), std::string::npos) << notes_;
}

TEST_F(StageProjectTest, LinksToWhatAPageLinkPointsAt) {
  MakeFolder(source_ / "elsewhere");
  WriteBytes(source_ / "elsewhere/real.txt", "real");
  ASSERT_EQ(symlink("elsewhere/real.txt", (source_ / "a.txt").c_str()), 0);  // relative
  ASSERT_TRUE(Stage({"a.txt"})) << error_;
  EXPECT_EQ(ReadBytes(staging_.path() + "/a.txt"), "real");
}

TEST_F(StageProjectTest, FallsBackToSymbolicLinksAcrossFileSystems) {
  struct stat shm, here;
  if (stat("/dev/shm", &shm) != 0 || stat(source_.path().c_str(), &here) != 0 ||
      shm.st_dev == here.st_dev) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  ScopedEnv tmp("TMPDIR", "/dev/shm");
  StagingFolder elsewhere;
  ASSERT_TRUE(elsewhere.Create(&error_)) << error_;
  WriteBytes(source_ / "a.txt", "a");
  HelpProject p;
  p.compiled_file = "b.chm";
  p.files = {"a.txt"};
  ASSERT_TRUE(StageProject(source_ / "chm_hhp.hhp", "", p, elsewhere.path(), &pages_, &notes_,
                           &error_))
      << error_;
  EXPECT_TRUE(SameFile(elsewhere.path() + "/a.txt", source_ / "a.txt"));
}

TEST_F(StageProjectTest, ARelativeProjectPathStillLinksToThePages) {
  WriteBytes(source_ / "a.txt", "a");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(source_.path().c_str()), 0);
  HelpProject p;
  p.compiled_file = "b.chm";
  p.files = {"a.txt"};
  const bool ok = StageProject("chm_hhp.hhp", "", p, staging_.path(), &pages_, &notes_, &error_);
  ASSERT_EQ(chdir(cwd), 0);
  ASSERT_TRUE(ok) << error_;
  EXPECT_EQ(ReadBytes(staging_.path() + "/a.txt"), "a");
}

TEST_F(StageProjectTest, RefusesWhatChmcmdWouldGetWrong) {
  WriteBytes(source_ / "a.txt", "a");
  // Sparse: 2 GiB on paper, nothing on the disk.
  for (const auto& [name, size] : {std::pair<const char*, off_t>{"大.txt", off_t{1} << 31},
                                   {"just.txt", (off_t{1} << 31) - 1}}) {
    WriteBytes(source_ / name, "");
    ASSERT_EQ(truncate((source_ / name).c_str(), size), 0);
  }
  ASSERT_TRUE(Stage({"a.txt", "just.txt"})) << error_;
  struct Case {
    const char* what;
    std::string entry;
    const char* message;
  };
  const Case cases[] = {
      {"a missing page", "gone.txt", "page not found"},
      {"a page of 2 GiB", Gbk("大.txt"), "the page 大.txt is 2 GiB or larger"},
      {"a page above the project", "..\\a.txt", "outside the project folder"},
      {"an absolute page", "/etc/passwd", "outside the project folder"},
      {"a page named like the book", "b.chm", "the book's own name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    error_.clear();
    EXPECT_FALSE(Stage({"a.txt", c.entry}));
    EXPECT_NE(error_.find(c.message), std::string::npos) << error_;
  }
}

TEST_F(StageProjectTest, RefusesAPageTheBookWouldLandOn) {
  book_ = Gbk("书.chm");  // staged under these bytes, moved out under its UTF-8 name
  WriteBytes(source_ / "书.chm", "a page");
  EXPECT_FALSE(Stage({Gbk("书.chm")}));
  EXPECT_NE(error_.find("a page has the book's own name: 书.chm"), std::string::npos) << error_;
}

TEST_F(StageProjectTest, TheEndMarkerTakesNoPagesName) {
  WriteBytes(source_ / "chm_hhp.hhp", "[FILES]\r\n#inkbinder-end\r\n");
  WriteBytes(source_ / "#inkbinder-end", "a page");
  ASSERT_TRUE(Stage({"#inkbinder-end"})) << error_;
  EXPECT_EQ(ReadBytes(staging_.path() + "/#inkbinder-end"), "a page");
  EXPECT_EQ(ReadBytes(staging_.path() + "/#inkbinder-end2"), "");
  EXPECT_NE(ReadBytes(staging_.path() + "/chm_hhp.hhp").find("#inkbinder-end\r\n#inkbinder-end2\r\n"),
            std::string::npos);
}

TEST_F(StageProjectTest, LeavesAMissingContentsFileForChmcmdToReport) {
  std::filesystem::remove(source_ / "chm_hhc.hhc");
  ASSERT_TRUE(Stage({})) << error_;
  EXPECT_FALSE(Exists(staging_.path() + "/chm_hhc.hhc"));
  EXPECT_TRUE(Exists(staging_.path() + "/chm_hhk.hhk"));
}

TEST(StagingFolderTest, GoesWithItsLinksButNotWhatTheyPointAt) {
  ScopedTempDir tmp("hhc tmp");
  ScopedTempDir pages("hhc pages");
  WriteBytes(pages / "p.txt", "page");
  ScopedEnv env("TMPDIR", tmp.path().c_str());
  std::string path;
  {
    StagingFolder staging;
    std::string error;
    ASSERT_TRUE(staging.Create(&error)) << error;
    path = staging.path();
    EXPECT_EQ(path.rfind(tmp.path() + "/", 0), 0u) << path;
    ASSERT_EQ(symlink((pages / "p.txt").c_str(), (path + "/p.txt").c_str()), 0);
    MakeFolder(path + "/sub");
    WriteBytes(path + "/sub/b.chm", "book");
  }
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(ReadBytes(pages / "p.txt"), "page");
}

TEST(StagingFolderTest, ReportsATemporaryFolderItCannotUse) {
  ScopedEnv env("TMPDIR", "/nonexistent/inkbinder");
  StagingFolder staging;
  std::string error;
  EXPECT_FALSE(staging.Create(&error));
  EXPECT_NE(error.find("/nonexistent/inkbinder"), std::string::npos) << error;
}

}  // namespace
}  // namespace inkbinder::hhc
