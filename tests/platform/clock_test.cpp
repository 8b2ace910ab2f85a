// The clocks: a virtual sleep advances the virtual clock and is not counted
// as time slept; a real sleep is, whole.
#include <gtest/gtest.h>

#include "platform/clock.h"

namespace {

class ClockTest : public ::testing::Test {
 protected:
  void TearDown() override { plat_clock_use_real(); }
};

TEST_F(ClockTest, OnlyRealSleepsCountAsSlept) {
  plat_clock_use_virtual(5'000'000);
  const std::uint64_t before = plat_slept_100ns();
  plat_sleep_ms(100);
  EXPECT_EQ(plat_time_100ns(), 5'000'000u + 100 * 10'000u);
  EXPECT_EQ(plat_slept_100ns(), before);

  plat_clock_use_real();
  const std::uint64_t t0 = plat_time_100ns();
  plat_sleep_ms(20);
  const std::uint64_t elapsed = plat_time_100ns() - t0;
  const std::uint64_t slept = plat_slept_100ns() - before;
  EXPECT_GE(slept, 20 * 10'000u);
  EXPECT_LE(slept, elapsed);
}

}  // namespace
