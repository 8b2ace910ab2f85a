// The soft device's scaled present: the back buffer into a larger window
// surface of the same pixel format, nearest texel centre, black bars around
// the letterbox. Rows are independent, so the device's threads share them.
#include "platform/video_soft_present_internal.h"

#include <algorithm>
#include <cstring>

namespace {

// The source index whose centre is nearest the centre of destination
// index d when `from` cells cover `to`: floor((d + ½) · from / to).
int nearest_cell(int d, int from, int to) {
  return static_cast<int>((2 * static_cast<std::int64_t>(d) + 1) * from / (2 * to));
}

}  // namespace

bool soft_scale_prepare(SoftScale* job, const std::uint32_t* src, int src_w, int src_h,
                        std::uint32_t* dst, int dst_pitch, int dst_w, int dst_h, PlatRect rect) {
  if (rect.width <= 0 || rect.height <= 0 || rect.x < 0 || rect.y < 0 ||
      rect.x + rect.width > dst_w || rect.y + rect.height > dst_h || dst_pitch < dst_w) {
    return false;
  }
  job->src = src;
  job->src_w = src_w;
  job->src_h = src_h;
  job->dst = dst;
  job->dst_pitch = dst_pitch;
  job->dst_w = dst_w;
  job->dst_h = dst_h;
  job->rect = rect;
  if (static_cast<int>(job->columns.size()) != rect.width || job->columns_from != src_w) {
    job->columns.resize(static_cast<std::size_t>(rect.width));
    for (int x = 0; x < rect.width; ++x) job->columns[x] = nearest_cell(x, src_w, rect.width);
    job->columns_from = src_w;
  }
  return true;
}

void soft_scale_rows(const SoftScale& job, int row_begin, int row_end) {
  const PlatRect r = job.rect;
  const std::size_t row_bytes = static_cast<std::size_t>(job.dst_w) * 4;
  const int* columns = job.columns.data();
  int last_source = -1;  // the source row of the row above, when it is in this call
  for (int y = row_begin; y < row_end; ++y) {
    std::uint32_t* out = job.dst + static_cast<std::size_t>(y) * job.dst_pitch;
    if (y < r.y || y >= r.y + r.height) {
      std::memset(out, 0, row_bytes);
      last_source = -1;
      continue;
    }
    std::fill(out, out + r.x, 0u);
    std::fill(out + r.x + r.width, out + job.dst_w, 0u);
    const int source = nearest_cell(y - r.y, job.src_h, r.height);
    if (source == last_source) {  // upscaled: the row above again
      std::memcpy(out + r.x, out - job.dst_pitch + r.x, static_cast<std::size_t>(r.width) * 4);
      continue;
    }
    const std::uint32_t* in = job.src + static_cast<std::size_t>(source) * job.src_w;
    std::uint32_t* o = out + r.x;
    for (int x = 0; x < r.width; ++x) o[x] = in[columns[x]];
    last_source = source;
  }
}
