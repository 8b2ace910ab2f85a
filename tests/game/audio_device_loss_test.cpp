// The sound device goes away mid-game: the game runs on without a hang and
// without sound, its music standing still, and the music is heard again
// from where it stood once a device comes back.
#include <chrono>
#include <thread>

#include "platform/audio.h"
#include "sound/sound.h"
#include "tests/game/game_fixture.h"

using namespace game_test;

namespace {
// The music's play cursor after the device has had time to mix.
std::uint32_t music_position_after_a_while() {
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  return plat_audio_buffer_position(snd_object(g_assets.music)->buffer);
}
}  // namespace

TEST_F(GameTest, GameGoesOnSilentlyWhenTheSoundDeviceGoesAndIsHeardWhenOneComes) {
  const unsigned device = plat_audio_device();
  ASSERT_NE(device, 0u) << "no sound device (SDL_AUDIODRIVER=dummy)";
  ASSERT_NE(snd_object(g_assets.music), nullptr);
  snd_play(g_assets.music, kSndLoop, 30);
  const std::uint32_t playing = music_position_after_a_while();
  EXPECT_NE(music_position_after_a_while(), playing) << "the device mixes the music";

  plat_audio_device_removed(device);
  EXPECT_EQ(plat_audio_device(), 0u);
  snd_set_volume(g_assets.music, 50, -1);  // sound calls still answer
  EXPECT_NE(snd_play(g_assets.music, kSndLoop | kSndNewChannel, 40), 0);
  const std::uint32_t stood = music_position_after_a_while();
  plat_input_script_button(0, true);
  for (int f = 0; f < 120; ++f) ASSERT_TRUE(pass()) << f;
  plat_input_script_button(0, false);
  EXPECT_EQ(music_position_after_a_while(), stood) << "nothing mixes without a device";

  plat_audio_device_added();
  EXPECT_NE(plat_audio_device(), 0u);
  EXPECT_NE(music_position_after_a_while(), stood) << "the music is heard again";
  for (int f = 0; f < 10; ++f) ASSERT_TRUE(pass());
}
