// inkbinder-bench: makes page folders and times writing the three source
// files against the floor of reading the same pages once. Each command runs in
// a process of its own so that its peak memory is its own.
//
//   inkbinder-bench make FOLDER COUNT      generate COUNT pages and check them
//   inkbinder-bench floor FOLDER REPS      read every page's bytes once per run
//   inkbinder-bench write FOLDER REPS      write the contents, index and project files per run
//   inkbinder-bench gbk-links FROM TO      the pages under their code page 936 names, plus
//                                          FROM's three source files: a folder the bare
//                                          compiler can work in
//   inkbinder-bench ascii-links FROM TO    the pages under ASCII names (page12.txt), same order
//   inkbinder-bench read-back BOOK REPS    chmlib alone, on one thread, looking every page of
//                                          BOOK up by name and reading it: the floor of the
//                                          compile's read-back check
//
// Timed commands do one untimed run first (so the pages are in the page cache
// for both), then REPS timed runs, and print one line of key=value pairs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <chm_lib.h>

#include "bench/measure.h"
#include "bench/page_corpus.h"
#include "platform/text.h"
#include "project/contents_file.h"
#include "project/index_file.h"
#include "project/page_entry.h"
#include "project/page_list.h"
#include "project/page_title.h"
#include "project/project_file.h"

namespace inkbinder::bench {
namespace {

constexpr char kBookTitle[] = "基准测试";

int Fail(const std::string& message) {
  std::fprintf(stderr, "inkbinder-bench: %s\n", message.c_str());
  return 1;
}

bool ParseCount(const char* text, size_t* out) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (end == text || *end != '\0' || value == 0) return false;
  *out = static_cast<size_t>(value);
  return true;
}

long FileSize(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<long>(size);
}

// A new folder: false when it was there already or cannot be made.
bool MakeNewFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::create_directory(path, ec);
}

bool HardLink(const std::string& from, const std::string& to) {
  std::error_code ec;
  std::filesystem::create_hard_link(from, to, ec);
  return !ec;
}

// The floor: open each page, read all its bytes, close it. The sum keeps the
// reads from being optimised away and tells how much was read.
size_t ReadAllPages(const std::string& folder, const std::vector<std::string>& pages) {
  size_t total = 0;
  char buffer[16384];
  for (const std::string& name : pages) {
    std::FILE* f = std::fopen((folder + "/" + name).c_str(), "rb");
    if (f == nullptr) continue;
    std::setvbuf(f, nullptr, _IONBF, 0);
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) total += got;
    std::fclose(f);
  }
  return total;
}

struct Timing {
  double median = 0, min = 0, max = 0, cpu = 0;  // wall seconds; cpu: median CPU seconds
};

template <typename Run>
Timing TimeRuns(size_t reps, Run run) {
  run();  // warm-up: page cache and allocator
  std::vector<double> wall, cpu;
  for (size_t r = 0; r < reps; ++r) {
    const double start = NowSeconds(), cpu_start = CpuSeconds();
    run();
    wall.push_back(NowSeconds() - start);
    cpu.push_back(CpuSeconds() - cpu_start);
  }
  Timing t;
  t.median = Median(wall);
  t.min = *std::min_element(wall.begin(), wall.end());
  t.max = *std::max_element(wall.begin(), wall.end());
  t.cpu = Median(cpu);
  return t;
}

int Make(const std::string& folder, size_t count) {
  if (!MakeNewFolder(folder)) return Fail("cannot make " + folder);
  std::string error;
  if (!WriteCorpus(folder, count, &error)) return Fail(error);

  // Measuring the wrong pages would be worse than measuring none: check that
  // the tool lists them in order and finds exactly the titles they were given.
  const PageList list = ListPages(folder);
  if (list.pages.size() != count || !list.left_out.empty()) {
    return Fail("listed " + std::to_string(list.pages.size()) + " of " + std::to_string(count));
  }
  size_t titled = 0;
  long bytes = 0;
  for (size_t i = 0; i < count; ++i) {
    if (list.pages[i] != CorpusPageName(i)) return Fail("out of order: " + list.pages[i]);
    const std::optional<std::string> title = ReadPageTitle(folder + "/" + list.pages[i]);
    if (!title || *title != CorpusPageTitle(i)) return Fail("wrong title in " + list.pages[i]);
    if (!title->empty()) ++titled;
    bytes += FileSize(folder + "/" + list.pages[i]);
  }
  std::printf("made pages=%zu titled=%zu bytes=%ld\n", count, titled, bytes);
  return 0;
}

