// Encoding of the tape: little-endian header, a zlib-packed stream of
// records with variable-length numbers, and the checks that let a reader
// trust a file before it plays a single frame.
#include "platform/tape_format.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr int kRunBits = 5;
constexpr std::uint32_t kRunInline = 1u << kRunBits;  // runs below this sit in the tag
constexpr int kVarintMaxBytes = 10;
// Deflate cannot pack more tightly than about 1032 to 1.
constexpr std::uint32_t kDeflateMaxRatio = 1100;

void put_varint(std::uint64_t v, std::vector<std::uint8_t>& out) {
  while (v >= 0x80) {
    out.push_back(static_cast<std::uint8_t>(v | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<std::uint8_t>(v));
}

void put_signed(std::int64_t v, std::vector<std::uint8_t>& out) {
  put_varint((static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63), out);
}

void put_u32(std::uint32_t v, std::vector<std::uint8_t>& out) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Reads from a span without ever passing its end.
struct Reader {
  std::span<const std::uint8_t> data;
  std::size_t pos = 0;
  bool ok = true;

  std::uint8_t byte() {
    if (pos >= data.size()) {
      ok = false;
      return 0;
    }
    return data[pos++];
  }
  std::uint64_t varint() {
    std::uint64_t v = 0;
    for (int i = 0; i < kVarintMaxBytes; ++i) {
      const std::uint8_t b = byte();
      v |= static_cast<std::uint64_t>(b & 0x7f) << (7 * i);
      if ((b & 0x80) == 0) return v;
    }
    ok = false;
    return 0;
  }
  std::int64_t signed_varint() {
    const std::uint64_t z = varint();
    return static_cast<std::int64_t>(z >> 1) ^ -static_cast<std::int64_t>(z & 1);
  }
  std::int32_t int32() {
    const std::int64_t v = signed_varint();
    if (v < INT32_MIN || v > INT32_MAX) ok = false;
    return static_cast<std::int32_t>(v);
  }
  std::uint32_t u32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(byte()) << (8 * i);
    return v;
  }
  std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | (byte() << 8)); }
  std::string text() {
    const std::size_t n = byte();
    if (n > kTapeNameMax || data.size() - pos < n) {
      ok = false;
      return {};
    }
    std::string s(reinterpret_cast<const char*>(data.data() + pos), n);
    pos += n;
    return s;
  }
};

void decode_payload(Reader& r, TapeItem& item) {
  switch (item.channel) {
    case TapeChannel::Time:
    case TapeChannel::Ticks:
      item.delta = r.signed_varint();
      break;
    case TapeChannel::Keys: {
      const std::uint64_t n = r.varint();
      if (n > item.changes.size()) r.ok = false;
      item.change_count = r.ok ? static_cast<std::uint16_t>(n) : 0;
      item.stamp = item.change_count ? r.varint() : 0;
      for (int i = 0; i < item.change_count; ++i) item.changes[i] = r.byte();
      break;
    }
    case TapeChannel::Mouse:
      item.dx = r.int32();
      item.dy = r.int32();
      item.wheel = r.int32();
      item.buttons = r.byte();
      if (item.buttons > 0x0f) r.ok = false;
      break;
    case TapeChannel::Pointer:
      item.x = r.int32();
      item.y = r.int32();
      break;
    case TapeChannel::Quit:
    case TapeChannel::Close: {
      const std::uint8_t b = r.byte();
      if (b > 1) r.ok = false;
      item.flag = b == 1;
      break;
    }
    case TapeChannel::Check:
      item.check = r.u32();
      if (item.run != 1) r.ok = false;
      break;
  }
}

void put_header(const TapeHeader& h, std::uint32_t stored, std::vector<std::uint8_t>& out) {
  out.insert(out.end(), kTapeMagic.begin(), kTapeMagic.end());
  out.push_back(static_cast<std::uint8_t>(kTapeVersion & 0xff));
  out.push_back(static_cast<std::uint8_t>(kTapeVersion >> 8));
  for (const std::string* s : {&h.program, &h.version}) {
    const std::size_t n = std::min(s->size(), kTapeNameMax);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), s->begin(), s->begin() + static_cast<std::ptrdiff_t>(n));
  }
  for (std::uint32_t v : {h.seed, h.frames, h.checks, h.raw_size, stored, h.crc}) put_u32(v, out);
}

// Walks every record, checking each and counting frames and checkpoints.
bool validate_stream(std::span<const std::uint8_t> stream, const TapeHeader& h, std::string& why) {
  std::size_t pos = 0;
  std::uint64_t frames = 0, checks = 0;
  bool check_due = false;
  TapeItem item;
  while (pos < stream.size()) {
    if (!tape_decode_item(stream, pos, item)) {
      why = "record at byte " + std::to_string(pos) + " of the stream is damaged";
      return false;
    }
    const bool is_check = item.channel == TapeChannel::Check;
    if (check_due != is_check) {
      why = "checkpoint out of place after frame " + std::to_string(frames);
      return false;
    }
    check_due = false;
    if (is_check) ++checks;
    if (item.channel != TapeChannel::Mouse) continue;
    // A run of identical frames ends at each checkpoint.
    const std::uint64_t to_next = kTapeCheckInterval - frames % kTapeCheckInterval;
    if (item.run > to_next) {
      why = "frames run past the checkpoint after frame " + std::to_string(frames + to_next);
      return false;
    }
    frames += item.run;
    check_due = frames % kTapeCheckInterval == 0;
  }
  if (frames != h.frames || checks != h.checks || check_due) {
    why = "the header counts " + std::to_string(h.frames) + " frames and " +
          std::to_string(h.checks) + " checkpoints, the records hold " + std::to_string(frames) +
          " and " + std::to_string(checks);
    return false;
  }
  return true;
}

}  // namespace

