// The soak: the real game on the virtual clock and the soft device, without
// a display, under random mouse motion, button and key input (P, S and F,
// never Escape), its energy topped up so that it never ends. SOAK_FRAMES
// sets the length (10,000 by default); every 10,000 frames it prints the
// resident memory and the counts it checks.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>

#include "image/image.h"
#include "platform/input_keys.h"
#include "runtime/heap.h"
#include "runtime/objects.h"
#include "sound/sound_internal.h"
#include "tests/game/game_fixture.h"

using namespace game_test;

namespace {
constexpr int kReport = 10'000;
constexpr long kMemorySlack = 2 << 20;  // bytes
constexpr int kListBound = 5'000;       // far above what a game ever holds
constexpr int kKeyP = 25, kKeyS = 31, kKeyF = 33;

long resident_bytes() {
  long pages = 0, resident = 0;
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return -1;
  if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
  std::fclose(f);
  return resident * sysconf(_SC_PAGESIZE);
}

int largest_list() {
  int most = 0;
  for (const ListVar* v :
       {&g_lists.explosions, &g_lists.exhaust_particles, &g_lists.energy_particles, &g_lists.shots,
        &g_lists.enemies, &g_lists.spawn_markers})
    most = std::max(most, count(*v));
  return most;
}

// One frame of a restless player: the mouse always moving, the button
// pressed and let go, now and then a key tapped for one frame.
class RandomPlayer {
 public:
  explicit RandomPlayer(std::uint32_t seed) : rng_(seed) {}
  int screenshots = 0;
  void act() {
    for (int key : tapped_) plat_input_script_key(key, false);
    tapped_.clear();
    std::uniform_int_distribution<int> motion(-24, 24);
    plat_input_script_motion(motion(rng_), motion(rng_));
    if (chance(30)) plat_input_script_button(0, button_ = !button_);
    // Paused, the player soon goes on; running, pauses now and then.
    if (chance(g_game.paused ? 40 : 900)) tap(kKeyP);
    if (g_game.paused && chance(10)) {
      tap(kKeyS);
      ++screenshots;
    }
    if (chance(3'000)) tap(kKeyF);
  }

 private:
  bool chance(int one_in) { return std::uniform_int_distribution<int>(1, one_in)(rng_) == 1; }
  void tap(int key) {
    plat_input_script_key(key, true);
    tapped_.insert(key);
  }
  std::mt19937 rng_;
  bool button_ = false;
  std::set<int> tapped_;
};

int soak_frames() {
  const char* v = std::getenv("SOAK_FRAMES");
  const int n = v ? std::atoi(v) : 0;
  return n > 0 ? n : kReport;
}
}  // namespace

TEST_F(GameTest, SoakRunsWithoutEndingLeakingOrLeavingFiles) {
  const int frames = soak_frames();
  // Memory is compared from the point where the game has settled.
  const int settled = frames >= 10 * kReport ? kReport : frames / 2;
  ObjectTable* images = img_objects();
  ObjectTable* sounds = snd_table();
  const int images_at_start = live_objects(images);
  const int sounds_at_start = live_objects(sounds);
  // The fixture cleared the field; the game starts with its markers.
  for (int i = 0; i < g_start.markers; ++i)
    game_marker_spawn(static_cast<std::int8_t>(rt_random(2) + 1));
  RandomPlayer player(kSeed);
  long settled_bytes = 0;
  int most_entities = 0;
  std::size_t most_blocks = 0;
  for (int f = 1; f <= frames; ++f) {
    player.act();
    if (g_game.energy < 100) g_game.energy = 200;  // the test's hook: never the last ram
    ASSERT_TRUE(pass()) << "the game ended at frame " << f;
    most_entities = std::max(most_entities, largest_list());
    most_blocks = std::max(most_blocks, rt_heap_block_count(rt_main_heap));
    if (f == settled) settled_bytes = resident_bytes();
    if (f % kReport == 0 || f == frames) {
      std::printf("frame %7d: resident %6.1f MB, heap blocks %zu, largest list %d, score %d\n", f,
                  resident_bytes() / 1048576.0, rt_heap_block_count(rt_main_heap), largest_list(),
                  g_game.score);
      std::fflush(stdout);
    }
  }
  const long end_bytes = resident_bytes();
  std::printf("resident at frame %d: %.2f MB, at frame %d: %.2f MB\n", settled,
              settled_bytes / 1048576.0, frames, end_bytes / 1048576.0);
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer holds freed memory in quarantine: resident memory says
  // nothing here, its leak check at exit does.
#else
  EXPECT_LE(end_bytes - settled_bytes, kMemorySlack);
#endif
  EXPECT_EQ(live_objects(images), images_at_start);
  EXPECT_EQ(live_objects(sounds), sounds_at_start);
  EXPECT_LT(most_entities, kListBound);
  EXPECT_LT(most_blocks, std::size_t{200'000});
  EXPECT_GT(g_game.score, 0);  // the random player did hit something

  namespace fs = std::filesystem;
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(fs::current_path()))
    left.insert(entry.path().filename().string());
  left.erase("GFX");
  left.erase("Sound");
  std::printf("%d screenshots asked for\n", player.screenshots);
  const std::set<std::string> expected =
      player.screenshots > 0 ? std::set<std::string>{"Gamebild.png"} : std::set<std::string>{};
  EXPECT_EQ(left, expected);
}
