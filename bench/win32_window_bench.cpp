// inkbinder-win32-window-bench PROGRAM_FOLDER PAGES_FOLDER PAGES [REPS]: how
// long the Win32 window goes without answering while it imports PAGES_FOLDER
// (from the folder picker's OK) and while it converts it up to the compiler's
// start (the waiting text); the finishing after the compiler is noted apart.
// PROGRAM_FOLDER holds inkbinder.exe and, as its hhc.exe, the test compiler,
// told to take a second and fail. A thread of this program sends the window a message every few
// milliseconds; the longest stretch a message waits for its answer is the
// run's longest gap. Prints one line per run and the medians.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "commands/messages.h"
#include "resources/win32/resource.h"
#include "win32/driver/tool_driver.h"

namespace inkbinder::bench {
namespace {

using driver::ToolUnderTest;
using driver::WaitUntil;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Sends the window WM_NULL over and over and notes when each was sent and answered.
class Pinger {
 public:
  explicit Pinger(HWND window) : thread_([this, window] { Run(window); }) {}
  ~Pinger() {
    stop_ = true;
    thread_.join();
  }
  Pinger(const Pinger&) = delete;
  Pinger& operator=(const Pinger&) = delete;

  // The longest part of [from, to] that one message spent waiting; *at (if
  // given) gets when that wait began, in milliseconds after `from`.
  double LongestGap(Clock::time_point from, Clock::time_point to, double* at = nullptr) {
    const std::lock_guard<std::mutex> lock(mutex_);
    double longest = 0;
    for (const Ping& ping : pings_) {
      const Clock::time_point start = std::max(ping.sent, from);
      const Clock::time_point end = std::min(ping.answered, to);
      if (end > start && Ms(start, end) > longest) {
        longest = Ms(start, end);
        if (at != nullptr) *at = Ms(from, start);
      }
    }
    return longest;
  }

 private:
  struct Ping {
    Clock::time_point sent, answered;
  };
  void Run(HWND window) {
    while (!stop_) {
      const Clock::time_point sent = Clock::now();
      DWORD_PTR result = 0;
      SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
      const Clock::time_point answered = Clock::now();
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        pings_.push_back({sent, answered});
      }
      Sleep(2);
    }
  }

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Ping> pings_;
  std::thread thread_;
};

size_t ListCount(ToolUnderTest& tool) {
  DWORD_PTR count = 0;
  SendMessageTimeoutW(tool.Item(IDC_FILE1), LB_GETCOUNT, 0, 0, SMTO_NORMAL, 30000, &count);
  return count;
}

constexpr int kLongMs = 120000;

// The window's longest stalls in one run: while the list fills, while the
// conversion runs up to the compiler's start, and after it.
struct RunGaps {
  double import_gap = 0;
  double convert_gap = 0;
  double finish_gap = 0;
};

// One run: picks the folder, waits for the list, converts. False, with a
// message on standard error, when the window does not do its part.
bool MeasureOnce(const std::string& exe, const std::string& pages_folder, size_t pages, int run,
                 RunGaps* gaps) {
  ToolUnderTest tool(exe);
  if (tool.window() == nullptr) {
    std::fprintf(stderr, "the window never showed\n");
    return false;
  }
  Pinger pinger(tool.window());
  tool.Click(IDC_COMMAND1);
  HWND picker = tool.WaitForPicker(kLongMs);
  if (picker == nullptr || !tool.PickFolder(picker, pages_folder)) {
    std::fprintf(stderr, "cannot pick %s\n", pages_folder.c_str());
    return false;
  }
  const Clock::time_point ok = Clock::now();
  if (!WaitUntil([&] { return IsWindowEnabled(tool.Item(IDC_COMMAND1)) && ListCount(tool) == pages; },
                 kLongMs)) {
    std::fprintf(stderr, "the list did not fill: %zu entries\n", ListCount(tool));
    return false;
  }
  const double import_to_list_ms = Ms(ok, Clock::now());
  Sleep(300);
  gaps->import_gap = pinger.LongestGap(ok, Clock::now());

  tool.SetText(IDC_TEXT1, "基准测试");
  const Clock::time_point click = Clock::now();
  tool.Click(IDC_COMMAND2);
  if (!WaitUntil([&] { return tool.Text(IDC_LABEL2) == kWaitingStatus; }, kLongMs)) {
    std::fprintf(stderr, "the compiler did not start: %s\n", tool.Text(IDC_LABEL2).c_str());
    return false;
  }
  const Clock::time_point started = Clock::now();
  if (!WaitUntil([&] { return tool.Text(IDC_LABEL2) == kCompileFailedStatus; }, kLongMs)) {
    std::fprintf(stderr, "the conversion did not end: %s\n", tool.Text(IDC_LABEL2).c_str());
    return false;
  }
  Sleep(300);
  double convert_gap_at = 0;
  gaps->convert_gap = pinger.LongestGap(click, started, &convert_gap_at);
  gaps->finish_gap = pinger.LongestGap(started, Clock::now());
  std::printf("run=%d pages=%zu import_gap_ms=%.0f ok_to_list_ms=%.0f convert_gap_ms=%.0f "
              "convert_gap_at_ms=%.0f to_compiler_ms=%.0f after_compiler_gap_ms=%.0f\n",
              run, pages, gaps->import_gap, import_to_list_ms, gaps->convert_gap, convert_gap_at,
              Ms(click, started), gaps->finish_gap);
  std::fflush(stdout);
  return true;
}

int Run(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: inkbinder-win32-window-bench PROGRAM_FOLDER PAGES_FOLDER PAGES [REPS]\n");
    return 2;
  }
  const std::string exe = std::string(argv[1]) + "\\inkbinder.exe";
  const std::string pages_folder = argv[2];
  const size_t pages = std::strtoul(argv[3], nullptr, 10);
  const int reps = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;

  // The compiler (the test compiler as hhc.exe) takes a second, so that the
  // convert can be measured up to its start and apart from the finishing.
  SetEnvironmentVariableW(L"INKBINDER_FAKE_COMPILER", L"sleep=1000");
  std::vector<double> imports, converts, finishes;
  for (int r = 0; r < reps; ++r) {
    RunGaps gaps;
    if (!MeasureOnce(exe, pages_folder, pages, r + 1, &gaps)) return 1;
    finishes.push_back(gaps.finish_gap);
    imports.push_back(gaps.import_gap);
    converts.push_back(gaps.convert_gap);
  }
  std::printf("win32 pages=%zu reps=%d import_gap_median_ms=%.0f import_gap_max_ms=%.0f "
              "convert_gap_median_ms=%.0f convert_gap_max_ms=%.0f "
              "after_compiler_gap_median_ms=%.0f\n",
              pages, reps, Median(imports), *std::max_element(imports.begin(), imports.end()),
              Median(converts), *std::max_element(converts.begin(), converts.end()),
              Median(finishes));
  return 0;
}

}  // namespace
}  // namespace inkbinder::bench

int main(int argc, char** argv) { return inkbinder::bench::Run(argc, argv); }
