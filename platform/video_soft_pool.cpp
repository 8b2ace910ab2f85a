// The soft device's worker threads: they sleep until a job comes, take its
// pieces one at a time with the calling thread, and report when through.
#include "platform/video_soft_pool_internal.h"

#include <sched.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int kMostThreads = 8;
}  // namespace

SoftPool::SoftPool(int threads) {
  threads = threads < 1 ? 1 : (threads > kMostThreads ? kMostThreads : threads);
  for (int i = 1; i < threads; ++i) {
    try {
      workers_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      break;  // fewer threads: the caller draws the rest
    }
  }
}

SoftPool::~SoftPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void SoftPool::take_pieces(std::unique_lock<std::mutex>& lock) {
  while (next_ < pieces_) {
    const int mine = next_++;
    const Piece piece = piece_;
    void* const context = context_;
    lock.unlock();
    piece(context, mine);
    lock.lock();
    if (++finished_ == pieces_) done_.notify_all();
  }
}

void SoftPool::run(int pieces, Piece piece, void* context) {
  if (workers_.empty() || pieces <= 1) {
    for (int i = 0; i < pieces; ++i) piece(context, i);
    return;
  }
  std::unique_lock lock(mutex_);
  piece_ = piece;
  context_ = context;
  pieces_ = pieces;
  next_ = 0;
  finished_ = 0;
  wake_.notify_all();
  take_pieces(lock);
  done_.wait(lock, [this] { return finished_ == pieces_; });
}

void SoftPool::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || next_ < pieces_; });
    if (stopping_) return;
    take_pieces(lock);
  }
}

int soft_default_threads() {
  static const int threads = [] {
    cpu_set_t set;
    int cores = 1;
    if (sched_getaffinity(0, sizeof set, &set) == 0) cores = CPU_COUNT(&set);
    cores = cores < 1 ? 1 : (cores > kMostThreads ? kMostThreads : cores);
    const char* env = std::getenv("SHOOTER_SOFT_THREADS");
    if (env == nullptr) return cores;
    char* end = nullptr;
    const long n = std::strtol(env, &end, 10);
    if (end != env && *end == '\0' && n >= 1 && n <= kMostThreads) return static_cast<int>(n);
    std::fprintf(stderr,
                 "SHOOTER_SOFT_THREADS=%s is not a number from 1 to %d; the soft renderer "
                 "uses %d threads\n",
                 env, kMostThreads, cores);
    return cores;
  }();
  return threads;
}
