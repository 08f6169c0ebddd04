#include "helpbook/page_read_ahead.h"

#include <cstdio>
#include <system_error>
#include <utility>

#include "platform/files.h"

namespace helpbook {

PageReadAhead::PageReadAhead(const std::vector<std::string>& paths, unsigned threads)
    : paths_(paths), slots_(kPagesAhead) {
  for (unsigned i = 0; i < threads && i < paths_.size(); ++i) {
    try {
      readers_.emplace_back([this] { Read(); });
    } catch (const std::system_error&) {
      break;  // no thread to be had: fewer readers, or the compile reads every page itself
    }
  }
}

PageReadAhead::~PageReadAhead() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  room_.notify_all();
  for (std::thread& t : readers_) t.join();
}

bool PageReadAhead::ReadPage(const std::string& path, Slot* slot) {
  std::uint64_t size = 0;
  std::FILE* f = inkbinder::OpenRegularFile(path, &size);
  if (f == nullptr) return false;
  // Size 0 may be a file that does not know its size (under /proc): the
  // compile reads those to their end itself.
  bool whole = size > 0 && size <= kLargestPage;
  if (whole) {
    slot->bytes.resize(static_cast<std::size_t>(size));
    whole = std::fread(slot->bytes.data(), 1, slot->bytes.size(), f) == slot->bytes.size();
  }
  std::fclose(f);
  if (!whole) {
    std::string().swap(slot->bytes);
    return false;
  }
  slot->digest.Add(slot->bytes.data(), slot->bytes.size());
  return true;
}

void PageReadAhead::Read() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // The slot is free once the page kPagesAhead before is taken.
    room_.wait(lock, [&] { return stopping_ || (next_ < paths_.size() && next_ < taken_ + kPagesAhead); });
    if (stopping_) return;
    const std::size_t index = next_++;
    Slot& slot = slots_[index % kPagesAhead];
    slot.state = State::kReading;
    slot.index = index;
    lock.unlock();
    // A reader that cannot allocate leaves the page to the caller.
    Slot read;
    bool whole = false;
    try {
      whole = ReadPage(paths_[index], &read);
    } catch (...) {
      whole = false;
    }
    lock.lock();
    if (whole) {
      slot.bytes = std::move(read.bytes);
      slot.digest = read.digest;
    }
    slot.state = whole ? State::kRead : State::kLeft;
    ready_.notify_all();
  }
}

bool PageReadAhead::Take(std::size_t index, std::string* bytes, PageDigest* digest) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (index >= paths_.size() || index != taken_ || readers_.empty()) return false;
  Slot& slot = slots_[index % kPagesAhead];
  ready_.wait(lock, [&] {
    return slot.index == index && (slot.state == State::kRead || slot.state == State::kLeft);
  });
  const bool read = slot.state == State::kRead;
  if (read) {
    *bytes = std::move(slot.bytes);
    *digest = slot.digest;
  }
  std::string().swap(slot.bytes);
  slot.state = State::kFree;
  taken_ = index + 1;
  lock.unlock();
  room_.notify_all();
  return read;
}

}  // namespace helpbook
