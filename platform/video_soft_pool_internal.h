// Internal to platform/: the soft device's worker threads. A job is a count
// of independent pieces (the frame's bands) that the workers and the calling
// thread take one at a time until none is left; run returns once all are
// done, so everything the pieces wrote is visible to the caller.
#pragma once
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class SoftPool {
 public:
  using Piece = void (*)(void* context, int piece);

  // `threads` counts the caller: threads - 1 workers are started.
  explicit SoftPool(int threads);
  ~SoftPool();
  SoftPool(const SoftPool&) = delete;
  SoftPool& operator=(const SoftPool&) = delete;

  int threads() const { return static_cast<int>(workers_.size()) + 1; }
  void run(int pieces, Piece piece, void* context);

 private:
  void work();
  void take_pieces(std::unique_lock<std::mutex>& lock);

  // All under the mutex. A worker late to wake finds nothing left and
  // sleeps again; the caller waits for pieces, not for workers.
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  bool stopping_ = false;
  Piece piece_ = nullptr;
  void* context_ = nullptr;
  int pieces_ = 0;
  int next_ = 0;      // the next piece not yet taken
  int finished_ = 0;  // pieces done
  std::vector<std::thread> workers_;
};

// Threads for a new soft device: SHOOTER_SOFT_THREADS when it holds 1 … 8,
// else the processors this process may run on, at most 8. A bad value is
// reported once.
int soft_default_threads();

struct PlatVideo;
// For tests and benchmarks: soft devices created from now on use `threads`
// threads and `bands` bands (0 for either: the default).
void soft_force_banding(int threads, int bands);
// The threads a soft device draws with; 0 for any other device.
int soft_threads(PlatVideo* video);
