// The gl device's render thread: a queue of jobs run in posting order, with
// sequence numbers so the device can wait for any job it posted, and a
// queue of jobs for the time the first one is empty. An idle job also runs
// once it has waited long enough: on a CPU driver the frames may keep the
// first queue full for good.
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
    wake_.wait(lock, [this] { return quit_ || !jobs_.empty() || !idle_.empty(); });
    if (jobs_.empty() && (quit_ || idle_.empty())) break;  // quit with nothing left
    const bool idle =
        !idle_.empty() &&
        (jobs_.empty() || std::chrono::steady_clock::now() - idle_.front().since >= kIdleWait);
    Job job = std::move(idle ? idle_.front().job : jobs_.front());
    if (idle)
      idle_.pop_front();
    else
      jobs_.pop_front();
    lock.unlock();
    job();
    lock.lock();
    if (idle) continue;
    ++finished_;
    done_.notify_all();
  }
}

std::uint64_t GlWorker::post_idle(Job job) {
  std::lock_guard lock(mutex_);
  const std::uint64_t id = ++idle_posted_;
  if (ended_) return id;
  idle_.push_back({id, std::chrono::steady_clock::now(), std::move(job)});
  wake_.notify_one();
  return id;
}

void GlWorker::promote(std::uint64_t idle) {
  std::lock_guard lock(mutex_);
  for (auto it = idle_.begin(); it != idle_.end(); ++it) {
    if (it->id != idle) continue;
    ++posted_;
    jobs_.push_back(std::move(it->job));
    idle_.erase(it);
    wake_.notify_one();
    return;
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

void GlWorker::stop(Job leave) {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    idle_.clear();  // nothing may run after `leave`
  }
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
