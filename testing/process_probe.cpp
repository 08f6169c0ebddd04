// A child for the process tests: does what its arguments say, in order.
//   out=TEXT   writes TEXT and a newline to standard output
//   err=TEXT   writes TEXT and a newline to standard error
//   fill=N     writes N bytes ('a' to 'z' over and over) to standard output
//   env=NAME   writes NAME's value (or "(unset)") and a newline to standard output
//   touch=PATH makes an empty file at PATH (relative to the current folder)
//   sleep=MS   waits
//   exit=N     the exit code, 0 unless said
//   args       writes every argument after it, each as [ARG] on a line, and stops reading
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/text.h"

namespace {

// Arguments and variables come in the system code page on Windows.
std::string Utf8(const char* text) {
#ifdef _WIN32
  return inkbinder::CodePageToUtf8(text, inkbinder::kSystemAnsi);
#else
  return text;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  int exit_code = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string word = Utf8(argv[i]);
    const size_t eq = word.find('=');
    const std::string key = word.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
    if (key == "out") {
      std::printf("%s\n", value.c_str());
    } else if (key == "err") {
      std::fprintf(stderr, "%s\n", value.c_str());
    } else if (key == "fill") {
      for (long n = 0, size = std::atol(value.c_str()); n < size; ++n) {
        std::putchar('a' + static_cast<int>(n % 26));
      }
    } else if (key == "env") {
      const char* found = std::getenv(value.c_str());
      std::printf("%s\n", found != nullptr ? Utf8(found).c_str() : "(unset)");
    } else if (key == "touch") {
      std::FILE* f = std::fopen(value.c_str(), "wb");
      if (f == nullptr) return 3;
      std::fclose(f);
    } else if (key == "sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(value.c_str())));
    } else if (key == "exit") {
      exit_code = std::atoi(value.c_str());
    } else if (word == "args") {
      for (int j = i + 1; j < argc; ++j) std::printf("[%s]\n", Utf8(argv[j]).c_str());
      break;
    }
  }
  return exit_code;
}
