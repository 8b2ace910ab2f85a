// Random numbers, colour packing, float helpers, dates and the tick count.
#pragma once
#include <cmath>
#include <cstdint>

// Degrees to radians, as rt_radians and every sine and cosine of the game
// take them; the double and float forms are this one value rounded.
inline constexpr long double kRtDegToRadLong = 0.017453292519943295L;
inline constexpr double kRtDegToRad = static_cast<double>(kRtDegToRadLong);
inline constexpr float kRtDegToRadFloat = static_cast<float>(kRtDegToRad);
inline constexpr double kRtPi = 3.14159265358979323846;

// Cosines and sines of the whole degrees 0 … 359, filled by the same calls
// as below at load, so a lookup gives the very bits of the call. Most of the
// game's directions are whole degrees (random ones, turning steps), and
// explosions move thousands of particles by them each frame.
struct RtWholeDegrees {
  double cos[360];
  double sin[360];
};
extern const RtWholeDegrees rt_whole_degrees;

inline bool rt_whole_degree(double degrees, int* whole) {
  // -0 is left to the call: its sine keeps the sign.
  if (!(degrees >= 0 && degrees < 360) || std::signbit(degrees)) return false;
  *whole = static_cast<int>(degrees);
  return *whole == degrees;
}
inline double rt_cos_deg(double degrees) {
  int whole;
  if (rt_whole_degree(degrees, &whole)) return rt_whole_degrees.cos[whole];
  return std::cos(degrees * kRtDegToRad);
}
inline double rt_sin_deg(double degrees) {
  int whole;
  if (rt_whole_degree(degrees, &whole)) return rt_whole_degrees.sin[whole];
  return std::sin(degrees * kRtDegToRad);
}
// Radians to degrees, in the order of operations the bearings rely on.
inline double rt_degrees(double radians) {
  return radians * 180.0 / kRtPi;
}

std::int32_t rt_random(std::int32_t max);
void rt_random_seed(std::uint32_t seed);
// Returns the generator to its unseeded start state, as at process start.
void rt_random_unseed();
std::int32_t rt_rgb(std::int32_t red, std::int32_t green, std::int32_t blue);
float rt_radians(float degrees);
float rt_atan(float x);
float rt_pow(float x, float y);
std::int32_t rt_trunc(double x);
float rt_sign(float x);
float rt_round(float x, std::int32_t mode);
std::int32_t rt_date_make(std::int32_t year, std::int32_t month, std::int32_t day,
                          std::int32_t hour, std::int32_t minute, std::int32_t second);
std::int32_t rt_date_now();
// Milliseconds since the system started; wraps after about 49.7 days.
std::uint32_t rt_ticks();
