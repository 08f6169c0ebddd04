#include "tools/hhc/verdict.h"

#include <gtest/gtest.h>

namespace inkbinder::hhc {
namespace {

TEST(VerdictTest, JudgesWhatChmcmdLeftBehind) {
  const std::string clean = "Note: Index items:3\nWriting CHM a.chm\nNote: CHM has binary index\n";
  struct Case {
    const char* what;
    CompileEvidence evidence;
    bool succeeded;
    const char* reason_holds;
  };
  const Case cases[] = {
      {"a clean run with a book", {true, 0, clean, true, 11169}, true, ""},
      {"CR LF output is clean too", {true, 0, "Writing CHM a.chm\r\n", true, 10}, true, ""},
      {"a warning alone does not fail", {true, 0, "Warning: anchor not found\n", true, 10}, true, ""},
      {"never started", {false, -1, "hhc: cannot run chmcmd: No such file\n", false, 0}, false,
       "could not be run"},
      {"crashed halfway, leaving an empty book",
       {true, 217, "Warning: File x.txt does not exist\nWriting CHM a.chm\n", true, 0}, false,
       "exit code 217"},
      {"crash report wins over the exit code",
       {true, 217, "An unhandled exception occurred at $0000000000416AC9:\n", true, 0}, false,
       "An unhandled exception"},
      {"killed by a signal", {true, 137, clean, true, 100}, false, "exit code 137"},
      {"exit 0 but no project", {true, 0, "Can't find project file x.hhp\n", false, 0}, false,
       "Can't find project file"},
      {"exit 0 with an error line and even a book",
       {true, 0, "Error: Can't find TOC file /s/t.hhc\nWriting CHM a.chm\n", true, 500}, false,
       "Error: Can't find TOC file /s/t.hhc"},
      {"an error line after CR LF lines",
       {true, 0, "Note: x\r\nError: y\r\n", true, 500}, false, "Error: y"},
      {"'Error' only counts at the start of a line",
       {true, 0, "Note: page Error.txt added\n", true, 500}, true, ""},
      {"exit 0 and quiet, but no book", {true, 0, clean, false, 0}, false, "no book"},
      {"exit 0 and quiet, but an empty book", {true, 0, clean, true, 0}, false, "empty book"},
      {"exit 1 with a book", {true, 1, clean, true, 500}, false, "exit code 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Verdict v = JudgeCompile(c.evidence);
    EXPECT_EQ(v.succeeded, c.succeeded);
    if (c.succeeded) {
      EXPECT_EQ(v.reason, "");
    } else {
      EXPECT_NE(v.reason.find(c.reason_holds), std::string::npos) << v.reason;
      EXPECT_EQ(v.reason.find('\r'), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace inkbinder::hhc
