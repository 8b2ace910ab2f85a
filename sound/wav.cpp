// The RIFF WAVE reader: finds the "fmt " chunk at its fixed place and walks
// the chunks after it to the first "data" chunk, checking every size against
// the end of the image.
#include <cstring>

#include "sound/sound.h"

namespace {
constexpr std::uint32_t kFmtOffset = 12;
constexpr std::uint32_t kFormatOffset = 20;

std::uint32_t le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool tag_is(const std::uint8_t* p, const char* tag) {
  return std::memcmp(p, tag, 4) == 0;
}
}  // namespace

bool snd_is_riff(std::span<const std::uint8_t> image) {
  return image.size() >= 4 && tag_is(image.data(), "RIFF");
}

bool snd_wav_parse(std::span<const std::uint8_t> image, SndWavInfo* info) {
  const std::uint64_t size = image.size();
  const std::uint8_t* p = image.data();
  if (!snd_is_riff(image) || size < kFormatOffset) return false;
  if (!tag_is(p + kFmtOffset, "fmt ")) return false;
  const std::uint32_t format_size = le32(p + 16);
  if (kFormatOffset + static_cast<std::uint64_t>(format_size) > size) return false;
  std::uint64_t at = kFormatOffset + static_cast<std::uint64_t>(format_size);
  // chunks follow each other without pad bytes, as the sizes say
  while (at + 8 <= size) {
    const std::uint32_t chunk = le32(p + at + 4);
    if (at + 8 + chunk > size) return false;
    if (tag_is(p + at, "data")) {
      info->format = p + kFormatOffset;
      info->format_size = format_size;
      info->data = p + at + 8;
      info->data_size = chunk;
      return true;
    }
    at += 8 + static_cast<std::uint64_t>(chunk);
  }
  return false;
}
