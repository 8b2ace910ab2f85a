// The PNG test suite: every valid image decodes, from a file and from memory,
// to exactly the expected raw pixels; every corrupt x*.png is refused.
#include <cstring>
#include <filesystem>
#include <sstream>

#include "tests/image/codec_test_support.h"

namespace {
using codec_test::Bytes;
using codec_test::ImageLibrary;
using codec_test::read_file;

const std::string kSuite = SHOOTER_SOURCE_DIR "/../shared/testdata/pngsuite";

struct Expected {
  std::string file;
  int width, height, channels;
};

std::vector<Expected> manifest() {
  std::vector<Expected> out;
  std::ifstream in(kSuite + "/expected.tsv");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Expected e{};
    std::string sha;
    if (fields >> e.file >> e.width >> e.height >> e.channels >> sha) out.push_back(e);
  }
  return out;
}

// The image's pixels as tight rows, top row first.
Bytes tight_rows(const ImgBitmap* b) {
  const std::size_t row = std::size_t(b->width) * (b->bits_per_pixel / 8);
  Bytes out;
  out.reserve(row * b->height);
  for (int y = b->height - 1; y >= 0; --y) {
    const std::uint8_t* r = b->pixels + std::ptrdiff_t(y) * b->pitch;
    out.insert(out.end(), r, r + row);
  }
  return out;
}

class PngSuite : public ImageLibrary {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kSuite + "/expected.tsv"))
      GTEST_SKIP() << "PngSuite not found at " << kSuite;
    ImageLibrary::SetUp();
  }
};

TEST_F(PngSuite, EveryValidImageDecodesExactlyFromFileAndMemory) {
  const std::vector<Expected> all = manifest();
  ASSERT_EQ(all.size(), 206u);
  int matched = 0;
  for (const Expected& e : all) {
    const std::string stem = e.file.substr(0, e.file.size() - 4);
    const Bytes want = read_file(kSuite + "/" + stem + (e.channels == 4 ? ".bgra" : ".bgr"));
    ASSERT_EQ(want.size(), std::size_t(e.width) * e.height * e.channels) << e.file;
    const std::string png_path = kSuite + "/" + e.file;
    const Bytes png = read_file(png_path);
    const std::intptr_t from_file = img_load(-1, png_path.c_str());
    const std::intptr_t from_memory =
        img_catch(-1, png.data(), static_cast<std::int32_t>(png.size()));
    bool ok = true;
    for (std::intptr_t id : {from_file, from_memory}) {
      ImgBitmap* b = img_bitmap(id);
      if (!b) {
        ADD_FAILURE() << e.file << " did not load";
        ok = false;
        continue;
      }
      EXPECT_EQ(b->width, e.width) << e.file;
      EXPECT_EQ(b->height, e.height) << e.file;
      EXPECT_EQ(b->bits_per_pixel, e.channels * 8) << e.file;
      const bool same = b->width == e.width && b->height == e.height &&
                        b->bits_per_pixel == e.channels * 8 && tight_rows(b) == want;
      EXPECT_TRUE(same) << e.file << " pixels differ";
      ok = ok && same;
      img_free(id);
    }
    matched += ok;
  }
  EXPECT_EQ(matched, 206);
  std::printf("PngSuite: %d of %zu valid images decode exactly from file and memory\n", matched,
              all.size());
}

TEST_F(PngSuite, EveryCorruptImageIsRefused) {
  int corrupt = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kSuite)) {
    const std::string name = entry.path().filename().string();
    if (name[0] != 'x' || entry.path().extension() != ".png") continue;
    ++corrupt;
    const Bytes png = read_file(entry.path().string());
    ImageDecodeState* state = img_decode_state();
    std::memset(state, 0, sizeof *state);
    state->memory = png.data();
    state->memory_size = static_cast<std::int32_t>(png.size());
    state->from_memory = 1;
    int decoded = 0;
    if (img_png_probe(state)) {
      Bytes pixels(std::size_t(img_row_pitch(state->width, state->depth)) * state->height);
      decoded = img_png_decode(state, pixels.data(), img_row_pitch(state->width, state->depth),
                               kImgDecodeBottomUp);
      img_png_close(state);
    }
    EXPECT_EQ(decoded, 0) << name;
    const std::intptr_t from_file = img_load(-1, entry.path().c_str());
    const std::intptr_t from_memory =
        img_catch(-1, png.data(), static_cast<std::int32_t>(png.size()));
    // The IDAT checksum error is found only after the last row, and a failed
    // decode still yields the image with the rows it wrote.
    if (name != "xcsn0g01.png") {
      EXPECT_EQ(from_file, 0) << name;
      EXPECT_EQ(from_memory, 0) << name;
    }
  }
  EXPECT_EQ(corrupt, 14);
  std::printf("PngSuite: %d corrupt images refused by the decoder\n", corrupt);
}
}  // namespace
