// The built-in BMP writer (encoder 0): 1, 4, 8, 24 and 32 bits per pixel,
// uncompressed, bottom-up, with a 40-byte info header. Palette depths go
// through the NeuQuant quantiser. The file is written under a temporary name
// and renamed into place, so a failed save leaves no partial file behind.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "image/bmp_read.h"
#include "image/image_internal.h"
#include "image/neuquant.h"
#include "runtime/log.h"

namespace {
constexpr std::size_t kFileHeader = 14;
constexpr std::size_t kInfoHeader = 40;
constexpr std::size_t kFlushBytes = 1 << 20;

// A file under a temporary name next to the target, renamed over it on
// commit and removed otherwise.
class PendingFile {
 public:
  explicit PendingFile(const std::string& path) : path_(path) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      temp_ = path_ + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(counter++);
      fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ < 0 && errno != EEXIST) break;
    }
    created_ = fd_ >= 0;
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (created_ && !committed_) ::unlink(temp_.c_str());
  }
  bool is_open() const { return fd_ >= 0; }

  bool write(const std::uint8_t* data, std::size_t bytes) {
    while (bytes > 0) {
      ssize_t done = ::write(fd_, data, bytes);
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) return false;
      data += done;
      bytes -= static_cast<std::size_t>(done);
    }
    return true;
  }

  bool commit() {
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return false;
    committed_ = ::rename(temp_.c_str(), path_.c_str()) == 0;
    return committed_;
  }

 private:
  std::string path_;
  std::string temp_;
  int fd_ = -1;
  bool created_ = false;
  bool committed_ = false;
};

// Says why a picture could not be saved (errno of the failed call), once.
std::int32_t cannot_write(const char* path) {
  rt_log(kRtLogWarning, "image", "cannot write %s: %s; not saved", path, std::strerror(errno));
  return 0;
}

// Collects output and hands it to the file in large pieces.
class Output {
 public:
  explicit Output(PendingFile& file) : file_(file) { buffer_.reserve(kFlushBytes); }
  bool ok() const { return ok_; }
  void put(const std::uint8_t* data, std::size_t bytes) {
    if (!ok_) return;
    if (buffer_.size() + bytes > kFlushBytes) flush();
    if (bytes >= kFlushBytes) {
      ok_ = ok_ && file_.write(data, bytes);
      return;
    }
    buffer_.insert(buffer_.end(), data, data + bytes);
  }
  void flush() {
    if (ok_ && !buffer_.empty()) ok_ = file_.write(buffer_.data(), buffer_.size());
    buffer_.clear();
  }

 private:
  PendingFile& file_;
  std::vector<std::uint8_t> buffer_;
  bool ok_ = true;
};

void put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}

std::vector<std::uint8_t> headers(std::int32_t width, std::int32_t height, std::int32_t depth,
                                  std::uint32_t row_size, const ImgPalette* palette) {
  const std::uint32_t colours = depth <= 8 ? 1u << depth : 0;
  const std::uint32_t header_size =
      static_cast<std::uint32_t>(kFileHeader + kInfoHeader) + 4 * colours;
  const std::uint32_t image_size = row_size * static_cast<std::uint32_t>(height);
  std::vector<std::uint8_t> h(header_size, 0);
  h[0] = 'B';
  h[1] = 'M';
  put32(&h[2], header_size + image_size);
  put32(&h[10], header_size);
  put32(&h[14], kInfoHeader);
  put32(&h[18], static_cast<std::uint32_t>(width));
  put32(&h[22], static_cast<std::uint32_t>(height));
  put16(&h[26], 1);
  put16(&h[28], static_cast<std::uint32_t>(depth));
  put32(&h[34], image_size);
  for (std::uint32_t i = 0; palette && i < colours; ++i) {
    std::uint8_t* entry = &h[kFileHeader + kInfoHeader + 4 * i];
    for (int c = 0; c < 3; ++c) entry[c] = palette->bgra[i][c];
  }
  return h;
}

// The source: pixel memory of 24 or 32 bits with rows bottom-up (flag 2) or
// top-down. row(i) gives picture rows bottom first.
struct Source {
  const std::uint8_t* pixels;
  std::int32_t width, height, pitch, depth;
  bool bottom_up;
  const std::uint8_t* row(std::int32_t from_bottom) const {
    std::int32_t r = bottom_up ? from_bottom : height - 1 - from_bottom;
    return pixels + static_cast<std::ptrdiff_t>(r) * pitch;
  }
};

