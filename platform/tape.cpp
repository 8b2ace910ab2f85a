// The tape at the seam: the recorder, which folds each read into runs of
// records, and the player, which hands the recorded values back in the same
// order, paces them, checks the game's state checksums and times the frames.
#include "platform/tape.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/clock.h"
#include "platform/input_keys.h"
#include "platform/log.h"
#include "platform/tape_seam_internal.h"

namespace {

constexpr std::uint64_t k100nsPerSecond = 10'000'000ull;
// A longer wait on the recorded clock (a pause left standing) is cut short.
constexpr std::uint64_t kLongestWait = 5 * k100nsPerSecond;

const char* const kChannelNames[kTapeChannels] = {"the clock", "the tick",    "the keyboard",
                                                  "the mouse", "the pointer", "a quit",
                                                  "a close",   "a checkpoint"};

// The values the layers above have seen so far, one per channel.
struct SeamValues {
  std::uint64_t time = 0;
  std::uint32_t ticks = 0;
  PlatKeyState keys{};
  PlatMouseState mouse{};
  int x = 0, y = 0;
  bool quit = false, close = false;
  std::uint64_t key_stamp = 0;
};

struct Recorder {
  std::FILE* file = nullptr;
  std::string path;
  TapeHeader header;
  std::vector<std::uint8_t> stream;
  TapeItem pending;
  bool has_pending = false;
};

struct Player {
  std::string path;
  TapeHeader header;
  std::vector<std::uint8_t> stream;
  std::size_t pos = 0;
  TapeItem item;
  std::uint32_t left = 0;  // reads the current record still answers
  bool ended = false;
  bool stopped = false;  // by the user, live
  bool unpaced = false;
  bool paced_once = false;
  std::uint64_t base_tape = 0, base_real = 0;
  std::vector<std::uint64_t> poll_times;  // real clock at each frame
};

std::atomic<PlatTapeMode> g_mode{PlatTapeMode::Off};
std::thread::id g_owner;
PlatTapeStateHook g_hook = nullptr;
SeamValues g_seen;
Recorder g_rec;
Player g_play;
std::uint32_t g_frames = 0;
std::uint32_t g_checks_passed = 0;
std::uint32_t g_drift_frame = 0;

std::uint64_t real_100ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * k100nsPerSecond +
         static_cast<std::uint64_t>(ts.tv_nsec) / 100ull;
}

std::uint8_t button_bits(const PlatMouseState& m) {
  std::uint8_t bits = 0;
  for (int i = 0; i < 4; ++i)
    if (m.buttons[i]) bits |= static_cast<std::uint8_t>(1u << i);
  return bits;
}

std::uint32_t state_checksum() {
  return g_hook ? g_hook() : 0;
}

// --- recording ---

void flush_pending() {
  if (g_rec.has_pending) tape_encode_item(g_rec.pending, g_rec.stream);
  g_rec.has_pending = false;
}

// A read that repeats the channel's value extends the open run.
void note(TapeItem item, bool repeats) {
  if (repeats && g_rec.has_pending && g_rec.pending.channel == item.channel) {
    ++g_rec.pending.run;
    return;
  }
  flush_pending();
  item.run = 1;
  g_rec.pending = item;
  g_rec.has_pending = true;
}

void note_keys(const PlatKeyState& keys) {
  TapeItem item;
  item.channel = TapeChannel::Keys;
  for (int k = 0; k < kPlatKeyCount; ++k)
    if ((keys[k] != 0) != (g_seen.keys[k] != 0))
      item.changes[item.change_count++] = static_cast<std::uint8_t>(k);
  if (item.change_count) {
    const std::uint64_t now = plat_time_untaped_100ns();
    item.stamp = now - g_seen.key_stamp;
    g_seen.key_stamp = now;
  }
  note(item, item.change_count == 0);
  for (int k = 0; k < kPlatKeyCount; ++k) g_seen.keys[k] = keys[k] ? kPlatKeyDown : 0;
}

