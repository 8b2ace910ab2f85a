// Screenshots: a BMP of the back buffer written through runtime image 68000,
// read back by ImageMagick and PIL, and the default file name.
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <iterator>

#include "runtime/maths.h"
#include "tests/engine/sprite_test_fixture.h"

namespace sprite_test {
namespace {

std::vector<std::uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t le32(const std::vector<std::uint8_t>& d, std::size_t at) {
  return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<std::uint32_t>(d[at + 3]) << 24;
}

// Runs a command and returns what it printed; "" when it failed.
std::string run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  return pclose(pipe) == 0 ? out : std::string();
}

bool have(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A frame with sprites near two corners and the middle, and a box on top.
void draw_scene() {
  const EngHandle s =
      EngineTest::sprite(64, 48, [](int x, int y) { return argb(255, x * 4, y * 5, 77); });
  eng_sprite_set_angle(s, 20);
  eng_sprite_draw(s, 0, 0, 255);
  eng_sprite_draw(s, 960, 720, 200);
  eng_sprite_draw(s, 500, 300, 255);
  eng_box_draw(10, 700, 50, 20, 0x00ABCDEF, 0);
  eng_render();
}

// Pixels of a screenshot file that differ from the picture, rows top-down.
int differences_from(const std::string& path, const Pixels& shown) {
  const std::vector<std::uint8_t> file = read_file(path);
  if (file.size() < 54) return -1;
  const std::size_t offset = le32(file, 10);
  if (file.size() != offset + 1024u * 768u * 4u) return -1;
  int differences = 0;
  for (int y = 0; y < 768; ++y)
    for (int x = 0; x < 1024; ++x) {
      const std::size_t at = offset + (static_cast<std::size_t>(767 - y) * 1024 + x) * 4;
      differences += (le32(file, at) & 0xFFFFFF) != shown[y * 1024 + x];
    }
  return differences;
}

class Screenshot : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    dir_ = scratch_dir("screenshot");
  }
  std::string dir_;
};

TEST_F(Screenshot, WritesTheBackBufferAsA32BitBmpUnderAnyName) {
  draw_scene();
  const Pixels shown = screen();
  const std::string path = dir_ + "/Gamebild.png";
  EXPECT_NE(eng_screenshot(path.c_str()), 0);
  const std::vector<std::uint8_t> file = read_file(path);
  ASSERT_GE(file.size(), 54u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(le32(file, 18), 1024u);
  EXPECT_EQ(le32(file, 22), 768u);
  EXPECT_EQ(file[28], 32);
  EXPECT_EQ(le32(file, 2), file.size());
  EXPECT_EQ(differences_from(path, shown), 0);
  EXPECT_EQ(img_is_valid(68000), 0) << "image 68000 is freed again";
}

// What another program decodes from the file equals the back buffer.
TEST_F(Screenshot, ImageMagickAndPilReadTheSamePixels) {
  draw_scene();
  const Pixels shown = screen();
  const std::string path = dir_ + "/shot.bmp";
  ASSERT_NE(eng_screenshot(path.c_str()), 0);
  // Both print the picture as raw RGB bytes, rows top-down.
  std::vector<std::pair<std::string, std::string>> readers;
  if (have("convert-im6.q16"))
    readers.push_back({"ImageMagick", "convert-im6.q16 '" + path + "' -depth 8 rgb:-"});
  if (have("/usr/bin/python3"))
    readers.push_back({"PIL",
                       "/usr/bin/python3 -c \"import sys; from PIL import Image; "
                       "im = Image.open(sys.argv[1]); assert im.size == (1024, 768), im.size; "
                       "sys.stdout.buffer.write(im.convert('RGB').tobytes())\" '" +
                           path + "'"});
  if (readers.empty()) GTEST_SKIP() << "neither ImageMagick nor PIL is installed";
  for (const auto& [name, command] : readers) {
    const std::string rgb = run(command);
    ASSERT_EQ(rgb.size(), 1024u * 768u * 3u) << name;
    int differences = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
      const auto* p = reinterpret_cast<const std::uint8_t*>(rgb.data()) + i * 3;
      differences += (std::uint32_t{p[0]} << 16 | p[1] << 8 | p[2]) != shown[i];
    }
    EXPECT_EQ(differences, 0) << name;
  }
}

TEST_F(Screenshot, EmptyNameGivesScreenShotWithTheSecondsAndBmp) {
  char old_dir[4096];
  ASSERT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  const std::int32_t before = rt_date_now();
  const int result = eng_screenshot("");
  const int null_result = eng_screenshot(nullptr);
  const std::int32_t after = rt_date_now();
  std::vector<std::string> names;
  if (DIR* d = opendir(".")) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name).rfind("ScreenShot", 0) == 0) names.push_back(e->d_name);
    closedir(d);
  }
  ASSERT_EQ(chdir(old_dir), 0);
  EXPECT_NE(result, 0);
  EXPECT_NE(null_result, 0);
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) {
    ASSERT_GT(name.size(), 14u);
    EXPECT_EQ(name.substr(name.size() - 4), ".bmp");
    const std::string digits = name.substr(10, name.size() - 14);
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << name;
    const long seconds = std::stol(digits);
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
  }
}

TEST_F(Screenshot, TakesOverImage68000AndReportsAFailedSave) {
  ASSERT_NE(img_create(68000, 4, 4, 24), 0);
  const std::string path = dir_ + "/no such folder/shot.bmp";
  EXPECT_EQ(eng_screenshot(path.c_str()), 0);
  EXPECT_EQ(img_is_valid(68000), 0);
  struct stat info;
  EXPECT_NE(stat(path.c_str(), &info), 0);
}

// The gl device's back buffer goes to the file the same way.
class ScreenshotGl : public EngineTest {
 protected:
  void SetUp() override {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "gl is not run under the sanitizers";
#endif
    open_device(PlatVideoBackend::GL);
  }
};

TEST_F(ScreenshotGl, WritesWhatTheGlBackBufferHolds) {
  draw_scene();
  const Pixels shown = screen();
  EXPECT_NE(shown[310 * 1024 + 530], 0u) << "the scene is on the gl screen";
  const std::string path = scratch_dir("screenshot_gl") + "/gl.bmp";
  ASSERT_NE(eng_screenshot(path.c_str()), 0);
  EXPECT_EQ(differences_from(path, shown), 0);
}

}  // namespace
}  // namespace sprite_test
