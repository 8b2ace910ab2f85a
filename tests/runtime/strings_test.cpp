// Strings: the temporary buffer protocol, number formatting, file parts and
// the variable operations.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "runtime/strings.h"

namespace {
// Formats a number at the buffer's position, the way a compiled expression
// does, and returns the text.
template <typename Write>
std::string formatted(Write write) {
  const std::int32_t p0 = rt_str_position();
  write(p0);
  std::string text = rt_str_base() + p0;
  EXPECT_EQ(rt_str_position(), p0 + static_cast<std::int32_t>(text.size()));
  rt_str_set_position(p0);
  return text;
}
std::string from_long(std::int32_t v) {
  return formatted([v](std::int32_t at) { rt_str_from_long(at, v); });
}
std::string from_quad(std::int64_t v) {
  return formatted([v](std::int32_t at) { rt_str_from_quad(v, at); });
}
}  // namespace

TEST(StringNumbersTest, LongLimitsAndSigns) {
  EXPECT_EQ(from_long(0), "0");
  EXPECT_EQ(from_long(-1), "-1");
  EXPECT_EQ(from_long(7), "7");
  EXPECT_EQ(from_long(1000000), "1000000");
  EXPECT_EQ(from_long(INT32_MAX), "2147483647");
  EXPECT_EQ(from_long(INT32_MIN), "-2147483648");
}

