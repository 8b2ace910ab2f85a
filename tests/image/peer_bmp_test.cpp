// Round trips with real peers: BMP files we write are read back by Python's
// PIL and by ImageMagick, and BMP and ICO files those peers write load here
// with the pixels the peers decode.
#include <cstdlib>
#include <filesystem>

#include "tests/image/codec_test_support.h"

namespace {
using codec_test::Bytes;
using codec_test::get32;
using codec_test::ImageLibrary;
using codec_test::pixel;
using codec_test::read_file;

const char* const kPython = "/usr/bin/python3";
const char* const kConvert = "/usr/bin/convert-im6.q16";

bool run(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

class PeerBmp : public ImageLibrary {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kConvert) || !run(std::string(kPython) + " -c 'import PIL'"))
      GTEST_SKIP() << "needs " << kConvert << " and " << kPython << " with PIL";
    ImageLibrary::SetUp();
  }

  // RGB bytes, top row first, as PIL decodes the file.
  Bytes pil_rgb(const std::string& file) {
    const std::string out = file + ".pil";
    const std::string script =
        "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
        "open(sys.argv[2], 'wb').write(im.convert('RGB').tobytes())";
    if (!run(std::string(kPython) + " -c \"" + script + "\" '" + file + "' '" + out + "'"))
      return {};
    return read_file(out);
  }

  // RGBA bytes, top row first, as ImageMagick decodes the file (or a frame).
  Bytes magick_rgba(const std::string& file, const std::string& frame = "") {
    const std::string out = file + ".im";
    if (!run(std::string(kConvert) + " '" + file + frame + "' -depth 8 'rgba:" + out + "'"))
      return {};
    return read_file(out);
  }
};

// A picture of many colours, odd sizes so rows need padding.
void paint(ImgBitmap* b) {
  const int bytes = b->bits_per_pixel / 8;
  for (int y = 0; y < b->height; ++y)
    for (int x = 0; x < b->width; ++x) {
      std::uint8_t* p = b->pixels + y * b->pitch + x * bytes;
      p[0] = static_cast<std::uint8_t>(x * 6);
      p[1] = static_cast<std::uint8_t>(y * 11);
      p[2] = static_cast<std::uint8_t>((x * y) ^ 0x5a);
      if (bytes == 4) p[3] = static_cast<std::uint8_t>(x * 7);
    }
}

// RGB of every pixel, top row first, of a BMP file this writer made.
Bytes our_rgb(const Bytes& f) {
  Bytes out;
  for (int y = 0; y < static_cast<int>(get32(f, 22)); ++y)
    for (int x = 0; x < static_cast<int>(get32(f, 18)); ++x) {
      const std::array<int, 3> c = codec_test::file_pixel(f, x, y);
      out.insert(out.end(), {std::uint8_t(c[2]), std::uint8_t(c[1]), std::uint8_t(c[0])});
    }
  return out;
}

Bytes rgb_of(const ImgBitmap* b) {
  Bytes out;
  for (int y = 0; y < b->height; ++y)
    for (int x = 0; x < b->width; ++x) {
      auto p = pixel(b, x, y);
      out.insert(out.end(), {std::uint8_t(p[2]), std::uint8_t(p[1]), std::uint8_t(p[0])});
    }
  return out;
}

Bytes drop_alpha(const Bytes& rgba) {
  Bytes out;
  for (std::size_t i = 0; i + 3 < rgba.size(); i += 4)
    out.insert(out.end(), {rgba[i], rgba[i + 1], rgba[i + 2]});
  return out;
}

TEST_F(PeerBmp, PeersReadWhatWeWriteAtEveryDepth) {
  std::intptr_t opaque = img_create(-1, 37, 23, 24);
  std::intptr_t alpha = img_create(-1, 37, 23, 32);
  paint(img_bitmap(opaque));
  paint(img_bitmap(alpha));
  struct Case {
    std::intptr_t id;
    int depth;
  };
  for (Case c : {Case{opaque, 1}, Case{opaque, 4}, Case{opaque, 8}, Case{opaque, 24},
                 Case{opaque, 32}, Case{alpha, 24}, Case{alpha, 32}, Case{alpha, 8}}) {
    const std::string name =
        path("w" + std::to_string(c.id == alpha) + "_" + std::to_string(c.depth) + ".bmp");
    ASSERT_EQ(img_save(c.id, name.c_str(), 0, 7, c.depth), 1);
    const Bytes file = read_file(name);
    const Bytes ours = our_rgb(file);
    ASSERT_EQ(ours.size(), 37u * 23 * 3);
    if (c.depth == 24 && c.id == opaque) {
      EXPECT_EQ(ours, rgb_of(img_bitmap(opaque)));
    } else if (c.depth == 32) {
      EXPECT_EQ(ours, rgb_of(img_bitmap(c.id))) << "32-bit files keep the pixel bytes";
    }
    const Bytes pil = pil_rgb(name);
    EXPECT_EQ(pil.size(), ours.size()) << name;
    EXPECT_TRUE(pil == ours) << "PIL reads " << name << " differently";
    const Bytes magick = drop_alpha(magick_rgba(name));
    EXPECT_EQ(magick.size(), ours.size()) << name;
    EXPECT_TRUE(magick == ours) << "ImageMagick reads " << name << " differently";
  }
}

