// Starts n threads that wait for one another before running their body, so
// the bodies really overlap; returns when all have finished.
#pragma once
#include <atomic>
#include <thread>
#include <vector>

template <typename F>
void on_threads(int n, F body) {
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < n; ++t)
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      body(t);
    });
  go = true;
  for (auto& th : threads) th.join();
}
