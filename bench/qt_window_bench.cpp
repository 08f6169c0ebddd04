// inkbinder-qt-window-bench FOLDER [REPS]: how long the Qt window goes
// without handling events while it imports FOLDER (made by `inkbinder-bench
// make`) and while it converts it up to the compiler (/bin/true, which ends at
// once). A timer on the window's thread ticks every millisecond; the longest
// pause between ticks, from the click until the window has settled again, is
// the run's longest gap. Prints one line per run and the medians.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "bench/measure.h"
#include "qt/main_window.h"

namespace inkbinder::bench {
namespace {

// Ticks on the window's thread and notes the longest pause between ticks.
class GapMeter {
 public:
  GapMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    clock_.start();
    timer_.start();
  }
  void Reset() {
    last_ = clock_.elapsed();
    longest_ = 0;
  }
  void Tick() {
    const qint64 now = clock_.elapsed();
    longest_ = std::max(longest_, now - last_);
    last_ = now;
  }
  qint64 longest() const { return longest_; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  qint64 longest_ = 0;
};

// Lets the window's events run for `ms` milliseconds.
void Settle(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Clicks `button` from inside the event loop (as a user's click arrives) and
// returns the longest gap from the click until the window has settled.
qint64 LongestGapOfClick(GapMeter& meter, QPushButton* button) {
  Settle(50);
  QTimer::singleShot(0, button, [&] {
    meter.Reset();
    button->click();  // returns when the command has ended
    meter.Tick();
  });
  Settle(400);  // the list's layout and paint come after the command
  return meter.longest();
}

int Run(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: inkbinder-qt-window-bench FOLDER [REPS]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

  GapMeter meter;
  std::vector<double> imports, converts;
  size_t pages = 0;
  for (int r = 0; r < reps; ++r) {
    MainWindow window("/bin/true");
    window.SetFolderPicker([&] { return folder; });
    window.show();
    window.findChild<QLineEdit*>("Text1")->setText(QStringLiteral("基准测试"));
    const qint64 import_ms = LongestGapOfClick(meter, window.findChild<QPushButton*>("Command1"));
    pages = window.PageCount();
    const qint64 convert_ms = LongestGapOfClick(meter, window.findChild<QPushButton*>("Command2"));
    std::printf("run=%d pages=%zu import_gap_ms=%lld convert_gap_ms=%lld\n", r + 1, pages,
                static_cast<long long>(import_ms), static_cast<long long>(convert_ms));
    std::fflush(stdout);
    imports.push_back(static_cast<double>(import_ms));
    converts.push_back(static_cast<double>(convert_ms));
  }
  std::printf("qt pages=%zu reps=%d import_gap_median_ms=%.0f import_gap_max_ms=%.0f "
              "convert_gap_median_ms=%.0f convert_gap_max_ms=%.0f\n",
              pages, reps, Median(imports), *std::max_element(imports.begin(), imports.end()),
              Median(converts), *std::max_element(converts.begin(), converts.end()));
  return 0;
}

}  // namespace
}  // namespace inkbinder::bench

int main(int argc, char** argv) { return inkbinder::bench::Run(argc, argv); }
