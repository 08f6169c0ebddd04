// inkbinder-cli: the convert command from a command line, for scripts and batch use.
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "commands/compile.h"
#include "commands/convert.h"
#include "commands/messages.h"
#include "commands/run_port.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/text.h"
#include "project/page_list.h"
#include "resources/version.h"

namespace inkbinder {
namespace {

constexpr char kUsage[] =
    "用法 / usage: inkbinder-cli --title 标题 [--compiler 程序|builtin] [--keep-sources] 文件夹\n";

constexpr char kHelp[] =
    "inkbinder-cli --title TITLE [--compiler PATH|builtin] [--keep-sources] FOLDER\n"
    "\n"
    "把文件夹中的 .txt 页面编成一本 CHM 帮助书：<文件夹>/<标题>.chm。\n"
    "页面按阅读顺序排列（2.txt 在 10.txt 之前，第二章在第十章之前）；每页的目录和\n"
    "索引名称取自它的第一个 <title> 标签，没有标签时用文件名。\n"
    "Turns the .txt pages of FOLDER into a compiled help book, FOLDER/TITLE.chm.\n"
    "Pages go in reading order (2.txt before 10.txt, 第二章 before 第十章); each page\n"
    "is named in the contents and index by its first <title> tag, or by its file name.\n"
    "\n"
    "  --title TITLE      书名，也是帮助窗口的标题；不能为空，不能含 \\ / : * ? \" < > |，\n"
    "                     只能用 GBK 字符，且须能用作文件名（首尾无空格、不以点结尾、不是设备名）\n"
    "                     the book's name and its window caption: not empty, none of those\n"
    "                     characters, only GBK characters, and a usable file name (no space\n"
    "                     at either end, no final dot, no device name such as CON)\n"
    "  --compiler PATH    使用此编译器，而不是程序文件夹中的 hhc.exe（Linux 上为 inkbinder-hhc）；\n"
    "                     builtin 为内置编译器\n"
    "                     the help compiler to run instead of hhc.exe (inkbinder-hhc on Linux)\n"
    "                     beside this program; builtin: the built-in one\n"
    "  --keep-sources     保留 chm_hhc.hhc、chm_hhk.hhk、chm_hhp.hhp 三个源文件\n"
    "                     leave the three generated source files in FOLDER\n"
    "  --help             显示本说明 / show this text\n"
    "  --version          显示版本 / show the version\n"
    "\n"
    "退出码 / exit status:\n"
    "  0  生成成功，打印书的路径 / the book was made; its path is printed\n"
    "  1  生成失败，打印原因（也包括文件夹正在转换中、被中断）\n"
    "     the book was not made (also: the folder is being converted, interrupted); the reason is printed\n"
    "  2  输入有误（没有页面、标题为空或无效、用法错误）/ bad input or usage\n"
    "编译器的输出写到标准错误 / the compiler's messages go to standard error.\n";

// A run on a command line: messages go to standard error, the compiler is
// simply waited for, and nothing is opened. The status is the result's.
class ConsolePort : public RunPort {
 public:
  void SetStatus(const std::string&) override {}
  void ShowMessage(const std::string& text, const std::string&) override {
    PrintText(stderr, text + "\n");
  }
  int WaitForProcess(Process& process) override { return process.Wait(); }
  void OpenFolder(const std::string&) override {}
  void ShowProgress(std::uint64_t done, std::uint64_t total) override { progress_.Show(done, total); }

 private:
  ProgressLine progress_{stderr, IsTerminal(stderr)};
};

struct Arguments {
  std::string title;
  bool has_title = false;
  std::string compiler;
  bool keep_sources = false;
  std::string folder;
  bool help = false;
};

bool Parse(const std::vector<std::string>& args, Arguments* out) {
  bool has_folder = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&](const std::string& name, std::string* into) {
      if (a == name) {
        if (i + 1 >= args.size()) return false;
        *into = args[++i];
        return true;
      }
      *into = a.substr(name.size() + 1);  // --name=value
      return true;
    };
    const auto is = [&](const char* name) {
      return a == name || a.rfind(std::string(name) + "=", 0) == 0;
    };
    if (a == "--help" || a == "-h") {
      out->help = true;
    } else if (is("--title")) {
      if (!value("--title", &out->title)) return false;
      out->has_title = true;
    } else if (is("--compiler")) {
      if (!value("--compiler", &out->compiler)) return false;
    } else if (a == "--keep-sources") {
      out->keep_sources = true;
    } else if (a.size() > 1 && a[0] == '-' && a != "--") {
      return false;
    } else {
      if (a == "--") {
        if (++i >= args.size()) return false;
      }
      if (has_folder) return false;
      out->folder = args[i];
      has_folder = true;
    }
  }
  return out->help || (has_folder && out->has_title);
}

