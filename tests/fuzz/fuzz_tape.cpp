// Fuzzes the tape reader over memory: header checks, unpacking and the walk
// over every record, then a decode of each record as playback does it.
#include "platform/tape_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 20) return 0;
  TapeHeader header;
  std::vector<std::uint8_t> stream;
  std::string why;
  const std::span<const std::uint8_t> file(data, size);
  if (tape_read_file(file, nullptr, header, stream, why) != TapeError::None) return 0;
  TapeItem item;
  for (std::size_t pos = 0; pos < stream.size();)
    if (!tape_decode_item(stream, pos, item)) __builtin_trap();  // accepted, so it must decode
  return 0;
}
