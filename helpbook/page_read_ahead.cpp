#include "helpbook/page_read_ahead.h"

#include <algorithm>
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
  inkbinder::RegularFileReader file;
  if (!file.Open(path)) return false;
  // Size 0 may be a file that does not know its size (under /proc): the
  // compile reads those to their end itself.
  const std::uint64_t size = file.size();
  bool whole = size > 0 && size <= kLargestPage;
  if (whole) {
    slot->bytes.resize(static_cast<std::size_t>(size));
    std::size_t got = 0;
    whole = file.Read(slot->bytes.data(), slot->bytes.size(), &got) && got == slot->bytes.size();
  }
  file.Close();
  if (!whole) {
    std::string().swap(slot->bytes);
    return false;
  }
  slot->digest.Add(slot->bytes.data(), slot->bytes.size());
  return true;
}

void PageReadAhead::Read() {
  Slot read[kPagesPerBatch];  // nothing allocated outside the reads, which may fail alone
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // A slot is free once the page kPagesAhead before it is taken.
    ++readers_waiting_;
    room_.wait(lock, [&] { return stopping_ || (next_ < paths_.size() && next_ < freed_ + kPagesAhead); });
    --readers_waiting_;
    if (stopping_) return;
    const std::size_t first = next_;
    const std::size_t end = std::min({paths_.size(), freed_ + kPagesAhead, first + kPagesPerBatch});
    next_ = end;
    for (std::size_t index = first; index < end; ++index) {
      slots_[index % kPagesAhead].state = State::kReading;
      slots_[index % kPagesAhead].index = index;
    }
    lock.unlock();
    bool whole[kPagesPerBatch] = {};
    for (std::size_t index = first; index < end; ++index) {
      Slot& page = read[index - first];
      // A reader that cannot allocate leaves the page to the caller.
      try {
        whole[index - first] = ReadPage(paths_[index], &page);
      } catch (...) {
        std::string().swap(page.bytes);
      }
    }
    lock.lock();
    for (std::size_t index = first; index < end; ++index) {
      Slot& slot = slots_[index % kPagesAhead];
      Slot& page = read[index - first];
      if (whole[index - first]) {
        slot.bytes = std::move(page.bytes);
        slot.digest = page.digest;
      }
      page = Slot();
      slot.state = whole[index - first] ? State::kRead : State::kLeft;
    }
    // A wake-up is a system call: only for a caller that waits.
    if (caller_waiting_) ready_.notify_one();
  }
}

bool PageReadAhead::Take(std::size_t index, std::string* bytes, PageDigest* digest) {
  if (index != taken_by_caller_ || index >= paths_.size() || readers_.empty()) return false;
  ++taken_by_caller_;
  if (out_.empty()) {
    // Everything read from the wanted page on, in one go under the lock.
    std::unique_lock<std::mutex> lock(mutex_);
    const auto ready = [&](std::size_t i) {
      const Slot& slot = slots_[i % kPagesAhead];
      return slot.index == i && (slot.state == State::kRead || slot.state == State::kLeft);
    };
    caller_waiting_ = true;
    ready_.wait(lock, [&] { return ready(index); });
    caller_waiting_ = false;
    for (std::size_t i = index; i < paths_.size() && ready(i); ++i) {
      Slot& slot = slots_[i % kPagesAhead];
      out_.emplace_back();
      out_.back().state = slot.state;
      out_.back().bytes = std::move(slot.bytes);
      out_.back().digest = slot.digest;
      slot.state = State::kFree;
      freed_ = i + 1;
    }
    const bool reader_waits = readers_waiting_ > 0;
    lock.unlock();
    if (reader_waits) room_.notify_all();
  }
  Slot page = std::move(out_.front());
  out_.pop_front();
  if (page.state != State::kRead) return false;
  *bytes = std::move(page.bytes);
  *digest = page.digest;
  return true;
}

}  // namespace helpbook