// Absolute, without trailing separators (a root keeps its one).
std::string SourceFolderOf(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path p = fs::absolute(fs::u8path(folder), ec);
  if (ec) p = fs::u8path(folder);
  std::string s = p.lexically_normal().u8string();
  while (s.size() > 1 && (s.back() == '/' || s.back() == '\\') &&
         !(s.size() == 3 && s[1] == ':')) {
    s.pop_back();
  }
  return s;
}

// What a script sees of the result: the book's path, or why there is none,
// and the exit code.
int Report(const ConvertResult& result) {
  switch (result.outcome) {
    case ConvertOutcome::kSucceeded:
      // A script gets the path as it is; a terminal, one it can show.
      PrintText(stdout, result.status + "\n" +
                            (IsTerminal(stdout) ? PrintableText(result.book) : result.book) + "\n");
      return 0;
    case ConvertOutcome::kNoPages:
    case ConvertOutcome::kNoTitle:
    case ConvertOutcome::kBadTitle:
      return 2;  // the message is already on standard error
    case ConvertOutcome::kCompilerNotStarted:
      PrintText(stderr, PrintableText(result.status) + "\n" + result.detail + "\n");
      return 1;
    default:
      PrintText(stderr, PrintableText(result.status) + "\n");
      return 1;
  }
}

int Run(const std::vector<std::string>& args) {
  if (args.size() == 2 && args[1] == "--version") {
    PrintText(stdout, "inkbinder-cli " INKBINDER_VERSION "\n");
    return 0;
  }
  // Stopped by the user, the run removes what it wrote and stops its compiler.
  CatchInterruptions();
  Arguments a;
  if (!Parse(args, &a)) {
    PrintText(stderr, kUsage);
    return 2;
  }
  if (a.help) {
    PrintText(stdout, kHelp);
    return 0;
  }
  const std::string folder = SourceFolderOf(a.folder);
  std::error_code ec;
  if (!std::filesystem::is_directory(std::filesystem::u8path(folder), ec)) {
    PrintText(stderr, "找不到文件夹 / no such folder: " + PrintableText(folder) + "\n");
    return 2;
  }
  PageList list = ListPages(folder);
  for (const std::string& name : list.left_out) {
    // One name a line, and none may drive the terminal.
    PrintText(stderr, "已略过，名称无法写入帮助文件 / left out, the name cannot go into a book: " +
                          PrintableText(name) + "\n");
  }
  // The title is checked before anything is written: a script gets a clean refusal.
  if (list.pages.empty()) {
    PrintText(stderr, std::string(kNoPagesText) + "\n");
    return 2;
  }
  if (const char* refusal = TitleRefusal(folder, a.title)) {
    PrintText(stderr, std::string(refusal) + "\n");
    return 2;
  }

  ConvertJob job;
  job.pages = std::make_shared<const PageList>(std::move(list));
  job.title = a.title;
  job.options.compiler = a.compiler.empty() ? FindHelpCompiler(ProgramFolder()) : a.compiler;
  job.options.keep_sources = a.keep_sources;
  ConsolePort console;
  return Report(Convert(job, console));
}

}  // namespace
}  // namespace inkbinder

int main(int argc, char** argv) {
  try {
    return inkbinder::Run(inkbinder::Utf8Arguments(argc, argv));
  } catch (const std::exception& e) {
    inkbinder::PrintText(stderr, std::string("生成失败：") + e.what() + "\n");
    return 1;
  }
}
