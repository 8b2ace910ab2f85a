// Pictures decoded ahead under ThreadSanitizer: the main thread takes them
// while the thread still decodes later ones, and ends a run part way.
#include "tests/image/codec_test_support.h"

namespace {
class PrefetchRaceTest : public codec_test::ImageLibrary {
 protected:
  void TearDown() override {
    img_prefetch_end();
    codec_test::ImageLibrary::TearDown();
  }
};
}  // namespace

TEST_F(PrefetchRaceTest, TakeWhileTheThreadDecodesAndEndPartWay) {
  std::vector<std::string> names;
  for (int i = 0; i < 12; ++i) {
    codec_test::PngLayout s{.width = 96, .height = 96};
    for (int y = 0; y < s.height; ++y)
      s.rows.emplace_back(96 * 3, static_cast<std::uint8_t>(i * 20 + y));
    names.push_back(path("p" + std::to_string(i) + ".png"));
    codec_test::write_file(names.back(), codec_test::make_png(s));
  }
  std::vector<const char*> list;
  for (const std::string& n : names) list.push_back(n.c_str());
  for (int round = 0; round < 4; ++round) {
    img_prefetch(list);
    const int taken = round % 2 ? 5 : 12;  // odd rounds end with pictures left
    for (int i = 0; i < taken; ++i) {
      const std::intptr_t id = img_load(-1, names[static_cast<std::size_t>(i)].c_str());
      ASSERT_NE(id, 0);
      EXPECT_EQ(codec_test::pixel(img_bitmap(id), 0, 95)[0], (i * 20 + 95) & 0xFF);
      img_free(id);
    }
    img_prefetch_end();
  }
}
