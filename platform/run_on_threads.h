// One piece of work on several threads at once, the caller's among them.
#pragma once

#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace inkbinder {

// Calls work(k) on `threads` threads, k = 0 on the caller's own. A thread
// that cannot be started leaves its share to the others. When a call
// throws, give_up() tells the others to stop taking work; once all have
// ended, the exception of the lowest k is thrown again on the caller's thread.
template <typename Work, typename GiveUp>
void RunOnThreads(unsigned threads, Work&& work, GiveUp&& give_up) {
  if (threads == 0) threads = 1;
  std::vector<std::exception_ptr> errors(threads);
  const auto run = [&](unsigned k) {
    try {
      work(k);
    } catch (...) {
      errors[k] = std::current_exception();
      give_up();
    }
  };
  std::vector<std::thread> helpers;
  helpers.reserve(threads - 1);
  for (unsigned k = 1; k < threads; ++k) {
    try {
      helpers.emplace_back(run, k);
    } catch (const std::system_error&) {
      break;  // no thread to be had: fewer of them
    }
  }
  run(0);
  for (std::thread& t : helpers) t.join();
  for (const std::exception_ptr& e : errors) {
    if (e) std::rethrow_exception(e);
  }
}

}  // namespace inkbinder