void tape_encode_item(const TapeItem& item, std::vector<std::uint8_t>& out) {
  const std::uint32_t run = item.run ? item.run : 1;
  const auto channel = static_cast<std::uint8_t>(item.channel);
  out.push_back(static_cast<std::uint8_t>(channel << kRunBits | (run < kRunInline ? run : 0)));
  if (run >= kRunInline) put_varint(run, out);
  switch (item.channel) {
    case TapeChannel::Time:
    case TapeChannel::Ticks:
      put_signed(item.delta, out);
      break;
    case TapeChannel::Keys:
      put_varint(item.change_count, out);
      if (item.change_count) put_varint(item.stamp, out);
      out.insert(out.end(), item.changes.begin(), item.changes.begin() + item.change_count);
      break;
    case TapeChannel::Mouse:
      put_signed(item.dx, out);
      put_signed(item.dy, out);
      put_signed(item.wheel, out);
      out.push_back(item.buttons);
      break;
    case TapeChannel::Pointer:
      put_signed(item.x, out);
      put_signed(item.y, out);
      break;
    case TapeChannel::Quit:
    case TapeChannel::Close:
      out.push_back(item.flag ? 1 : 0);
      break;
    case TapeChannel::Check:
      put_u32(item.check, out);
      break;
  }
}

bool tape_decode_item(std::span<const std::uint8_t> stream, std::size_t& pos, TapeItem& item) {
  Reader r{stream, pos};
  const std::uint8_t tag = r.byte();
  if (!r.ok) return false;
  item.channel = static_cast<TapeChannel>(tag >> kRunBits);
  const std::uint64_t run = (tag & (kRunInline - 1)) ? (tag & (kRunInline - 1)) : r.varint();
  if (run == 0 || run > UINT32_MAX) return false;
  item.run = static_cast<std::uint32_t>(run);
  decode_payload(r, item);
  if (!r.ok) return false;
  pos = r.pos;
  return true;
}

std::vector<std::uint8_t> tape_build_file(TapeHeader header, std::span<const std::uint8_t> stream) {
  header.raw_size = static_cast<std::uint32_t>(stream.size());
  header.crc =
      static_cast<std::uint32_t>(crc32(0L, stream.data(), static_cast<uInt>(stream.size())));
  uLongf packed_size = compressBound(static_cast<uLong>(stream.size()));
  std::vector<std::uint8_t> packed(packed_size);
  if (compress2(packed.data(), &packed_size, stream.data(), static_cast<uLong>(stream.size()),
                Z_BEST_COMPRESSION) != Z_OK)
    return {};
  std::vector<std::uint8_t> out;
  put_header(header, static_cast<std::uint32_t>(packed_size), out);
  out.insert(out.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed_size));
  return out;
}

TapeError tape_read_file(std::span<const std::uint8_t> file, const char* program, TapeHeader& h,
                         std::vector<std::uint8_t>& stream, std::string& why) {
  if (file.empty()) return why = "the file is empty", TapeError::Empty;
  if (file.size() < kTapeMagic.size() ||
      std::memcmp(file.data(), kTapeMagic.data(), kTapeMagic.size()) != 0)
    return why = "not a tape (no tape signature at the start)", TapeError::Magic;
  Reader r{file, kTapeMagic.size()};
  const std::uint16_t version = r.u16();
  if (r.ok && version != kTapeVersion)
    return why = "tape format version " + std::to_string(version) + ", this program reads " +
                 std::to_string(kTapeVersion),
           TapeError::Version;
  h.program = r.text();
  h.version = r.text();
  h.seed = r.u32();
  h.frames = r.u32();
  h.checks = r.u32();
  h.raw_size = r.u32();
  const std::uint32_t stored = r.u32();
  h.crc = r.u32();
  if (!r.ok) return why = "the file ends inside the header", TapeError::Truncated;
  if (program && h.program != program)
    return why = "recorded by " + (h.program.empty() ? "an unnamed program" : h.program) +
                 ", not by " + program,
           TapeError::Program;
  if (h.raw_size > kTapeRawMax)
    return why = "the header claims " + std::to_string(h.raw_size) + " bytes of records",
           TapeError::Counts;
  const std::size_t left = file.size() - r.pos;
  if (h.raw_size == 0) return why = "the tape holds no records", TapeError::Counts;
  if (h.raw_size / kDeflateMaxRatio > stored)
    return why = "the header claims more records than " + std::to_string(stored) +
                 " packed bytes can hold",
           TapeError::Counts;
  if (stored > left)
    return why = "the header counts " + std::to_string(stored) +
                 " bytes of records, the file has " + std::to_string(left),
           TapeError::Truncated;
  if (stored < left)
    return why = std::to_string(left - stored) + " bytes after the end of the records",
           TapeError::Counts;
  stream.assign(h.raw_size, 0);
  uLongf out_size = h.raw_size;
  const int z = uncompress(stream.data(), &out_size, file.data() + r.pos, stored);
  if (z != Z_OK || out_size != h.raw_size)
    return why = "the packed records do not unpack to the size the header gives",
           TapeError::Corrupt;
  if (crc32(0L, stream.data(), static_cast<uInt>(stream.size())) != h.crc)
    return why = "checksum mismatch: the records are not those that were written",
           TapeError::Checksum;
  if (!validate_stream(stream, h, why)) return TapeError::Corrupt;
  return TapeError::None;
}