void note_mouse(const PlatMouseState& m) {
  TapeItem item;
  item.channel = TapeChannel::Mouse;
  item.dx = m.dx;
  item.dy = m.dy;
  item.wheel = m.wheel;
  item.buttons = button_bits(m);
  const bool repeats = m.dx == g_seen.mouse.dx && m.dy == g_seen.mouse.dy &&
                       m.wheel == g_seen.mouse.wheel && item.buttons == button_bits(g_seen.mouse);
  note(item, repeats);
  g_seen.mouse = m;
  ++g_frames;
  if (g_frames % kTapeCheckInterval != 0) return;
  flush_pending();
  TapeItem check;
  check.channel = TapeChannel::Check;
  check.check = state_checksum();
  tape_encode_item(check, g_rec.stream);
  ++g_rec.header.checks;
}

bool write_tape() {
  flush_pending();
  g_rec.header.frames = g_frames;
  const std::vector<std::uint8_t> file = tape_build_file(g_rec.header, g_rec.stream);
  const bool ok =
      !file.empty() && std::fwrite(file.data(), 1, file.size(), g_rec.file) == file.size();
  const bool closed = std::fclose(g_rec.file) == 0;
  g_rec.file = nullptr;
  if (!ok || !closed) plat_tape_say(g_rec.path + ": could not be written completely");
  return ok && closed;
}

// --- playback ---

void sleep_100ns(std::uint64_t d) {
  timespec ts{static_cast<time_t>(d / k100nsPerSecond),
              static_cast<long>(d % k100nsPerSecond) * 100};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

// Holds the playback back until the recorded moment of `tape_time` is due.
void pace(std::uint64_t tape_time) {
  Player& p = g_play;
  if (p.unpaced) return;
  const std::uint64_t now = real_100ns();
  if (!p.paced_once) {
    p.paced_once = true;
    p.base_tape = tape_time;
    p.base_real = now;
    return;
  }
  if (tape_time <= p.base_tape) return;
  const std::uint64_t due = p.base_real + (tape_time - p.base_tape);
  if (due <= now) return;
  const std::uint64_t wait = std::min(due - now, kLongestWait);
  p.base_real -= (due - now) - wait;
  sleep_100ns(wait);
}

void apply(const TapeItem& item) {
  SeamValues& v = g_seen;
  switch (item.channel) {
    case TapeChannel::Time:
      v.time += static_cast<std::uint64_t>(item.delta);
      pace(v.time);
      break;
    case TapeChannel::Ticks:
      v.ticks += static_cast<std::uint32_t>(item.delta);
      break;
    case TapeChannel::Keys:
      for (int i = 0; i < item.change_count; ++i) v.keys[item.changes[i]] ^= kPlatKeyDown;
      if (item.change_count) pace(v.key_stamp += item.stamp);
      break;
    case TapeChannel::Mouse:
      v.mouse = PlatMouseState{item.dx, item.dy, item.wheel, {}};
      for (int i = 0; i < 4; ++i) v.mouse.buttons[i] = (item.buttons >> i) & 1 ? kPlatKeyDown : 0;
      break;
    case TapeChannel::Pointer:
      v.x = item.x;
      v.y = item.y;
      break;
    case TapeChannel::Quit:
      v.quit = item.flag;
      break;
    case TapeChannel::Close:
      v.close = item.flag;
      break;
    case TapeChannel::Check:
      break;
  }
}

// The game reads on past the tape's end or in another order than recorded:
// from now on it sees Escape held and a close request, so it ends itself.
void end_playback(const std::string& why) {
  if (!g_play.ended) {
    plat_tape_say(g_play.path + ": " + why + "; the game is ended");
    if (!g_drift_frame) g_drift_frame = g_frames ? g_frames : 1;
  }
  g_play.ended = true;
  g_seen.keys[DIK_ESCAPE] = kPlatKeyDown;
  g_seen.quit = g_seen.close = true;
  g_seen.mouse = PlatMouseState{};
}

// Moves the playback to the next read, which must be of `channel`.
void advance(TapeChannel channel) {
  Player& p = g_play;
  if (p.ended) return;
  if (p.left == 0) {
    if (p.pos >= p.stream.size()) {
      end_playback("the game goes on past the end of the tape at frame " +
                   std::to_string(g_frames));
      return;
    }
    tape_decode_item(p.stream, p.pos, p.item);  // checked when loaded
    if (p.item.channel != channel) {
      end_playback("drift at frame " + std::to_string(g_frames) + ": the game reads " +
                   kChannelNames[static_cast<int>(channel)] + " where the tape holds " +
                   kChannelNames[static_cast<int>(p.item.channel)]);
      return;
    }
    p.left = p.item.run;
    apply(p.item);
  }
  --p.left;
}

void check_state() {
  Player& p = g_play;
  TapeItem item;
  if (p.ended || !tape_decode_item(p.stream, p.pos, item) || item.channel != TapeChannel::Check)
    return;
  if (item.check == state_checksum()) {
    ++g_checks_passed;
  } else if (!g_drift_frame) {
    g_drift_frame = g_frames;
    plat_tape_warn(p.path + ": drift at frame " + std::to_string(g_frames) +
                   ": the game state differs from the recording");
  }
}

void play_mouse(PlatMouseState& m) {
  advance(TapeChannel::Mouse);
  m = g_seen.mouse;
  g_play.poll_times.push_back(real_100ns());
  ++g_frames;
  if (g_frames % kTapeCheckInterval == 0) check_state();
}

void settle_playback() {
  Player& p = g_play;
  if (p.ended || (p.left == 0 && p.pos >= p.stream.size())) return;
  if (p.stopped) {
    plat_tape_warn(p.path + ": playback stopped at frame " + std::to_string(g_frames) + " of " +
                   std::to_string(p.header.frames));
    return;
  }
  if (!g_drift_frame) g_drift_frame = g_frames ? g_frames : 1;
  plat_tape_warn(p.path + ": drift: the game ended at frame " + std::to_string(g_frames) +
                 ", the tape goes on to frame " + std::to_string(p.header.frames));
}

void at_exit() {
  plat_tape_finish();
}

void start(PlatTapeMode mode) {
  g_owner = std::this_thread::get_id();
  g_seen = SeamValues{};
  g_frames = g_checks_passed = g_drift_frame = 0;
  static const bool registered = std::atexit(at_exit) == 0;
  (void)registered;
  g_mode = mode;
}

}  // namespace