TEST(StringNumbersTest, QuadBeyondThirtyTwoBits) {
  EXPECT_EQ(from_quad(4294967296LL), "4294967296");
  EXPECT_EQ(from_quad(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(from_quad(INT64_MAX), "9223372036854775807");
  EXPECT_EQ(from_quad(-2147483649LL), "-2147483649");
  EXPECT_EQ(from_quad(-5), "-5");
  EXPECT_EQ(from_quad(0), "0");
}

TEST(StringExpressionTest, ConcatenationThenAssignResetsThePosition) {
  std::int32_t p0 = rt_str_position();
  rt_str_append("GFX\\Tile");
  rt_str_from_long(rt_str_position(), 12);
  rt_str_append(".png");
  char* name = nullptr;
  EXPECT_EQ(rt_str_assign(&name, p0), p0);
  EXPECT_EQ(rt_str_position(), p0);
  EXPECT_STREQ(name, "GFX\\Tile12.png");
  rt_str_free(name);
}

TEST(StringExpressionTest, GrowthKeepsTextsNamedByPosition) {
  std::int32_t p0 = rt_str_position();
  std::string expected;
  std::string chunk(100, 'x');
  for (int i = 0; i < 300; ++i) {  // 30 KB: the buffer grows and moves
    rt_str_append(chunk.c_str());
    rt_str_from_long(rt_str_position(), i);
    expected += chunk + std::to_string(i);
  }
  EXPECT_GE(rt_str_capacity(), p0 + static_cast<std::int32_t>(expected.size()));
  EXPECT_EQ(std::string(rt_str_base() + p0), expected);
  // Appending a text that lies in the buffer itself, across growth.
  std::int32_t before = rt_str_position();
  rt_str_append(rt_str_base() + p0);
  EXPECT_EQ(std::string(rt_str_base() + before), expected);
  rt_str_set_position(p0);
}

TEST(StringExpressionTest, AppendNullOnlyTerminates) {
  std::int32_t p0 = rt_str_position();
  rt_str_append("abc");
  rt_str_unreserve(1);
  rt_str_append(nullptr);
  EXPECT_EQ(rt_str_position(), p0 + 2);
  EXPECT_STREQ(rt_str_base() + p0, "ab");
  rt_str_set_position(p0);
}

TEST(StringExpressionTest, TempOffsetsSurviveGrowth) {
  std::int32_t p0 = rt_str_position();
  rt_str_append("marker");
  std::intptr_t offset = rt_str_temp_offset(rt_str_base() + p0);
  EXPECT_EQ(offset, p0 + 1);
  EXPECT_EQ(rt_str_temp_offset("not in the buffer"), 0);
  rt_str_reserve(100000, rt_str_position());
  EXPECT_STREQ(rt_str_temp_ptr(offset), "marker");
  rt_str_set_position(p0);
}

TEST(StringFilePartTest, PathsQuotesAndBareNames) {
  std::int32_t p0 = rt_str_position();
  EXPECT_STREQ(rt_str_file_part("C:\\dir\\file.png", p0), "file.png");
  EXPECT_STREQ(rt_str_file_part("\"C:\\Program Files\\a b.exe\"", p0), "a b.exe");
  EXPECT_STREQ(rt_str_file_part("name.ogg", p0), "name.ogg");
  EXPECT_STREQ(rt_str_file_part("dir/sub/x", p0), "x");
  EXPECT_STREQ(rt_str_file_part("dir\\", p0), "");
  EXPECT_STREQ(rt_str_file_part(nullptr, p0), "");
  EXPECT_EQ(rt_str_position(), p0);
  // A path that is itself in the buffer, with growth in between.
  rt_str_append("GFX\\Enemy1.png");
  std::int32_t p1 = rt_str_position() + 1;
  rt_str_set_position(p1);
  char* part = rt_str_file_part(rt_str_base() + p0, p1 + 60000);
  EXPECT_STREQ(part, "Enemy1.png");
  rt_str_set_position(p0);
}

TEST(StringQueriesTest, NullCountsAsEmpty) {
  EXPECT_EQ(rt_str_equal(nullptr, ""), 1);
  EXPECT_EQ(rt_str_equal("", nullptr), 1);
  EXPECT_EQ(rt_str_equal("abc", "abc"), 1);
  EXPECT_EQ(rt_str_equal("abc", "abd"), 0);
  EXPECT_EQ(rt_str_equal("ab", "abc"), 0);
  EXPECT_EQ(rt_str_len(nullptr), 0);
  EXPECT_EQ(rt_str_len("hello"), 5);
  EXPECT_EQ(rt_str_asc(nullptr), 0);
  EXPECT_EQ(rt_str_asc(""), 0);
  EXPECT_EQ(rt_str_asc("\xE9t\xE9"), 0xE9);
  char out[8] = "zzzzzzz";
  EXPECT_EQ(rt_str_copy_z(out, "abc"), 3);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(rt_str_copy_z(out, nullptr), 0);
  EXPECT_STREQ(out, "");
}

TEST(StringVariableTest, SetDuplicateAndFree) {
  char* v = nullptr;
  EXPECT_EQ(rt_str_set(&v, "short"), 6);
  EXPECT_STREQ(v, "short");
  std::string long_text(5000, 'q');
  EXPECT_EQ(rt_str_set(&v, long_text.c_str()), 5001);
  EXPECT_EQ(std::string(v), long_text);     // reached through the variable only
  EXPECT_EQ(rt_str_set(&v, v + 4990), 11);  // a tail of its own text
  EXPECT_EQ(std::string(v), std::string(10, 'q'));
  EXPECT_EQ(rt_str_set(&v, nullptr), 1);
  EXPECT_EQ(v, nullptr);
  char* d = nullptr;
  rt_str_duplicate(&d, nullptr);
  EXPECT_EQ(d, nullptr);
  rt_str_duplicate(&d, "copy");
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d, "copy");
  rt_str_free(d);
  rt_str_free(nullptr);
}

TEST(StringVariableTest, AssignLongerTextToShortVariable) {
  char* v = nullptr;
  std::int32_t p0 = rt_str_position();
  rt_str_append("ab");
  rt_str_assign(&v, p0);
  rt_str_append(std::string(3000, 'c').c_str());
  rt_str_assign(&v, p0);
  EXPECT_EQ(rt_str_len(v), 3000);
  // An empty expression gives an empty text, not a null variable.
  rt_str_assign(&v, p0);
  ASSERT_NE(v, nullptr);
  EXPECT_STREQ(v, "");
  rt_str_free(v);
}

TEST(StringInitTest, SecondInitLeavesAnEmptyBufferAndWorkingStrings) {
  char* old = nullptr;
  rt_str_set(&old, "made before");
  rt_str_append("pending");
  rt_strings_init();
  EXPECT_EQ(rt_str_position(), 0);
  EXPECT_EQ(rt_str_capacity(), 16);
  rt_str_from_long(0, -42);
  char* v = nullptr;
  rt_str_assign(&v, 0);
  EXPECT_STREQ(v, "-42");
  // A string of the abandoned heap can still be used and freed.
  EXPECT_EQ(rt_str_set(&old, "reassigned after the second init"), 33);
  EXPECT_STREQ(old, "reassigned after the second init");
  rt_str_free(old);
  rt_str_free(v);
}
