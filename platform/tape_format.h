// The tape file: header, the record stream of seam reads and their encoding.
// Pure data work without SDL, so the reader can be fuzzed on its own.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

inline constexpr std::array<std::uint8_t, 8> kTapeMagic{'S', 'H', 'T', 'R', 'T', 'A', 'P', 'E'};
inline constexpr std::uint16_t kTapeVersion = 1;
inline constexpr std::size_t kTapeNameMax = 32;
// A day of play at 60 frames a second stays far below this.
inline constexpr std::uint32_t kTapeRawMax = 256u << 20;
inline constexpr int kTapeCheckInterval = 60;  // frames between state checksums

// What the layers above read through the seam, one record kind each.
enum class TapeChannel : std::uint8_t {
  Time = 0,     // the 100-ns counter
  Ticks = 1,    // the millisecond tick
  Keys = 2,     // the keyboard state
  Mouse = 3,    // a mouse poll; each one closes a frame
  Pointer = 4,  // the desktop pointer
  Quit = 5,     // a quit asked for outside the window
  Close = 6,    // the window's close request
  Check = 7,    // the game state checksum, after every 60th mouse poll
};
inline constexpr int kTapeChannels = 8;

// One record: `run` consecutive reads of one channel. The first read gets
// the new value, the others repeat it.
struct TapeItem {
  TapeChannel channel = TapeChannel::Time;
  std::uint32_t run = 1;
  std::int64_t delta = 0;          // Time, Ticks: change from the channel's previous value
  std::uint64_t stamp = 0;         // Keys with changes: clock delta since the previous change
  std::uint16_t change_count = 0;  // Keys: codes whose state flips (up and down)
  std::array<std::uint8_t, 256> changes{};
  std::int32_t dx = 0, dy = 0, wheel = 0;  // Mouse
  std::uint8_t buttons = 0;                // Mouse: bit n = button n held
  std::int32_t x = 0, y = 0;               // Pointer
  bool flag = false;                       // Quit, Close
  std::uint32_t check = 0;                 // Check
};

struct TapeHeader {
  std::string program;
  std::string version;
  std::uint32_t seed = 0;
  std::uint32_t frames = 0;
  std::uint32_t checks = 0;
  std::uint32_t raw_size = 0;
  std::uint32_t crc = 0;
};

// Appends one record to a stream.
void tape_encode_item(const TapeItem& item, std::vector<std::uint8_t>& out);
// Decodes the record at `pos` and moves past it; false on a malformed or cut
// record (pos is then left where it was).
bool tape_decode_item(std::span<const std::uint8_t> stream, std::size_t& pos, TapeItem& item);

// The whole file from a header and a record stream.
std::vector<std::uint8_t> tape_build_file(TapeHeader header, std::span<const std::uint8_t> stream);

enum class TapeError {
  None,
  Unreadable,
  Empty,
  Truncated,
  Magic,
  Version,
  Program,
  Counts,
  Checksum,
  Corrupt,
};
// Checks a whole file and unpacks its record stream: header fields, sizes
// against the file, the checksum, and every record, counting frames and
// checkpoints against the header. `program` null accepts any program.
// On failure `why` says what is wrong in plain words.
TapeError tape_read_file(std::span<const std::uint8_t> file, const char* program,
                         TapeHeader& header, std::vector<std::uint8_t>& stream, std::string& why);
