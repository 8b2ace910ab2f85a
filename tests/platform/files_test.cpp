// Opening files by the game's names: backslashes, letter case, the search
// folders, and writing into the working directory.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/shooter-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    old_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  static void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }
  static std::string read_all(std::FILE* f) {
    std::string text;
    int c;
    while ((c = std::fgetc(f)) != EOF) text.push_back(static_cast<char>(c));
    std::fclose(f);
    return text;
  }
  fs::path dir_, old_;
};

TEST_F(FilesTest, BackslashesBecomeSlashes) {
  write(dir_ / "GFX" / "Tile1.png", "tile");
  std::FILE* f = plat_fopen("GFX\\Tile1.png", "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_all(f), "tile");
}

TEST_F(FilesTest, LetterCaseOfTheNameDoesNotMatter) {
  write(dir_ / "Sound" / "new2.ogg", "music");
  std::FILE* f = plat_fopen("sound\\New2.OGG", "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_all(f), "music");
  EXPECT_EQ(plat_find_file("Sound\\Missing.ogg"), "");
  EXPECT_EQ(plat_fopen("Sound\\Missing.ogg", "rb"), nullptr);
}

TEST_F(FilesTest, WorkingDirectoryComesFirst) {
  // The installed data folder beside the program's also gets a file of that
  // name; the working directory's copy wins.
  const fs::path data = fs::path(plat_executable_dir()) / ".." / "share" / "games" / "shooter";
  write(data / "files_test_probe.txt", "installed");
  write(dir_ / "files_test_probe.txt", "here");
  std::FILE* f = plat_fopen("files_test_probe.txt", "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_all(f), "here");
  fs::remove(dir_ / "files_test_probe.txt");
  f = plat_fopen("files_test_probe.txt", "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_all(f), "installed");
  fs::remove(data / "files_test_probe.txt");
}

TEST_F(FilesTest, BuildTreeAssetsThenInstalledDataThenTheOverride) {
  // This test runs from the build tree, so the source's assets are found
  // from an empty working directory, ahead of an installed copy.
  const fs::path data = fs::path(plat_executable_dir()) / ".." / "share" / "games" / "shooter";
  write(data / "GFX" / "Tile1.png", "installed");
  const std::string found = plat_find_file("GFX\\Tile1.png");
  EXPECT_EQ(fs::canonical(found), fs::canonical(SHOOTER_SOURCE_DIR "/assets/GFX/Tile1.png"));

  // SHOOTER_DATA is the only folder searched, the working directory included.
  write(dir_ / "GFX" / "Tile1.png", "here");
  write(dir_ / "data" / "gfx" / "tile1.png", "override");
  fs::create_directories(dir_ / "empty");
  setenv("SHOOTER_DATA", (dir_ / "data").c_str(), 1);
  std::FILE* f = plat_fopen("GFX\\Tile1.png", "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_all(f), "override");
  setenv("SHOOTER_DATA", (dir_ / "empty").c_str(), 1);
  EXPECT_EQ(plat_fopen("GFX\\Tile1.png", "rb"), nullptr);
  // Writing still goes to the working directory.
  f = plat_fopen("Gamebild.png", "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_TRUE(fs::exists(dir_ / "Gamebild.png"));
  // Set but empty counts as not set.
  setenv("SHOOTER_DATA", "", 1);
  f = plat_fopen("GFX\\Tile1.png", "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_all(f), "here");
  unsetenv("SHOOTER_DATA");
  fs::remove(data / "GFX" / "Tile1.png");
}

TEST_F(FilesTest, WritingCreatesInTheWorkingDirectory) {
  std::FILE* f = plat_fopen("Gamebild.png", "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("BM", f);
  std::fclose(f);
  EXPECT_TRUE(fs::exists(dir_ / "Gamebild.png"));
  f = plat_fopen("sub\\out.bin", "wb");  // no such folder: not created
  EXPECT_EQ(f, nullptr);
}

TEST_F(FilesTest, EmptyAndDirectoryNamesOpenNothing) {
  fs::create_directories(dir_ / "GFX");
  EXPECT_EQ(plat_fopen("", "rb"), nullptr);
  EXPECT_EQ(plat_fopen(nullptr, "rb"), nullptr);
  EXPECT_EQ(plat_fopen("GFX", "rb"), nullptr);
  EXPECT_EQ(plat_fopen("x", ""), nullptr);
}

TEST_F(FilesTest, AbsolutePathsAreUsedAsGiven) {
  write(dir_ / "abs.txt", "a");
  const std::string path = (dir_ / "abs.txt").string();
  std::FILE* f = plat_fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_all(f), "a");
}

}  // namespace
