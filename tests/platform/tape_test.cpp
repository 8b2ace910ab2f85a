// The tape through the seam in one process: reads recorded on the virtual
// clock and scripted input come back identically and in order on playback,
// runs fold repeated reads, checkpoints catch a changed state, and a game
// that reads past the tape or out of order is steered to its end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/tape.h"

namespace {

std::uint32_t g_state = 0;
std::uint32_t g_bias = 0;  // a change the recording did not have
std::uint32_t state_hook() {
  return g_state + g_bias;
}

struct Reads {
  std::vector<std::uint64_t> times;
  std::vector<std::uint32_t> ticks, seeds;
  std::vector<int> escape, left, dx;
  std::vector<bool> quits;

  bool operator==(const Reads&) const = default;
};

// One "frame" of a game: the reads in the order the engine makes them.
void frame(Reads& r, int n) {
  PlatKeyState keys{};
  plat_keyboard_read(keys);
  r.escape.push_back(keys[DIK_ESCAPE]);
  r.quits.push_back(plat_quit_requested());
  for (int i = 0; i < 3; ++i) r.ticks.push_back(plat_ticks_ms());  // repeated: one run
  PlatMouseState mouse{};
  plat_mouse_poll(mouse);
  r.dx.push_back(mouse.dx);
  r.left.push_back(mouse.buttons[0]);
  r.times.push_back(plat_time_100ns());
  g_state = static_cast<std::uint32_t>(n * 7);
}

// Drives 150 frames of scripted input; recording or playing, the same code.
Reads run_game(bool script) {
  Reads r;
  r.seeds.push_back(plat_random_seed());
  for (int n = 1; n <= 150; ++n) {
    if (script) {
      plat_input_script_motion(n % 5 - 2, 1);
      plat_input_script_button(0, n % 40 < 20);
      plat_input_script_key(DIK_P, n == 70);
    }
    plat_clock_advance_100ns(166'667 + n);
    frame(r, n);
  }
  return r;
}

std::vector<std::uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TapeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat_clock_use_virtual(3'600ull * 10'000'000ull);
    plat_input_use_scripted();
    plat_tape_set_state_hook(state_hook);
    g_bias = 0;
  }
  void TearDown() override {
    plat_tape_finish();
    plat_input_use_real();
    plat_clock_use_real();
    std::remove(path.c_str());
  }

  // Each test's own tape, removed after it.
  const std::string path = ::testing::TempDir() +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                           std::to_string(getpid()) + ".tape";

  Reads record(const std::string& path) {
    std::string why;
    EXPECT_TRUE(plat_tape_record(path.c_str(), "shooter", "test", 4242, why)) << why;
    Reads live = run_game(true);
    plat_tape_finish();
    return live;
  }

  void play(const std::string& path) {
    std::string why;
    ASSERT_EQ(plat_tape_play(path.c_str(), "shooter", true, why), TapeError::None) << why;
    // The live sources change under the playback; it must not see them.
    plat_clock_set_100ns(1);
    plat_input_use_scripted();
    plat_input_script_key(DIK_ESCAPE, true);
  }
};

TEST_F(TapeTest, PlaybackGivesEveryReadBackInOrderAndChecksEachCheckpoint) {
  const Reads live = record(path);
  EXPECT_EQ(live.seeds[0], 4242u);

  TapeHeader header;
  std::vector<std::uint8_t> stream;
  std::string why;
  ASSERT_EQ(tape_read_file(read_file(path), "shooter", header, stream, why), TapeError::None)
      << why;
  EXPECT_EQ(header.frames, 150u);
  EXPECT_EQ(header.checks, 2u);
  EXPECT_EQ(header.seed, 4242u);
  // The three tick reads of a frame fold into one record of a run of 3.
  int tick_records = 0;
  TapeItem item;
  for (std::size_t pos = 0; pos < stream.size();) {
    ASSERT_TRUE(tape_decode_item(stream, pos, item));
    if (item.channel != TapeChannel::Ticks) continue;
    ++tick_records;
    EXPECT_EQ(item.run, 3u);
  }
  EXPECT_EQ(tick_records, 150);

  play(path);
  const Reads played = run_game(false);
  const PlatTapeReport report = plat_tape_report();
  plat_tape_finish();
  EXPECT_TRUE(played == live);
  EXPECT_EQ(report.frames, 150u);
  EXPECT_EQ(report.checks_passed, 2u);
  EXPECT_EQ(report.drift_frame, 0u);
}

TEST_F(TapeTest, ChangedStateIsADriftAtItsCheckpoint) {
  record(path);
  play(path);
  Reads r;
  plat_random_seed();
  for (int n = 1; n <= 150; ++n) {
    frame(r, n);
    if (n == 100) g_bias = 1;  // differs from the recording at frame 120
  }
  const PlatTapeReport report = plat_tape_report();
  EXPECT_EQ(report.checks_passed, 1u);
  EXPECT_EQ(report.drift_frame, 120u);
}

TEST_F(TapeTest, ReadingPastTheEndOrOutOfOrderEndsTheGame) {
  record(path);
  play(path);
  Reads r;
  plat_random_seed();
  for (int n = 1; n <= 150; ++n) frame(r, n);
  EXPECT_EQ(r.escape.back(), 0);
  PlatKeyState keys{};
  plat_keyboard_read(keys);  // past the end
  EXPECT_EQ(keys[DIK_ESCAPE], kPlatKeyDown);
  EXPECT_TRUE(plat_quit_requested());
  EXPECT_EQ(plat_tape_report().drift_frame, 150u);
  plat_tape_finish();

  play(path);
  plat_random_seed();
  EXPECT_EQ(plat_ticks_ms(), 0u);  // the tape holds the keyboard first
  plat_keyboard_read(keys);
  EXPECT_EQ(keys[DIK_ESCAPE], kPlatKeyDown);
  EXPECT_EQ(plat_tape_report().drift_frame, 1u);
}

TEST_F(TapeTest, RecordingIntoAFolderThatIsNotThereFailsAndRecordsNothing) {
  std::string why;
  EXPECT_FALSE(plat_tape_record("/nonexistent-folder/x.tape", "shooter", "test", 1, why));
  EXPECT_NE(why.find("cannot create"), std::string::npos);
  EXPECT_EQ(plat_tape_mode(), PlatTapeMode::Off);
}

}  // namespace