bool plat_tape_record(const char* path, const char* program, const char* version,
                      std::uint32_t seed, std::string& why) {
  plat_tape_finish();
  std::FILE* file = std::fopen(path, "wb");
  if (!file) {
    why = std::string("cannot create the file: ") + std::strerror(errno);
    return false;
  }
  g_rec = Recorder{};
  g_rec.file = file;
  g_rec.path = path;
  g_rec.header.program = program;
  g_rec.header.version = version;
  g_rec.header.seed = seed;
  start(PlatTapeMode::Record);
  return true;
}

TapeError plat_tape_play(const char* path, const char* program, bool unpaced, std::string& why) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    why = std::string("cannot open the file: ") + std::strerror(errno);
    return TapeError::Unreadable;
  }
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[1 << 16];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + n);
    if (bytes.size() > kTapeRawMax) break;
  }
  const bool read_error = std::ferror(file) != 0;
  std::fclose(file);
  if (read_error) return why = "the file cannot be read", TapeError::Unreadable;
  Player player;
  const TapeError error = tape_read_file(bytes, program, player.header, player.stream, why);
  if (error != TapeError::None) return error;
  plat_tape_finish();
  player.path = path;
  player.unpaced = unpaced;
  g_play = std::move(player);
  start(unpaced ? PlatTapeMode::Timedemo : PlatTapeMode::Play);
  return TapeError::None;
}

PlatTapeMode plat_tape_mode() {
  return g_mode;
}

void plat_tape_set_state_hook(PlatTapeStateHook hook) {
  g_hook = hook;
}

void plat_tape_finish() {
  const PlatTapeMode mode = g_mode.exchange(PlatTapeMode::Off);
  if (mode == PlatTapeMode::Record && g_rec.file) write_tape();
  if (mode == PlatTapeMode::Play || mode == PlatTapeMode::Timedemo) settle_playback();
}

