// Internal to platform/: the gl device's render thread. It owns the OpenGL
// context and runs every GL call, in the order the device posts them, so
// the caller's thread only records quads: a frame's driver work (vertex
// processing and binning, which llvmpipe does on the submitting thread)
// overlaps the game's next frame instead of stalling it.
#pragma once
#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class GlWorker {
 public:
  using Job = std::function<void()>;
  // Starts the thread; `enter` runs first on it (making the context current).
  void start(Job enter);
  // Runs `job` on the thread after everything posted before; returns at once.
  // The number identifies the job for wait().
  std::uint64_t post(Job job);
  // Waits until the job numbered `seq` (and all before it) has run.
  void wait(std::uint64_t seq);
  // Runs `job` on the thread and waits for it.
  void call(Job job) { wait(post(std::move(job))); }
  // Runs `job` once nothing posted is waiting, or once it has waited
  // kIdleWait behind a queue that never empties, in the order of these
  // posts; returns a number for promote(), never 0.
  std::uint64_t post_idle(Job job);
  static constexpr std::chrono::milliseconds kIdleWait{100};
  // Moves an idle job that has not started behind everything posted so
  // far. One that has started or run is left as it is.
  void promote(std::uint64_t idle);
  // Runs `leave` last on the thread, then ends it; idle jobs not started
  // and jobs posted later are dropped.
  void stop(Job leave);
  bool running() const { return thread_.joinable(); }
  // CPU time the thread has used, in seconds (for measurements).
  double cpu_seconds();

 private:
  void loop(const Job& enter);

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::deque<Job> jobs_;
  struct IdleJob {
    std::uint64_t id;
    std::chrono::steady_clock::time_point since;
    Job job;
  };
  std::deque<IdleJob> idle_;
  std::uint64_t idle_posted_ = 0;
  std::uint64_t posted_ = 0, finished_ = 0;
  bool quit_ = false;
  bool ended_ = false;  // stopped: posts are dropped
  pthread_t handle_{};
};
