// A help compiler for tests. INKBINDER_FAKE_COMPILER holds words separated by
// semicolons (paths may hold spaces): "exit=N" (the exit code, default 1, success as hhc.exe has it),
// "book=PATH" (write a non-empty book there), "empty-book=PATH", "log=PATH"
// (append the project path it was given), "sleep=MS", "wait-for=PATH" (wait
// until PATH exists: the test decides when the compile ends).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

#include "platform/files.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  const char* env = std::getenv("INKBINDER_FAKE_COMPILER");
#ifdef _WIN32
  const std::string words = env ? inkbinder::CodePageToUtf8(env, inkbinder::kSystemAnsi) : "";
  const std::string project = argc > 1 ? inkbinder::CodePageToUtf8(argv[1], inkbinder::kSystemAnsi) : "";
#else
  const std::string words = env ? env : "";
  const std::string project = argc > 1 ? argv[1] : "";
#endif
  std::istringstream in(words);
  std::string word;
  int exit_code = 1;
  while (std::getline(in, word, ';')) {
    const size_t eq = word.find('=');
    const std::string key = word.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
    if (key == "exit") {
      exit_code = std::atoi(value.c_str());
    } else if (key == "sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(value.c_str())));
    } else if (key == "wait-for") {
      while (!inkbinder::IsRegularFile(value)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    } else if (key == "book" || key == "empty-book" || key == "log") {
      std::FILE* f = inkbinder::OpenFile(value, key == "log" ? "ab" : "wb");
      if (f == nullptr) return 3;
      if (key == "book") std::fputs("ITSF fake book", f);
      if (key == "log") std::fprintf(f, "%s\n", project.c_str());
      std::fclose(f);
    }
  }
  std::puts("fake compiler done");
  return exit_code;
}