int Floor(const std::string& folder, size_t reps) {
  const std::vector<std::string> pages = ListPages(folder).pages;
  if (pages.empty()) return Fail("no pages in " + folder);
  size_t bytes = 0;
  const Timing t = TimeRuns(reps, [&] { bytes = ReadAllPages(folder, pages); });
  std::printf("floor pages=%zu reps=%zu median_s=%.4f min_s=%.4f max_s=%.4f cpu_s=%.4f "
              "bytes=%zu peak_rss_kib=%ld\n",
              pages.size(), reps, t.median, t.min, t.max, t.cpu, bytes, PeakResidentKiB());
  return 0;
}

int Write(const std::string& folder, size_t reps) {
  const double list_start = NowSeconds();
  const std::vector<std::string> pages = ListPages(folder).pages;
  const double list_s = NowSeconds() - list_start;
  if (pages.empty()) return Fail("no pages in " + folder);
  bool ok = true;
  // Each writer's own share, to tell which one costs what.
  // The page names are read and their entries made once, shared by the
  // contents and the index, as the convert command does; both count towards
  // the contents' share.
  std::vector<double> stage[3];
  const Timing t = TimeRuns(reps, [&] {
    const double t0 = NowSeconds();
    const std::vector<std::string> names = ReadPageNames(folder, pages);
    const EncodedPageEntries entries = EncodePageEntries(pages, names);
    ok = WriteContentsFile(folder, entries) && ok;
    const double t1 = NowSeconds();
    ok = WriteIndexFile(folder, entries) && ok;
    const double t2 = NowSeconds();
    ok = WriteProjectFile(folder, pages, kBookTitle) && ok;
    const double t3 = NowSeconds();
    for (auto [k, s] : {std::pair{0, t1 - t0}, {1, t2 - t1}, {2, t3 - t2}}) stage[k].push_back(s);
  });
  if (!ok) return Fail("a source file could not be written in " + folder);
  std::printf("write pages=%zu reps=%zu median_s=%.4f min_s=%.4f max_s=%.4f cpu_s=%.4f "
              "contents_s=%.4f index_s=%.4f project_s=%.4f list_s=%.4f "
              "hhc_bytes=%ld hhk_bytes=%ld hhp_bytes=%ld peak_rss_kib=%ld\n",
              pages.size(), reps, t.median, t.min, t.max, t.cpu, Median(stage[0]),
              Median(stage[1]), Median(stage[2]), list_s,
              FileSize(folder + "/" + kContentsFileName), FileSize(folder + "/" + kIndexFileName),
              FileSize(folder + "/" + kProjectFileName), PeakResidentKiB());
  return 0;
}

int GbkLinks(const std::string& from, const std::string& to) {
  if (!MakeNewFolder(to)) return Fail("cannot make " + to);
  const std::vector<std::string> pages = ListPages(from).pages;
  if (pages.empty()) return Fail("no pages in " + from);
  for (const std::string& name : pages) {
    const std::string target = to + "/" + Utf8ToCodePage(name, kCodePage936);
    if (!HardLink(from + "/" + name, target)) return Fail("cannot link " + name);
  }
  for (const char* source : {kContentsFileName, kIndexFileName, kProjectFileName}) {
    if (!HardLink(from + "/" + source, to + "/" + source)) {
      return Fail(std::string("cannot link ") + source + " (make it with --keep-sources first)");
    }
  }
  std::printf("linked pages=%zu\n", pages.size());
  return 0;
}