struct PeerFile {
  std::string name;
  std::string options;  // ImageMagick options and output format
  std::uint32_t header;
  int bits;
  std::uint32_t compression;
};

// Makes a V4 (108-byte) header out of ImageMagick's V5 one: the V5 fields
// at the end are dropped. ImageMagick 6 writes no V4 headers itself.
Bytes v5_to_v4(const Bytes& v5) {
  Bytes v4(v5.begin(), v5.begin() + 14 + 108);
  v4.insert(v4.end(), v5.begin() + 14 + 124, v5.end());
  codec_test::put32(v4, 14, 108);
  codec_test::put32(v4, 10, get32(v5, 10) - 16);
  codec_test::put32(v4, 2, static_cast<std::uint32_t>(v4.size()));
  return v4;
}

// Turns a bottom-up uncompressed file into its top-down twin.
Bytes flip_to_top_down(const Bytes& f) {
  Bytes out = f;
  const int w = static_cast<int>(get32(f, 18)), h = static_cast<int>(get32(f, 22));
  const std::size_t stride = ((std::size_t(w) * f[28] + 31) / 32) * 4, at = get32(f, 10);
  for (int r = 0; r < h; ++r)
    std::copy_n(&f[at + stride * r], stride, &out[at + stride * std::size_t(h - 1 - r)]);
  codec_test::put32(out, 22, static_cast<std::uint32_t>(-h));
  return out;
}

TEST_F(PeerBmp, WeReadWhatImageMagickWritesAtEveryDepthAndHeaderKind) {
  // The source: a colourful picture with partial transparency.
  codec_test::PngLayout src{.width = 29, .height = 17, .colour_type = PNG_COLOR_TYPE_RGBA};
  for (int y = 0; y < 17; ++y) {
    Bytes row;
    for (int x = 0; x < 29; ++x)
      row.insert(row.end(), {std::uint8_t(x * 9), std::uint8_t(255 - y * 15),
                             std::uint8_t((x * y * 5) & 255), std::uint8_t(x < 3 ? 90 : 255)});
    src.rows.push_back(row);
  }
  codec_test::write_file(path("src.png"), codec_test::make_png(src));
  const std::vector<PeerFile> files = {
      {"core1", "-alpha off -colors 2 -type Palette BMP2:", 12, 1, 0},
      {"core8", "-alpha off -type Palette BMP2:", 12, 8, 0},
      {"core24", "-alpha off BMP2:", 12, 24, 0},
      {"i1", "-alpha off -colors 2 -type Palette -compress None BMP3:", 40, 1, 0},
      {"i4", "-alpha off -colors 16 -type Palette -compress None BMP3:", 40, 4, 0},
      {"i8", "-alpha off -type Palette -compress None BMP3:", 40, 8, 0},
      {"rle8", "-alpha off -type Palette -compress RLE BMP3:", 40, 8, 1},
      {"i24", "-alpha off -type TrueColor BMP3:", 40, 24, 0},
      {"i32", "-define bmp3:alpha=true BMP3:", 40, 32, 0},
      {"v5_565", "-alpha off -define bmp:subtype=RGB565 BMP:", 124, 16, 3},
      {"v5_555", "-alpha off -define bmp:subtype=RGB555 BMP:", 124, 16, 3},
      {"v5_24", "-alpha off BMP:", 124, 24, 0},
      {"v5_32", "BMP:", 124, 32, 3},
  };
  int loaded = 0;
  for (const PeerFile& pf : files) {
    const std::string name = path(pf.name + ".bmp");
    ASSERT_TRUE(
        run(std::string(kConvert) + " '" + path("src.png") + "' " + pf.options + "'" + name + "'"))
        << pf.name;
    const Bytes made = read_file(name);
    std::vector<std::pair<std::string, Bytes>> variants = {{pf.name, made}};
    ASSERT_EQ(get32(made, 14), pf.header) << pf.name;
    ASSERT_EQ(made[pf.header == 12 ? 24 : 28], pf.bits) << pf.name;
    if (pf.header != 12) {
      ASSERT_EQ(get32(made, 30), pf.compression) << pf.name;
    }
    if (pf.header == 124) variants.push_back({pf.name + "_v4", v5_to_v4(made)});
    if (pf.compression != 1 && pf.header != 12 && pf.bits >= 24)
      variants.push_back({pf.name + "_topdown", flip_to_top_down(made)});
    const Bytes want = magick_rgba(name);
    ASSERT_EQ(want.size(), 29u * 17 * 4) << pf.name;
    for (const auto& [label, data] : variants) {
      const std::string file = path(label + ".var.bmp");
      codec_test::write_file(file, data);
      std::intptr_t from_file = img_load(-1, file.c_str());
      std::intptr_t from_memory = img_catch(-1, data.data(), std::int32_t(data.size()));
      ASSERT_NE(from_file, 0) << label;
      ASSERT_NE(from_memory, 0) << label;
      EXPECT_EQ(img_bitmap(from_file)->bits_per_pixel, 24) << label;
      EXPECT_EQ(rgb_of(img_bitmap(from_file)), drop_alpha(want)) << label;
      ImgBitmap* memory = img_bitmap(from_memory);
      EXPECT_EQ(rgb_of(memory), drop_alpha(want)) << label;
      if (pf.bits == 32) {
        ASSERT_EQ(memory->bits_per_pixel, 32) << label;
        for (int x = 0; x < 29; ++x) EXPECT_EQ(pixel(memory, x, 5)[3], want[(5 * 29 + x) * 4 + 3]);
      }
      loaded += 2;
    }
  }
  std::printf("Peer BMP: %d ImageMagick-made files loaded with ImageMagick's pixels\n", loaded);
}

