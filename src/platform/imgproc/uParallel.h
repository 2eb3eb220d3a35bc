#pragma once

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

// Runs fn(begin, end) over [0, count) split into contiguous ranges, one per
// core, on threads of its own (the application's thread pools stay free for
// their owners). Ranges below minChunk items are not split further. The first
// exception a range raises is passed on once every range has finished.
template <typename F> void ParallelRanges(int count, int minChunk, F &&fn) {
  if (count <= 0)
    return;
  const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  const int parts = std::clamp(count / std::max(1, minChunk), 1, cores);
  if (parts == 1) {
    fn(0, count);
    return;
  }
  std::vector<std::thread> threads;
  std::vector<std::exception_ptr> errors(static_cast<size_t>(parts));
  threads.reserve(static_cast<size_t>(parts - 1));
  auto run = [&](int part) {
    const int begin = static_cast<int>(static_cast<long long>(count) * part / parts);
    const int end = static_cast<int>(static_cast<long long>(count) * (part + 1) / parts);
    try {
      fn(begin, end);
    } catch (...) {
      errors[static_cast<size_t>(part)] = std::current_exception();
    }
  };
  for (int part = 1; part < parts; ++part) {
    try {
      threads.emplace_back(run, part);
    } catch (...) {
      run(part); // no thread to be had: do the range here
    }
  }
  run(0);
  for (auto &t : threads)
    t.join();
  for (auto &e : errors)
    if (e)
      std::rethrow_exception(e);
}
