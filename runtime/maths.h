// Random numbers, colour packing, float helpers, dates and the tick count.
#pragma once
#include <cstdint>

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
