// What a failed load or save says: the file, where it was looked for, and
// why (missing, empty, not a picture, cut at byte N with libpng's reason),
// once per failure; a picture in memory likewise.
#include <string>

#include "tests/image/codec_test_support.h"
#include "tests/platform/log_capture.h"

namespace {
using codec_test::Bytes;
using codec_test::make_png;
using codec_test::PngLayout;
using codec_test::write_file;

class LoadMessages : public codec_test::ImageLibrary {
 protected:
  std::string path(const char* name) const { return (dir_ / name).string(); }
  // The single line the last operation wrote.
  std::string only_line() {
    auto lines = log_.take_lines();
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? std::string() : lines[0];
  }
  LogCapture log_;
};

Bytes large_png() {
  PngLayout s{.width = 64, .height = 64, .colour_type = PNG_COLOR_TYPE_RGB};
  for (int y = 0; y < s.height; ++y) {
    std::vector<std::uint8_t> row(64 * 3);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<std::uint8_t>(i * 7 + y * 13);
    s.rows.push_back(row);
  }
  return make_png(s);
}

bool has(const std::string& line, const std::string& words) {
  return line.find(words) != std::string::npos;
}

TEST_F(LoadMessages, MissingEmptyAndForeignFilesNameTheFileAndTheReason) {
  EXPECT_EQ(img_load(-1, "no\\such\\Tile9.png"), 0);
  std::string line = only_line();
  EXPECT_TRUE(has(line, ": image: no\\such\\Tile9.png: not found (looked in ")) << line;
  EXPECT_TRUE(has(line, std::filesystem::current_path().string())) << line;

  write_file(path("empty.png"), {});
  EXPECT_EQ(img_load(-1, path("empty.png").c_str()), 0);
  EXPECT_TRUE(has(only_line(), "empty.png: empty file"));

  write_file(path("random.png"), Bytes(300, 0x5a));
  EXPECT_EQ(img_load(-1, path("random.png").c_str()), 0);
  EXPECT_TRUE(has(only_line(), "random.png: not a picture"));

  write_file(path("bad.bmp"), {'B', 'M', 1, 2, 3, 4, 5, 6});
  EXPECT_EQ(img_load(-1, path("bad.bmp").c_str()), 0);
  EXPECT_TRUE(has(only_line(), "bad.bmp: not a readable BMP or ICO picture"));

  // A good picture says nothing.
  write_file(path("good.png"), large_png());
  EXPECT_NE(img_load(-1, path("good.png").c_str()), 0);
  EXPECT_TRUE(log_.take_lines().empty());
}

TEST_F(LoadMessages, CutPngSaysWhereWithLibpngsReasonInsteadOfLibpngItself) {
  const Bytes whole = large_png();
  // Cut inside the pixel data: the picture is kept, its rest blank.
  const Bytes body(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
  write_file(path("cut.png"), body);
  testing::internal::CaptureStderr();
  EXPECT_NE(img_load(-1, path("cut.png").c_str()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // no "libpng error: ..." of its own
  std::string line = only_line();
  EXPECT_TRUE(has(line, "cut.png: truncated at byte " + std::to_string(body.size()) + " (libpng: "))
      << line;
  EXPECT_TRUE(has(line, "the rest of the picture stays blank")) << line;

  // Cut inside the header: no picture, still one line.
  const Bytes head(whole.begin(), whole.begin() + 20);
  write_file(path("head.png"), head);
  EXPECT_EQ(img_load(-1, path("head.png").c_str()), 0);
  line = only_line();
  EXPECT_TRUE(has(line, "head.png: truncated at byte 20")) << line;
  EXPECT_TRUE(has(line, "; no picture")) << line;

  EXPECT_NE(img_catch(-1, body.data(), static_cast<std::int32_t>(body.size())), 0);
  line = only_line();
  EXPECT_TRUE(has(line, "a picture in memory: truncated at byte " + std::to_string(body.size())))
      << line;
}

TEST_F(LoadMessages, UnwritableSaveNamesThePathAndTheSystemsReason) {
  write_file(path("good.png"), large_png());
  const std::intptr_t id = img_load(-1, path("good.png").c_str());
  ASSERT_NE(id, 0);
  const std::string target = path("no-folder") + "/shot.bmp";
  EXPECT_EQ(img_save(id, target.c_str(), 0, 7, 24), 0);
  EXPECT_TRUE(has(only_line(), "cannot write " + target + ": No such file or directory"));
  EXPECT_NE(img_save(id, path("shot.bmp").c_str(), 0, 7, 24), 0);
  EXPECT_TRUE(log_.take_lines().empty());
}

}  // namespace
