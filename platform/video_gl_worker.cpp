// The gl device's render thread: a queue of jobs run in posting order, with
// sequence numbers so the device can wait for any job it posted.
#include "platform/video_gl_worker_internal.h"

#include <pthread.h>
#include <time.h>

void GlWorker::start(Job enter) {
  quit_ = false;
  thread_ = std::thread([this, enter = std::move(enter)] { loop(enter); });
  handle_ = thread_.native_handle();
}

void GlWorker::loop(const Job& enter) {
  enter();
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
    if (jobs_.empty()) break;  // quit with nothing left
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    lock.lock();
    ++finished_;
    done_.notify_all();
  }
}

std::uint64_t GlWorker::post(Job job) {
  std::lock_guard lock(mutex_);
  ++posted_;
  // Once stopped nothing would run it: dropped as done, so no caller waits
  // forever for it.
  if (ended_) {
    finished_ = posted_;
    return posted_;
  }
  jobs_.push_back(std::move(job));
  wake_.notify_one();
  return posted_;
}

void GlWorker::wait(std::uint64_t seq) {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this, seq] { return finished_ >= seq; });
}

bool GlWorker::done(std::uint64_t seq) {
  std::lock_guard lock(mutex_);
  return finished_ >= seq;
}

void GlWorker::stop(Job leave) {
  if (!thread_.joinable()) return;
  call(std::move(leave));
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    wake_.notify_one();
  }
  thread_.join();
  std::lock_guard lock(mutex_);
  ended_ = true;
}

double GlWorker::cpu_seconds() {
  clockid_t id;
  timespec ts{};
  if (!thread_.joinable() || pthread_getcpuclockid(handle_, &id) != 0) return 0;
  clock_gettime(id, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}