// The pages under ASCII names ("page12.txt" for "第12页.txt"), in the same order.
int AsciiLinks(const std::string& from, const std::string& to) {
  if (!MakeNewFolder(to)) return Fail("cannot make " + to);
  const std::vector<std::string> pages = ListPages(from).pages;
  if (pages.empty()) return Fail("no pages in " + from);
  for (const std::string& name : pages) {
    std::string digits;
    for (char c : name) {
      if (c >= '0' && c <= '9') digits.push_back(c);
    }
    const std::string target = to + "/page" + digits + ".txt";
    if (!HardLink(from + "/" + name, target)) return Fail("cannot link " + name);
  }
  std::printf("linked pages=%zu\n", pages.size());
  return 0;
}

// A page as the book holds it: its name and where its bytes start.
struct StoredPage {
  std::string name;
  LONGUINT64 start = 0;
};

int EnumeratePage(chmFile*, chmUnitInfo* unit, void* context) {
  const std::string name = unit->path;
  const std::string suffix = ".txt";
  if (unit->space == CHM_COMPRESSED && name.size() > suffix.size() &&
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
    static_cast<std::vector<StoredPage>*>(context)->push_back({name, unit->start});
  }
  return CHM_ENUMERATOR_CONTINUE;
}

int ReadBack(const std::string& book_path, size_t reps) {
  chmFile* book = chm_open(book_path.c_str());
  if (book == nullptr) return Fail("chmlib cannot open " + book_path);
  std::vector<StoredPage> pages;
  chm_enumerate(book, CHM_ENUMERATE_ALL, EnumeratePage, &pages);
  // In the order the book holds them, as the check reads them.
  std::sort(pages.begin(), pages.end(),
            [](const StoredPage& a, const StoredPage& b) { return a.start < b.start; });
  bool found = !pages.empty();
  std::uint64_t bytes = 0;
  std::vector<unsigned char> buffer;
  const Timing lookup = TimeRuns(reps, [&] {
    for (const StoredPage& page : pages) {
      chmUnitInfo unit;
      found = chm_resolve_object(book, page.name.c_str(), &unit) == CHM_RESOLVE_SUCCESS && found;
    }
  });
  const Timing read = TimeRuns(reps, [&] {
    bytes = 0;
    for (const StoredPage& page : pages) {
      chmUnitInfo unit;
      if (chm_resolve_object(book, page.name.c_str(), &unit) != CHM_RESOLVE_SUCCESS) continue;
      buffer.resize(static_cast<size_t>(unit.length));
      bytes += static_cast<std::uint64_t>(chm_retrieve_object(book, &unit, buffer.data(), 0, unit.length));
    }
  });
  chm_close(book);
  if (!found) return Fail("chmlib cannot find every page of " + book_path);
  std::printf("read-back pages=%zu reps=%zu lookup_s=%.4f lookup_read_s=%.4f lookup_read_cpu_s=%.4f "
              "bytes=%llu\n",
              pages.size(), reps, lookup.median, read.median, read.cpu, static_cast<unsigned long long>(bytes));
  return 0;
}

int Run(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  size_t n = 0;
  if (argc == 4 && args[1] == "make" && ParseCount(argv[3], &n)) return Make(args[2], n);
  if (argc == 4 && args[1] == "floor" && ParseCount(argv[3], &n)) return Floor(args[2], n);
  if (argc == 4 && args[1] == "write" && ParseCount(argv[3], &n)) return Write(args[2], n);
  if (argc == 4 && args[1] == "gbk-links") return GbkLinks(args[2], args[3]);
  if (argc == 4 && args[1] == "ascii-links") return AsciiLinks(args[2], args[3]);
  if (argc == 4 && args[1] == "read-back" && ParseCount(argv[3], &n)) return ReadBack(args[2], n);
  std::fprintf(stderr,
               "usage: inkbinder-bench make FOLDER COUNT | floor FOLDER REPS | "
               "write FOLDER REPS | gbk-links FROM TO | ascii-links FROM TO | read-back BOOK REPS\n");
  return 2;
}

}  // namespace
}  // namespace inkbinder::bench

int main(int argc, char** argv) { return inkbinder::bench::Run(argc, argv); }
