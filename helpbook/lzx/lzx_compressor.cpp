#include "helpbook/lzx/lzx_compressor.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "helpbook/lzx/lzx_interval_encoder.h"

namespace helpbook {

namespace {

// One reset interval on its way through the workers.
struct Job {
  std::vector<std::uint8_t> input;
  std::vector<std::uint8_t> output;
  std::vector<std::uint32_t> frame_offsets;
  std::exception_ptr error;  // what the worker threw, thrown again on the caller's thread
  bool taken = false;
  bool done = false;
};

}  // namespace

struct LzxSectionCompressor::Impl {
  LzxSettings settings;
  Sink sink;
  std::size_t interval_bytes = 0;
  std::vector<std::uint8_t> filling;
  std::uint64_t uncompressed = 0;
  std::uint64_t compressed = 0;
  std::vector<std::uint64_t> frame_offsets;
  bool failed = false;
  bool finished = false;

  // Single-threaded: the caller's thread compresses.
  std::unique_ptr<lzx::IntervalEncoder> own_encoder;

  // Several threads: jobs in input order; the caller writes finished ones out
  // from the front, so the sink sees intervals in order and on one thread.
  std::mutex mutex;
  std::condition_variable work_ready;  // to workers
  std::condition_variable job_done;    // to the caller
  std::deque<std::unique_ptr<Job>> jobs;
  std::size_t max_jobs = 0;
  bool stopping = false;
  std::vector<std::thread> workers;

  void Work() {
    std::unique_ptr<lzx::IntervalEncoder> encoder;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      Job* job = nullptr;
      work_ready.wait(lock, [&] {
        if (stopping) return true;
        for (auto& j : jobs) {
          if (!j->taken) {
            job = j.get();
            return true;
          }
        }
        return false;
      });
      if (job == nullptr) return;
      job->taken = true;
      lock.unlock();
      // An exception must not end the program from this thread (out of
      // memory, say): the caller gets it with the job, as if it had compressed.
      try {
        if (!encoder) encoder = std::make_unique<lzx::IntervalEncoder>(settings.window_bits);
        encoder->Encode(job->input.data(), job->input.size(), &job->output, &job->frame_offsets);
      } catch (...) {
        job->error = std::current_exception();
        encoder.reset();  // its state is unknown now
      }
      std::vector<std::uint8_t>().swap(job->input);
      lock.lock();
      job->done = true;
      job_done.notify_all();
    }
  }

  void Deliver(const std::vector<std::uint8_t>& output, const std::vector<std::uint32_t>& offsets) {
    if (failed) return;
    for (std::uint32_t offset : offsets) frame_offsets.push_back(compressed + offset);
    if (!output.empty() && !sink(output.data(), output.size())) {
      failed = true;
      return;
    }
    compressed += output.size();
  }

  // Caller's thread, lock held: hands finished intervals at the front to the sink.
  void DeliverFinished(std::unique_lock<std::mutex>& lock) {
    while (!jobs.empty() && jobs.front()->done) {
      std::unique_ptr<Job> job = std::move(jobs.front());
      jobs.pop_front();
      if (job->error) std::rethrow_exception(job->error);
      lock.unlock();
      Deliver(job->output, job->frame_offsets);
      lock.lock();
    }
  }

  void Submit(std::vector<std::uint8_t> input) {
    if (workers.empty()) {
      if (!own_encoder) own_encoder = std::make_unique<lzx::IntervalEncoder>(settings.window_bits);
      std::vector<std::uint8_t> output;
      std::vector<std::uint32_t> offsets;
      own_encoder->Encode(input.data(), input.size(), &output, &offsets);
      Deliver(output, offsets);
      return;
    }
    auto job = std::make_unique<Job>();
    job->input = std::move(input);
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      DeliverFinished(lock);
      if (jobs.size() < max_jobs) break;
      job_done.wait(lock, [&] { return jobs.front()->done; });
    }
    jobs.push_back(std::move(job));
    work_ready.notify_one();
  }

  void Drain() {
    if (workers.empty()) return;
    std::unique_lock<std::mutex> lock(mutex);
    while (!jobs.empty()) {
      job_done.wait(lock, [&] { return jobs.front()->done; });
      DeliverFinished(lock);
    }
  }

  void StopWorkers() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    work_ready.notify_all();
    for (auto& t : workers) t.join();
    workers.clear();
  }
};

LzxSectionCompressor::LzxSectionCompressor(const LzxSettings& settings, Sink sink) : impl_(new Impl) {
  if (settings.window_bits < 15 || settings.window_bits > 21) {
    throw std::invalid_argument("LZX window bits must lie between 15 and 21");
  }
  if (settings.reset_interval_frames == 0) throw std::invalid_argument("LZX reset interval must be at least one frame");
  impl_->settings = settings;
  impl_->sink = std::move(sink);
  impl_->interval_bytes = std::size_t{settings.reset_interval_frames} * kLzxFrameSize;
  unsigned threads = settings.threads;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  impl_->settings.threads = threads;
  if (threads > 1) {
    // Two intervals per worker keep every core busy while the sink writes.
    impl_->max_jobs = 2 * std::size_t{threads};
    for (unsigned i = 0; i < threads; ++i) impl_->workers.emplace_back([this] { impl_->Work(); });
  }
}

LzxSectionCompressor::~LzxSectionCompressor() { impl_->StopWorkers(); }

bool LzxSectionCompressor::Write(const std::uint8_t* data, std::size_t size) {
  Impl& d = *impl_;
  if (d.finished) throw std::logic_error("LZX section compressor written to after Finish");
  while (size > 0 && !d.failed) {
    if (d.filling.capacity() < d.interval_bytes) d.filling.reserve(d.interval_bytes);
    const std::size_t take = std::min(size, d.interval_bytes - d.filling.size());
    d.filling.insert(d.filling.end(), data, data + take);
    data += take;
    size -= take;
    d.uncompressed += take;
    if (d.filling.size() == d.interval_bytes) d.Submit(std::exchange(d.filling, {}));
  }
  return !d.failed;
}

bool LzxSectionCompressor::Finish() {
  Impl& d = *impl_;
  if (!d.finished) {
    d.finished = true;
    if (!d.filling.empty() && !d.failed) d.Submit(std::exchange(d.filling, {}));
    d.Drain();
    d.StopWorkers();
  }
  return !d.failed;
}

std::uint64_t LzxSectionCompressor::UncompressedSize() const { return impl_->uncompressed; }
std::uint64_t LzxSectionCompressor::CompressedSize() const { return impl_->compressed; }
const std::vector<std::uint64_t>& LzxSectionCompressor::FrameOffsets() const { return impl_->frame_offsets; }
const LzxSettings& LzxSectionCompressor::Settings() const { return impl_->settings; }

}  // namespace helpbook