PlatTapeReport plat_tape_report() {
  PlatTapeReport r{
      g_frames, g_play.header.frames, g_checks_passed, g_play.header.checks, g_drift_frame, 0, 0,
      0};
  const std::vector<std::uint64_t>& t = g_play.poll_times;
  if (t.size() < 2) return r;
  std::vector<std::uint64_t> frame(t.size() - 1);
  for (std::size_t i = 1; i < t.size(); ++i) frame[i - 1] = t[i] - t[i - 1];
  std::sort(frame.begin(), frame.end());
  r.seconds = static_cast<double>(t.back() - t.front()) / k100nsPerSecond;
  r.median_ms = static_cast<double>(frame[frame.size() / 2]) / 1e4;
  r.p99_ms = static_cast<double>(frame[std::min(frame.size() - 1, frame.size() * 99 / 100)]) / 1e4;
  return r;
}

void plat_tape_say(const std::string& message) {
  plat_log(PlatLogLevel::Error, "tape", "%s", message.c_str());
}

void plat_tape_warn(const std::string& message) {
  plat_log(PlatLogLevel::Warning, "tape", "%s", message.c_str());
}

// --- the seam ---

bool tape_seam_on() {
  return g_mode.load(std::memory_order_relaxed) != PlatTapeMode::Off &&
         std::this_thread::get_id() == g_owner;
}

bool tape_seam_unpaced() {
  return g_mode.load(std::memory_order_relaxed) == PlatTapeMode::Timedemo;
}

namespace {
bool recording() {
  return g_mode.load(std::memory_order_relaxed) == PlatTapeMode::Record;
}

// A counter read through the tape: its change is kept as a signed delta of
// the counter's own width, so a wrapping tick count records a small step.
template <typename Counter>
Counter seam_counter(TapeChannel channel, Counter& seen, Counter live) {
  if (!tape_seam_on()) return live;
  if (!recording()) return advance(channel), seen;
  TapeItem item;
  item.channel = channel;
  item.delta = static_cast<std::make_signed_t<Counter>>(live - seen);
  note(item, live == seen);
  return seen = live;
}
}  // namespace

std::uint64_t tape_seam_time(std::uint64_t live) {
  return seam_counter(TapeChannel::Time, g_seen.time, live);
}

std::uint32_t tape_seam_ticks(std::uint32_t live) {
  return seam_counter(TapeChannel::Ticks, g_seen.ticks, live);
}

void tape_seam_keys(PlatKeyState& keys) {
  if (!tape_seam_on()) return;
  if (recording()) return note_keys(keys);
  advance(TapeChannel::Keys);
  keys = g_seen.keys;
}

void tape_seam_mouse(PlatMouseState& mouse) {
  if (!tape_seam_on()) return;
  if (recording()) return note_mouse(mouse);
  play_mouse(mouse);
}

void tape_seam_pointer(int& x, int& y) {
  if (!tape_seam_on()) return;
  if (!recording()) {
    advance(TapeChannel::Pointer);
    x = g_seen.x;
    y = g_seen.y;
    return;
  }
  TapeItem item;
  item.channel = TapeChannel::Pointer;
  item.x = x;
  item.y = y;
  note(item, x == g_seen.x && y == g_seen.y);
  g_seen.x = x;
  g_seen.y = y;
}

namespace {
bool seam_flag(TapeChannel channel, bool& seen, bool live) {
  if (!tape_seam_on()) return live;
  if (!recording()) {
    advance(channel);
    // Closing the window or Ctrl-C ends a playback too.
    if (live && !seen) g_play.stopped = true;
    return seen || live;
  }
  TapeItem item;
  item.channel = channel;
  item.flag = live;
  note(item, live == seen);
  return seen = live;
}
}  // namespace

bool tape_seam_quit(bool live) {
  return seam_flag(TapeChannel::Quit, g_seen.quit, live);
}

bool tape_seam_close(bool live) {
  return seam_flag(TapeChannel::Close, g_seen.close, live);
}

std::uint32_t tape_seam_seed(std::uint32_t live) {
  if (!tape_seam_on()) return live;
  return recording() ? g_rec.header.seed : g_play.header.seed;
}
