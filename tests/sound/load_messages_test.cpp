// What a sound file load says: the file and why it gave no sound (missing,
// empty, not Vorbis data), or that a cut stream plays only its first part;
// a whole file says nothing. The whole, background and streamed loads alike.
#include "tests/platform/log_capture.h"
#include "tests/sound/sound_test_util.h"

using namespace sndtest;

namespace {

class SoundMessages : public ManualSound {
 protected:
  void SetUp() override {
    if (!tools_present()) GTEST_SKIP() << "oggenc/oggdec (vorbis-tools) not installed";
    ManualSound::SetUp();
  }
  void TearDown() override {
    snd_set_background_loads(false);
    ManualSound::TearDown();
  }
  // The one line a load wrote.
  std::string only_line() {
    auto lines = log_.take_lines();
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? std::string() : lines[0];
  }
  LogCapture log_;
};

bool has(const std::string& line, const std::string& words) {
  return line.find(words) != std::string::npos;
}

constexpr std::uint32_t kLoadModes[] = {0, kSndStreamFromData};

TEST_F(SoundMessages, FilesThatGiveNoSoundSayWhy) {
  write_file(temp_dir() + "/empty.ogg", {});
  Bytes junk(5000);
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<std::uint8_t>(i * 31 + 7);
  write_file(temp_dir() + "/junk.ogg", junk);
  for (bool background : {false, true}) {
    snd_set_background_loads(background);
    for (std::uint32_t flags : kLoadModes) {
      SCOPED_TRACE(testing::Message() << "background " << background << " flags " << flags);
      EXPECT_EQ(snd_load_file(-1, "Sound\\Missing.OGG", flags), 0);
      std::string line = only_line();
      EXPECT_TRUE(has(line, ": sound: Sound\\Missing.OGG: not found (looked in ")) << line;
      EXPECT_TRUE(has(line, "; no sound")) << line;
      EXPECT_EQ(snd_load_file(-1, (temp_dir() + "/junk.ogg").c_str(), flags), 0);
      line = only_line();
      EXPECT_TRUE(has(line,
                      "junk.ogg: not a sound file I can read (libvorbisfile: not Vorbis "
                      "data); no sound"))
          << line;
    }
    EXPECT_EQ(snd_load(-1, (temp_dir() + "/empty.ogg").c_str()), 0);
    EXPECT_TRUE(has(only_line(), "empty.ogg: empty file; no sound"));
  }
}

TEST_F(SoundMessages, CutStreamPlaysItsFirstPartAndSaysSo) {
  const std::string ogg = make_ogg("whole", tone(4 * 44100, 2, 44100), 2, 44100);
  ASSERT_FALSE(ogg.empty());
  const Bytes whole = read_file(ogg);
  const std::string cut = temp_dir() + "/cut.ogg";
  write_file(cut, Bytes(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2)));
  for (bool background : {false, true}) {
    snd_set_background_loads(background);
    for (std::uint32_t flags : kLoadModes) {
      SCOPED_TRACE(testing::Message() << "background " << background << " flags " << flags);
      RtHandle h = snd_load_file(-1, ogg.c_str(), flags);
      ASSERT_NE(h, 0);
      snd_free(h);
      EXPECT_TRUE(log_.take_lines().empty());
      h = snd_load_file(-1, cut.c_str(), flags);
      ASSERT_NE(h, 0);
      snd_free(h);
      const std::string line = only_line();
      EXPECT_TRUE(has(line, "cut.ogg: truncated (the stream has no end); plays the first "))
          << line;
      const double seconds = std::atof(line.substr(line.rfind("first ") + 6).c_str());
      EXPECT_GT(seconds, 0.5) << line;
      EXPECT_LT(seconds, 3.0) << line;
    }
  }
}

}  // namespace
