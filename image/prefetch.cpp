// Pictures decoded ahead: a thread of its own reads and decodes named files
// while the caller does other work (the game opens its screen meanwhile), and
// the first load of each name takes the finished picture instead of reading
// the file. A file that gives any message is left for that load to read
// again, so what it says comes once, from the load, as without the thread.
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "image/image_internal.h"

namespace {

struct Ahead {
  std::string name;
  ImgBitmap* bitmap = nullptr;  // owned until taken
  std::int32_t source_depth = 0;
  bool done = false;
};

class Prefetch {
 public:
  ~Prefetch() { end(); }

  void start(std::span<const char* const> names) {
    end();
    std::lock_guard lock(mutex_);
    for (const char* name : names)
      if (name && *name) files_.push_back(Ahead{.name = name});
    stop_ = false;
    if (!files_.empty()) thread_ = std::thread([this] { run(); });
  }

  // The finished picture of the first still untaken entry named `name`,
  // waiting for it if the thread has not reached it; null when there is
  // none or the file is left for the load to read.
  ImgBitmap* take(const char* name, std::int32_t* source_depth) {
    std::unique_lock lock(mutex_);
    for (Ahead& file : files_) {
      if (file.name != name) continue;
      done_.wait(lock, [&] { return file.done; });
      file.name.clear();  // a second load of the name reads the file
      ImgBitmap* bitmap = file.bitmap;
      file.bitmap = nullptr;
      *source_depth = file.source_depth;
      return bitmap;
    }
    return nullptr;
  }

  void end() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    if (thread_.joinable()) thread_.join();
    for (Ahead& file : files_) img_bitmap_destroy(file.bitmap);
    files_.clear();
  }

 private:
  void run() {
    for (std::size_t i = 0;; ++i) {
      std::string name;
      {
        std::lock_guard lock(mutex_);
        if (stop_ || i >= files_.size()) break;
        name = files_[i].name;
      }
      std::int32_t depth = 0;
      ImgBitmap* bitmap = img_decode_file_ahead(name.c_str(), &depth);
      std::lock_guard lock(mutex_);
      files_[i].bitmap = bitmap;
      files_[i].source_depth = depth;
      files_[i].done = true;
      done_.notify_all();
    }
    // Entries the thread did not reach (it was stopped) count as left.
    std::lock_guard lock(mutex_);
    for (Ahead& file : files_) file.done = true;
    done_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable done_;
  std::vector<Ahead> files_;  // fixed while the thread runs
  std::thread thread_;
  bool stop_ = false;
};

// Made on first use, so it is destroyed (and its thread joined) before the
// libraries the thread reads through.
Prefetch& prefetch() {
  static Prefetch instance;
  return instance;
}

}  // namespace

void img_prefetch(std::span<const char* const> names) {
  prefetch().start(names);
}

void img_prefetch_end() {
  prefetch().end();
}

ImgBitmap* img_prefetch_take(const char* name, std::int32_t* source_depth) {
  return name && *name ? prefetch().take(name, source_depth) : nullptr;
}
