// The lagged-table random generator, colour packing, float helpers, local
// dates as second counts and the millisecond tick.
#include "runtime/maths.h"

#include <cmath>
#include <ctime>

#include "platform/clock.h"

namespace {
// Filled at run time by the library's calls. A lambda here would be worked
// out by the compiler, exactly, and the calls differ from that in the last
// bit for some degrees.
RtWholeDegrees whole_degrees() {
  RtWholeDegrees table{};
  for (int d = 0; d < 360; ++d) {
    table.cos[d] = std::cos(d * kRtDegToRad);
    table.sin[d] = std::sin(d * kRtDegToRad);
  }
  return table;
}

constexpr int kTable = 17;
constexpr std::uint32_t kSeedFactor = 1403630843u;

// One generator per process, used from the main thread.
struct RandomState {
  std::int32_t seeded;
  std::int32_t i;
  std::int32_t j;
  std::uint32_t a[kTable];
  std::uint32_t b[kTable];
};
RandomState g_random{};

constexpr std::uint32_t ror(std::uint32_t v, int n) {
  return (v >> n) | (v << (32 - n));
}

inline std::uint32_t step() {
  RandomState& s = g_random;
  std::uint32_t a = s.a[s.i];
  std::uint32_t b = s.b[s.i];
  std::uint32_t new_a = ror(b, 13) + s.b[s.j];
  std::uint32_t new_b = ror(a, 5) + s.a[s.j];
  s.a[s.i] = new_a;
  s.b[s.i] = new_b;
  s.i = s.i == 0 ? kTable - 1 : s.i - 1;
  s.j = s.j == 0 ? kTable - 1 : s.j - 1;
  return new_a;
}

void seed_automatically() {
  g_random.seeded = 1;
  rt_random_seed(plat_random_seed());
}

bool is_leap_year(std::int32_t year) {
  if (year == 3600) return false;
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

bool is_valid_date(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                   std::int32_t minute, std::int32_t second) {
  if (day == 31 && (month == 4 || month == 6 || month == 9 || month == 11)) return false;
  if (month == 2 && (day > 29 || (day == 29 && !is_leap_year(year)))) return false;
  // Unsigned comparisons reject negative times too.
  if (static_cast<std::uint32_t>(second) > 59 || static_cast<std::uint32_t>(minute) > 59 ||
      static_cast<std::uint32_t>(hour) > 23)
    return false;
  return day >= 1 && day <= 31 && month >= 1 && month <= 12 && year > 0;
}
}  // namespace

const RtWholeDegrees rt_whole_degrees = whole_degrees();

std::int32_t rt_random(std::int32_t max) {
  if (!g_random.seeded) seed_automatically();
  std::uint32_t r = step();
  std::uint32_t range = static_cast<std::uint32_t>(max) + 1u;
  if (range == 0) return static_cast<std::int32_t>(r);
  return static_cast<std::int32_t>((static_cast<std::uint64_t>(r) * range) >> 32);
}

void rt_random_seed(std::uint32_t seed) {
  if (!g_random.seeded) seed_automatically();
  std::uint32_t s = seed;
  for (int k = 0; k < kTable; ++k) {
    s = 1u - s * kSeedFactor;
    g_random.b[k] = s;
    s = 1u - s * kSeedFactor;
    g_random.a[k] = s;
  }
  g_random.i = 0;
  g_random.j = 10;
  for (int k = 0; k < 31; ++k) step();
}

void rt_random_unseed() {
  g_random = RandomState{};
}

std::int32_t rt_rgb(std::int32_t red, std::int32_t green, std::int32_t blue) {
  // Components above 255 carry into the next one, as plain 32-bit sums.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(red) +
                                   static_cast<std::uint32_t>(green) * 256u +
                                   static_cast<std::uint32_t>(blue) * 65536u);
}

float rt_radians(float degrees) {
  return static_cast<float>(static_cast<long double>(degrees) * kRtDegToRadLong);
}

float rt_atan(float x) {
  return static_cast<float>(std::atan(static_cast<long double>(x)));
}

float rt_pow(float x, float y) {
  // Squares are exact in extended precision; skip the general power.
  if (y == 2.0f) return static_cast<float>(static_cast<long double>(x) * x);
  return static_cast<float>(std::pow(static_cast<long double>(x), static_cast<long double>(y)));
}

std::int32_t rt_trunc(double x) {
  // Out of range (and NaN) gives the integer-indefinite value.
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<std::int32_t>(x);
}

float rt_sign(float x) {
  if (x == 0.0f) return 0.0f;
  return x > 0.0f ? 1.0f : -1.0f;
}

float rt_round(float x, std::int32_t mode) {
  long double v = x;
  if (mode == 1) return static_cast<float>(std::ceil(v));
  if (mode == 2) return static_cast<float>(v > 0 ? std::floor(v + 0.5L) : std::ceil(v - 0.5L));
  return static_cast<float>(std::floor(v));
}

std::int32_t rt_date_make(std::int32_t year, std::int32_t month, std::int32_t day,
                          std::int32_t hour, std::int32_t minute, std::int32_t second) {
  if (!is_valid_date(year, month, day, hour, minute, second)) return -1;
  if (year == 1970 && month == 1 && day == 1) return hour * 3600 + minute * 60 + second;
  // The zone's offset at the epoch; west of Greenwich the epoch falls on the
  // 31st of December, so that hour counts from the day before.
  std::time_t epoch = 0;
  std::tm at_epoch{};
  localtime_r(&epoch, &at_epoch);
  std::int64_t zone_hour = at_epoch.tm_hour;
  if (zone_hour > 11 && at_epoch.tm_mday == 31) zone_hour -= 24;
  std::int64_t offset = (zone_hour * 60 + at_epoch.tm_min) * 60;
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = at_epoch.tm_isdst;
  std::int64_t result = static_cast<std::int64_t>(std::mktime(&t)) + offset;
  // A date the 32-bit count cannot hold is invalid rather than wrapped.
  if (result < INT32_MIN || result > INT32_MAX) return -1;
  return static_cast<std::int32_t>(result);
}

std::int32_t rt_date_now() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return rt_date_make(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec);
}

std::uint32_t rt_ticks() {
  return plat_ticks_ms();
}