void write_true_colour(const Source& src, std::int32_t depth, std::uint32_t row_size, Output& out) {
  if (src.depth == depth && src.bottom_up && static_cast<std::uint32_t>(src.pitch) == row_size) {
    out.put(src.pixels, static_cast<std::size_t>(row_size) * src.height);
    return;
  }
  std::vector<std::uint8_t> line(row_size, 0);
  const int out_bytes = depth / 8;
  for (std::int32_t y = 0; y < src.height; ++y) {
    const std::uint8_t* s = src.row(y);
    for (std::int32_t x = 0; x < src.width; ++x) {
      std::uint8_t* d = &line[static_cast<std::size_t>(x) * out_bytes];
      for (int c = 0; c < 3; ++c)
        d[c] = src.depth == 32 ? img_over_white(s[x * 4 + c], s[x * 4 + 3]) : s[x * 3 + c];
      if (out_bytes == 4) d[3] = 0;
    }
    out.put(line.data(), line.size());
  }
}

// The pixels as B, G, R, A, picture rows bottom first.
std::vector<std::uint8_t> widen(const Source& src) {
  std::vector<std::uint8_t> all(static_cast<std::size_t>(src.width) * src.height * 4);
  for (std::int32_t y = 0; y < src.height; ++y) {
    const std::uint8_t* s = src.row(y);
    std::uint8_t* d = &all[static_cast<std::size_t>(y) * src.width * 4];
    if (src.depth == 32) {
      std::memcpy(d, s, static_cast<std::size_t>(src.width) * 4);
      continue;
    }
    for (std::int32_t x = 0; x < src.width; ++x) {
      std::memcpy(d + x * 4, s + x * 3, 3);
      d[x * 4 + 3] = 255;
    }
  }
  return all;
}
}  // namespace

std::int32_t img_bmp_write(const char* path, const std::uint8_t* pixels, std::int32_t width,
                           std::int32_t height, std::int32_t pitch, std::int32_t pixel_depth,
                           std::int32_t flags, std::int32_t quality, std::int32_t depth) {
  if (depth != 1 && depth != 4 && depth != 8 && depth != 24 && depth != 32) return 0;
  if (!path || !*path || !pixels || width <= 0 || height <= 0) return 0;
  if ((pixel_depth != 24 && pixel_depth != 32) || pitch < img_row_pitch(width, pixel_depth))
    return 0;
  // Rows hold every bit of their pixels, padded to 4 bytes: the size readers
  // expect. (Rounding width/8 or width/2 down first would cut the last pixels
  // of widths like 33 at 1 bit or 9 at 4 bits.)
  const std::int64_t row_size = img_dib_stride(width, depth);
  const std::int64_t total = row_size * height + 54 + 4 * 256;
  if (row_size <= 0 || total > UINT32_MAX) return 0;
  const Source src{pixels, width, height, pitch, pixel_depth, (flags & kImgDecodeBottomUp) != 0};

  ImgPalette palette;
  std::vector<std::uint8_t> indices;
  if (depth <= 8) {
    std::vector<std::uint8_t> bgra = widen(src);
    palette = img_neuquant(bgra, 1 << depth);
    indices = img_map_palette(bgra, width, height, palette, (quality & kImgQualityDither) != 0);
  }

  std::string native(path);
  for (char& c : native)
    if (c == '\\') c = '/';
  PendingFile file(native);
  if (!file.is_open()) return cannot_write(path);
  Output out(file);
  std::vector<std::uint8_t> head = headers(
      width, height, depth, static_cast<std::uint32_t>(row_size), depth <= 8 ? &palette : nullptr);
  out.put(head.data(), head.size());
  if (depth > 8) {
    write_true_colour(src, depth, static_cast<std::uint32_t>(row_size), out);
  } else {
    std::vector<std::uint8_t> line(static_cast<std::size_t>(row_size));
    const int per_byte = 8 / depth;
    for (std::int32_t y = 0; y < height; ++y) {
      std::fill(line.begin(), line.end(), 0);
      const std::uint8_t* row = &indices[static_cast<std::size_t>(y) * width];
      for (std::int32_t x = 0; x < width; ++x)
        line[x / per_byte] |= static_cast<std::uint8_t>(row[x] << (8 - depth * (1 + x % per_byte)));
      out.put(line.data(), line.size());
    }
  }
  out.flush();
  return out.ok() && file.commit() ? 1 : cannot_write(path);
}