TEST_F(PeerBmp, MultiSizeIconsFromImageMagickAndPil) {
  codec_test::PngLayout src{.width = 48, .height = 48, .colour_type = PNG_COLOR_TYPE_RGBA};
  for (int y = 0; y < 48; ++y) {
    Bytes row;
    for (int x = 0; x < 48; ++x) {
      const bool inside = (x - 24) * (x - 24) + (y - 24) * (y - 24) < 400;
      row.insert(row.end(), {std::uint8_t(x * 5), std::uint8_t(y * 5), 200,
                             std::uint8_t(inside             ? 255
                                          : (x + y) % 3 == 0 ? 0
                                                             : 120)});
    }
    src.rows.push_back(row);
  }
  codec_test::write_file(path("src.png"), codec_test::make_png(src));
  ASSERT_TRUE(run(std::string(kConvert) + " '" + path("src.png") +
                  "' -define icon:auto-resize=32,16,48 '" + path("im.ico") + "'"));
  const std::string script =
      "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
      "im.save(sys.argv[2], sizes=[(24, 24), (16, 16), (48, 48)])";
  ASSERT_TRUE(run(std::string(kPython) + " -c \"" + script + "\" '" + path("src.png") + "' '" +
                  path("pil.ico") + "'"));
  for (const std::string name : {"im.ico", "pil.ico"}) {
    const Bytes ico = read_file(path(name));
    ASSERT_GE(ico.size(), 22u);
    const int count = ico[4], first = ico[6];
    ASSERT_GE(count, 3) << name;
    // Every entry is 32-bit here, so the first entry is the one chosen.
    std::intptr_t id = img_load(-1, path(name).c_str());
    ASSERT_NE(id, 0) << name;
    ImgIcon* icon = reinterpret_cast<ImgIcon*>(img_handle(id));
    ASSERT_EQ(icon->kind, kImgKindIcon);
    ASSERT_EQ(img_width(id), first == 0 ? 256 : first) << name;
    Bytes want;
    if (name == "im.ico") {
      want = magick_rgba(path(name), "[0]");
    } else {
      const std::string get =
          "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
          "s = int(sys.argv[3]); open(sys.argv[2], 'wb').write("
          "im.ico.getimage((s, s)).convert('RGBA').tobytes())";
      ASSERT_TRUE(run(std::string(kPython) + " -c \"" + get + "\" '" + path(name) + "' '" +
                      path("pil.raw") + "' " + std::to_string(first)));
      want = read_file(path("pil.raw"));
    }
    ASSERT_EQ(want.size(), std::size_t(first) * first * 4) << name;
    int compared = 0;
    for (int y = 0; y < first; ++y)
      for (int x = 0; x < first; ++x) {
        const std::uint8_t* w = &want[(std::size_t(y) * first + x) * 4];
        auto p = pixel(icon->colour, x, y);
        ASSERT_EQ(p[3], w[3]) << name << " alpha at " << x << "," << y;
        if (w[3] == 0) continue;  // the colour of invisible pixels is free
        EXPECT_EQ((std::array<int, 3>{p[2], p[1], p[0]}), (std::array<int, 3>{w[0], w[1], w[2]}))
            << name << " at " << x << "," << y;
        ++compared;
      }
    EXPECT_GT(compared, first * first / 2);
  }
}
}  // namespace
