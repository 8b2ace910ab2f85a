// Decoding ahead: a load takes the picture its file had when the thread read
// it, once; files that would give a message, and bitmap files, are read
// again by their loads, which say what they said without the thread.
#include <string>

#include "image/image_internal.h"
#include "tests/image/codec_test_support.h"
#include "tests/platform/log_capture.h"

namespace {
using codec_test::Bytes;
using codec_test::make_png;
using codec_test::pixel;
using codec_test::PngLayout;
using codec_test::write_file;

// A w × h picture whose every pixel is (b, g, r) plus a per-pixel pattern.
Bytes png_of(int w, int h, int seed, bool alpha) {
  PngLayout s{.width = w,
              .height = h,
              .colour_type = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB};
  const int channels = alpha ? 4 : 3;
  for (int y = 0; y < h; ++y) {
    Bytes row(static_cast<std::size_t>(w * channels));
    for (std::size_t i = 0; i < row.size(); ++i)
      row[i] = static_cast<std::uint8_t>(seed + i * 5 + y * 11);
    s.rows.push_back(row);
  }
  return make_png(s);
}

class Prefetch : public codec_test::ImageLibrary {
 protected:
  void TearDown() override {
    img_prefetch_end();
    codec_test::ImageLibrary::TearDown();
  }
  void prefetch(const std::vector<std::string>& names) {
    std::vector<const char*> list;
    for (const std::string& n : names) list.push_back(n.c_str());
    img_prefetch(list);
  }
  // Pixel (x, y) of image id, with its width and height, as one string.
  static std::string look(std::intptr_t id, int x, int y) {
    const ImgBitmap* b = img_bitmap(id);
    if (!b) return "no picture";
    const auto p = pixel(b, x, y);
    return std::to_string(b->width) + "x" + std::to_string(b->height) + "@" +
           std::to_string(b->bits_per_pixel) + " " + std::to_string(p[0]) + "," +
           std::to_string(p[1]) + "," + std::to_string(p[2]) + "," + std::to_string(p[3]);
  }
  // What a plain load of data gives, with no thread involved.
  std::string plain(const Bytes& data, int x, int y) {
    write_file(path("plain.png"), data);
    const std::intptr_t id = img_load(-1, path("plain.png").c_str());
    std::string seen = look(id, x, y);
    img_free(id);
    return seen;
  }
};

TEST_F(Prefetch, LoadsTakeThePictureReadAheadOnceThenReadTheFile) {
  const Bytes first = png_of(40, 30, 1, true), second = png_of(17, 9, 90, false);
  const Bytes changed = png_of(40, 30, 200, true);
  write_file(path("a.png"), first);
  write_file(path("b.png"), second);
  prefetch({path("a.png"), path("b.png"), path("missing.png")});
  // The thread works in order: once b is loaded, a is decoded too.
  const std::intptr_t b = img_load(-1, path("b.png").c_str());
  EXPECT_EQ(look(b, 16, 8), plain(second, 16, 8));
  write_file(path("a.png"), changed);
  const std::intptr_t a = img_load(-1, path("a.png").c_str());
  EXPECT_EQ(look(a, 39, 0), plain(first, 39, 0)) << "taken from the thread";
  EXPECT_EQ(look(a, 3, 29), plain(first, 3, 29));
  // A second load of the same name reads the file as it is now.
  const std::intptr_t again = img_load(-1, path("a.png").c_str());
  EXPECT_EQ(look(again, 39, 0), plain(changed, 39, 0));
  EXPECT_NE(look(again, 39, 0), look(a, 39, 0));
}

TEST_F(Prefetch, DamagedMissingAndBitmapFilesSayWhatTheySayWithoutTheThread) {
  const Bytes whole = png_of(64, 64, 7, false);
  const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
  write_file(path("cut.png"), cut);
  write_file(path("last.png"), png_of(4, 4, 3, false));
  codec_test::BmpLayout bmp{
      .width = 2, .height = 1, .bits = 24, .pixels = {1, 2, 3, 4, 5, 6, 0, 0}};
  write_file(path("pic.bmp"), codec_test::make_bmp(bmp));
  // What each says and gives without the thread.
  LogCapture log;
  const std::string cut_alone = look(img_load(-1, path("cut.png").c_str()), 10, 60);
  const std::vector<std::string> cut_said = log.take_lines();
  ASSERT_EQ(cut_said.size(), 1u);
  img_load(-1, path("gone.png").c_str());
  const std::vector<std::string> gone_said = log.take_lines();
  ASSERT_EQ(gone_said.size(), 1u);
  const std::string bmp_alone = look(img_load(-1, path("pic.bmp").c_str()), 1, 0);

  prefetch({path("cut.png"), path("gone.png"), path("pic.bmp"), path("last.png")});
  EXPECT_NE(img_load(-1, path("last.png").c_str()), 0);
  EXPECT_TRUE(log.take_lines().empty()) << "the thread itself says nothing";
  EXPECT_EQ(look(img_load(-1, path("cut.png").c_str()), 10, 60), cut_alone);
  EXPECT_EQ(log.take_lines(), cut_said);
  EXPECT_EQ(img_load(-1, path("gone.png").c_str()), 0);
  EXPECT_EQ(log.take_lines(), gone_said);
  EXPECT_EQ(look(img_load(-1, path("pic.bmp").c_str()), 1, 0), bmp_alone);
  EXPECT_TRUE(log.take_lines().empty());
}

TEST_F(Prefetch, EndingOrStartingAgainDropsWhatNobodyTook) {
  const Bytes old_picture = png_of(8, 8, 1, false), new_picture = png_of(8, 8, 150, false);
  write_file(path("a.png"), old_picture);
  prefetch({path("a.png"), path("a.png")});
  // Starting again ends the first run, and ending drops the picture nobody
  // took (the leak check sees the rest): the load reads the file anew.
  prefetch({path("a.png")});
  img_prefetch_end();
  write_file(path("a.png"), new_picture);
  const std::intptr_t id = img_load(-1, path("a.png").c_str());
  EXPECT_EQ(look(id, 7, 7), plain(new_picture, 7, 7));
  EXPECT_NE(look(id, 7, 7), plain(old_picture, 7, 7));
}

}  // namespace
