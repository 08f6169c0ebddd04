#include "tools/hhc/gbk_locale.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "testing/temp_dir.h"
#include "testing/programs.h"

namespace inkbinder::hhc {
namespace {

using ::inkbinder::testing::ScopedEnv;

using ::inkbinder::testing::Exists;
using ::inkbinder::testing::MakeFolder;
using ::inkbinder::testing::ScopedTempDir;

TEST(GbkLocaleTest, PrivateFoldersFollowTheCacheVariables) {
  {
    ScopedEnv xdg("XDG_CACHE_HOME", "/c");
    EXPECT_EQ(PrivateLocaleFolders("/prog"),
              (std::vector<std::string>{"/prog/locale", "/c/inkbinder/locale"}));
  }
  ScopedEnv xdg("XDG_CACHE_HOME", nullptr);
  ScopedEnv home("HOME", "/h");
  EXPECT_EQ(PrivateLocaleFolders("/prog").back(), "/h/.cache/inkbinder/locale");
}

// One generated locale for the whole suite: localedef takes about a second.
class GbkLocaleSearchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    generated_ = new ScopedTempDir("hhc locale");
    generated_ok_ = GenerateGbkLocale(generated_->path());
  }
  static void TearDownTestSuite() {
    delete generated_;
    generated_ = nullptr;
  }
  void SetUp() override {
    if (GbkLocaleLoads("")) GTEST_SKIP() << "this system has zh_CN.GBK itself";
    ASSERT_TRUE(generated_ok_) << "localedef could not make zh_CN.GBK";
  }
  // Puts a copy of the generated locale into `folder`.
  static void InstallLocale(const std::string& folder) {
    MakeFolder(folder);
    std::filesystem::copy(generated_->path() + "/zh_CN.GBK", folder + "/zh_CN.GBK",
                          std::filesystem::copy_options::recursive);
  }
  static ScopedTempDir* generated_;
  static bool generated_ok_;

  ScopedTempDir program_{"hhc prog"};
  ScopedTempDir cache_{"hhc cache"};
  ScopedEnv xdg_{"XDG_CACHE_HOME", cache_.path().c_str()};
  ScopedEnv locpath_{"LOCPATH", nullptr};
};

ScopedTempDir* GbkLocaleSearchTest::generated_ = nullptr;
bool GbkLocaleSearchTest::generated_ok_ = false;

TEST_F(GbkLocaleSearchTest, GeneratedLocaleLoadsOnlyFromItsFolder) {
  EXPECT_TRUE(GbkLocaleLoads(generated_->path()));
  EXPECT_FALSE(GbkLocaleLoads(program_.path()));
  EXPECT_TRUE(Exists(generated_->path() + "/zh_CN.GBK/LC_CTYPE"));
}

TEST_F(GbkLocaleSearchTest, ProgramFolderComesBeforeTheCache) {
  InstallLocale(program_.path() + "/locale");
  InstallLocale(cache_.path() + "/inkbinder/locale");
  std::string notes;
  const GbkLocale found = FindGbkLocale(program_.path(), &notes);
  EXPECT_TRUE(found.found);
  EXPECT_EQ(found.locpath, program_.path() + "/locale");
  EXPECT_EQ(notes, "");
}

TEST_F(GbkLocaleSearchTest, TheCacheServesWhenTheProgramFolderHasNone) {
  MakeFolder(program_.path() + "/locale/zh_CN.GBK");  // an empty, broken one
  InstallLocale(cache_.path() + "/inkbinder/locale");
  std::string notes;
  const GbkLocale found = FindGbkLocale(program_.path(), &notes);
  EXPECT_TRUE(found.found);
  EXPECT_EQ(found.locpath, cache_.path() + "/inkbinder/locale");
}

TEST_F(GbkLocaleSearchTest, GeneratesIntoTheCacheWhenNoneIsThere) {
  std::string notes;
  const GbkLocale found = FindGbkLocale(program_.path(), &notes);
  EXPECT_TRUE(found.found);
  EXPECT_EQ(found.locpath, cache_.path() + "/inkbinder/locale");
  EXPECT_NE(notes.find("generating"), std::string::npos) << notes;
  EXPECT_TRUE(GbkLocaleLoads(found.locpath));
}

TEST_F(GbkLocaleSearchTest, WarnsWhenNoLocaleCanBeHad) {
  ScopedTempDir empty("hhc empty path");
  ScopedEnv path("PATH", empty.path().c_str());  // no localedef
  std::string notes;
  const GbkLocale found = FindGbkLocale(program_.path(), &notes);
  EXPECT_FALSE(found.found);
  EXPECT_EQ(found.locpath, "");
  EXPECT_NE(notes.find("warning"), std::string::npos) << notes;
  EXPECT_NE(notes.find("'?'"), std::string::npos) << notes;
}

}  // namespace
}  // namespace inkbinder::hhc
