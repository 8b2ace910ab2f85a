// The sound library on SDL's disk driver writing to /dev/null: a real device
// thread that consumes samples in real time, for the race tests.
#pragma once
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/sound/sound_test_util.h"

inline void sleep_ms(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class DiskDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!sndtest::tools_present()) GTEST_SKIP() << "oggenc/oggdec (vorbis-tools) not installed";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    snd_decoders_init();
    ASSERT_NE(snd_init(), nullptr);
  }
  void TearDown() override {
    snd_shutdown();
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
  }
};
