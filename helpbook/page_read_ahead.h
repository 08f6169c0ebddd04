#pragma once
// Reads a compile's small pages ahead of it, on threads of their own: with
// 100,000 pages, opening and reading them one after another on the compile's
// own thread took longer than compressing them.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "helpbook/compile_help_book.h"

namespace helpbook {

class PageReadAhead {
 public:
  // Pages of at most this many bytes are read ahead; larger ones are
  // streamed by the compile as they always were. What is read ahead and not
  // yet compiled stays below 2 * kPagesAhead * kLargestPage, 8 MiB.
  static constexpr std::uint64_t kLargestPage = 64 * 1024;
  static constexpr std::size_t kPagesAhead = 64;
  // Pages a reader claims and hands over at once: a lock and a wake-up per
  // page cost more than reading a small page.
  static constexpr std::size_t kPagesPerBatch = 16;

  // Starts `threads` readers on the files at `paths` (UTF-8), in order.
  // `paths` must outlive the readers; a page's path may be moved away once
  // the page is taken.
  PageReadAhead(const std::vector<std::string>& paths, unsigned threads);
  // Stops the readers; pages not taken are dropped.
  ~PageReadAhead();
  PageReadAhead(const PageReadAhead&) = delete;
  PageReadAhead& operator=(const PageReadAhead&) = delete;

  // Page `index`'s bytes and their digest, once read: true. False when the
  // caller must read it itself: a large page, a file that is no regular
  // file or could not be read whole. Pages are taken (or passed over with
  // Take too) in order, each once.
  bool Take(std::size_t index, std::string* bytes, PageDigest* digest);

 private:
  enum class State { kFree, kReading, kRead, kLeft };
  // One of kPagesAhead, in turn: page i lies in slot i % kPagesAhead.
  struct Slot {
    State state = State::kFree;
    std::size_t index = 0;
    std::string bytes;
    PageDigest digest;
  };

  void Read();
  // Reads one page whole into `slot`; false leaves it to the caller.
  static bool ReadPage(const std::string& path, Slot* slot);

  const std::vector<std::string>& paths_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable room_;   // to the readers: a page was taken
  std::condition_variable ready_;  // to the caller: a page was read
  std::size_t next_ = 0;           // the next page a reader takes
  std::size_t freed_ = 0;          // pages whose slots the caller has emptied
  bool stopping_ = false;
  bool caller_waiting_ = false;
  unsigned readers_waiting_ = 0;
  std::vector<std::thread> readers_;
  // The caller's own, without the lock: pages taken from the slots in one
  // go, and how many pages it has been handed.
  std::deque<Slot> out_;
  std::size_t taken_by_caller_ = 0;
};

}  // namespace helpbook
