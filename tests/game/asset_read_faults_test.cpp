// Asset reads broken off at every byte offset, by an I/O error or an early
// end of file: a picture, the font's sheet and the music each load as
// missing (a zero handle), and nothing is left behind on the heap or in the
// object tables.
#include <filesystem>

#include "engine/objects_internal.h"
#include "image/image.h"
#include "platform/files.h"
#include "runtime/heap.h"
#include "runtime/objects.h"
#include "sound/sound_internal.h"
#include "tests/game/game_fixture.h"

using namespace game_test;

namespace {
long file_size(const char* path) {
  return static_cast<long>(std::filesystem::file_size(plat_find_file(path)));
}

// Loads `path` with its reads broken off at each offset `offsets` gives for
// the kind of fault. A load broken off before `whole_from` must fail; any
// load must leave the heap and the object tables as they were once its
// element is freed. Returns how many loads still gave an element.
template <typename Load, typename Offsets>
int break_reads(const char* path, const char* suffix, Load load, Offsets offsets,
                long must_fail_below) {
  // The music's background decode may end meanwhile and free its blocks:
  // the count may fall, never grow.
  std::size_t blocks = rt_heap_block_count(rt_main_heap);
  const int images = live_objects(img_objects()), sounds = live_objects(snd_table());
  int tried = 0, loaded = 0, wrong = 0;
  for (PlatFileFault kind : {PlatFileFault::Fails, PlatFileFault::EndsEarly}) {
    offsets(kind, [&](long at) {
      plat_files_inject_fault(suffix, at, kind);
      const bool got = load(path);
      plat_files_inject_fault(nullptr, 0, PlatFileFault::None);
      ++tried;
      loaded += got;
      const std::size_t now = rt_heap_block_count(rt_main_heap);
      if ((got && at < must_fail_below) || now > blocks) {
        if (++wrong <= 5)
          ADD_FAILURE() << path << " read broken off at " << at << ": " << now - blocks
                        << " blocks more";
      }
      blocks = std::min(blocks, now);
    });
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(live_objects(img_objects()), images);
  EXPECT_EQ(live_objects(snd_table()), sounds);
  EXPECT_TRUE(load(path)) << "the whole file loads";  // the stand-in is gone again
  std::printf("%s: %d broken reads, %d of them gave a partly read element\n", path, tried, loaded);
  return loaded;
}

bool texture_loads(const char* path) {
  TextureRecord* t = eng_texture_load_file(path, false);
  if (t) eng_texture_remove(t);
  return t != nullptr;
}

bool music_loads(const char* path) {
  const RtHandle h = snd_load(-1, path);
  if (h) snd_free(h);
  return h != 0;
}

// Every offset; `fail_step` thins out the I/O errors, which reach the
// readers the same way as an early end.
auto offsets_up_to(long size, long fail_step = 1) {
  return [=](PlatFileFault kind, auto each) {
    const long step = kind == PlatFileFault::Fails ? fail_step : 1;
    for (long at = 0; at < size; at += step) each(at);
  };
}

// A PNG read broken off inside its signature or header chunk gives no
// picture; later, the image keeps whatever rows were read.
constexpr long kPngHeaderBytes = 8 + 25;
}  // namespace

TEST_F(GameTest, PictureAndFontReadsBrokenOffAnywhereLoadAsMissingOrPartial) {
  const long ship = file_size("GFX\\Ship01.png");
  break_reads("GFX\\Ship01.png", "GFX/Ship01.png", texture_loads, offsets_up_to(ship),
              kPngHeaderBytes);
  const long font = file_size("GFX\\Font1.png");
  break_reads("GFX\\Font1.png", "GFX/Font1.png", texture_loads, offsets_up_to(font, 16),
              kPngHeaderBytes);
}

// The music is read whole before it decodes: every offset of its first
// 64 KB (the headers and first pages), then one in every 4093 to the end.
TEST_F(GameTest, MusicReadBrokenOffAnywhereLoadsAsMissing) {
  const long size = file_size("Sound\\New2.OGG");
  const int loaded = break_reads(
      "Sound\\New2.OGG", "Sound/New2.OGG", music_loads,
      [size](PlatFileFault, auto each) {
        for (long at = 0; at < size; at += at < 65536 ? 1 : 4093) each(at);
        each(size - 1);
      },
      size);
  EXPECT_EQ(loaded, 0);
}
