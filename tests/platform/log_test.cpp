// The diagnostics channel: the level filter and SHOOTER_LOG, the line
// format, folding of repeated lines (also from several threads), capture,
// and muting a library's own stderr output while the channel still gets out.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/log.h"
#include "tests/platform/log_capture.h"

namespace {

class LogTest : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("SHOOTER_LOG"); }
  static std::string prefix(const char* layer) {
    return std::string(program_invocation_short_name) + ": " + layer + ": ";
  }
  LogCapture log_;
};

TEST_F(LogTest, WritesLevelsAtOrAboveTheChosenOneWithProgramAndLayer) {
  const PlatLogLevel all[] = {PlatLogLevel::Error, PlatLogLevel::Warning, PlatLogLevel::Info,
                              PlatLogLevel::Debug};
  for (PlatLogLevel chosen : all) {
    log_.take_lines();
    plat_log_set_level(chosen);
    for (PlatLogLevel level : all) plat_log(level, "image", "level %d", static_cast<int>(level));
    plat_log_flush();
    ASSERT_EQ(log_.lines().size(), static_cast<std::size_t>(chosen)) << static_cast<int>(chosen);
    for (std::size_t i = 0; i < log_.lines().size(); ++i) {
      EXPECT_EQ(log_.lines()[i], prefix("image") + "level " + std::to_string(i + 1));
      EXPECT_EQ(log_.levels()[i], all[i]);
    }
  }
  log_.take_lines();
  plat_log_set_level(PlatLogLevel::Off);
  plat_log(PlatLogLevel::Error, "game", "not even an error");
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_FALSE(plat_log_enabled(PlatLogLevel::Error));
}

TEST_F(LogTest, EnvironmentChoosesTheLevelAndAnUnknownValueSaysSo) {
  const std::pair<const char*, PlatLogLevel> cases[] = {{"debug", PlatLogLevel::Debug},
                                                        {"info", PlatLogLevel::Info},
                                                        {"WARNING", PlatLogLevel::Warning},
                                                        {"error", PlatLogLevel::Error},
                                                        {"off", PlatLogLevel::Off}};
  for (const auto& [text, level] : cases) {
    setenv("SHOOTER_LOG", text, 1);
    plat_log_read_env();
    EXPECT_EQ(plat_log_level(), level) << text;
  }
  EXPECT_TRUE(log_.lines().empty());
  unsetenv("SHOOTER_LOG");
  plat_log_read_env();
  EXPECT_EQ(plat_log_level(), PlatLogLevel::Warning);
  setenv("SHOOTER_LOG", "verbose", 1);
  plat_log_read_env();
  EXPECT_EQ(plat_log_level(), PlatLogLevel::Warning);
  ASSERT_EQ(log_.lines().size(), 1u);
  EXPECT_EQ(log_.lines()[0].rfind(prefix("log") + "SHOOTER_LOG=verbose is not one of", 0), 0u)
      << log_.lines()[0];
}

TEST_F(LogTest, FoldsRunsOfIdenticalLinesOnly) {
  for (int i = 0; i < 41; ++i) plat_log(PlatLogLevel::Warning, "sound", "Sound\\New2.OGG: missing");
  plat_log(PlatLogLevel::Warning, "image", "Sound\\New2.OGG: missing");  // other layer
  plat_log(PlatLogLevel::Warning, "image", "once");
  plat_log(PlatLogLevel::Warning, "image", "twice");
  plat_log(PlatLogLevel::Warning, "image", "twice");
  ASSERT_EQ(log_.lines().size(), 5u);
  EXPECT_EQ(log_.lines()[0], prefix("sound") + "Sound\\New2.OGG: missing");
  EXPECT_EQ(log_.lines()[1], prefix("sound") + "\u2026 repeated 40 times");
  EXPECT_EQ(log_.lines()[2], prefix("image") + "Sound\\New2.OGG: missing");
  EXPECT_EQ(log_.lines()[3], prefix("image") + "once");
  EXPECT_EQ(log_.lines()[4], prefix("image") + "twice");
  plat_log_flush();  // the pending count comes out on its own
  ASSERT_EQ(log_.lines().size(), 6u);
  EXPECT_EQ(log_.lines()[5], prefix("image") + "\u2026 repeated 1 time");
  plat_log(PlatLogLevel::Warning, "image", "twice");  // a new run after the flush
  EXPECT_EQ(log_.lines().size(), 7u);
}

TEST_F(LogTest, ThreadsWriteWholeLinesAndEveryRepeatIsCounted) {
  constexpr int kThreads = 4, kEach = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < kEach; ++i) plat_log(PlatLogLevel::Warning, "sound", "same");
    });
  for (auto& t : threads) t.join();
  plat_log_flush();
  ASSERT_EQ(log_.lines().size(), 2u);
  EXPECT_EQ(log_.lines()[0], prefix("sound") + "same");
  EXPECT_EQ(log_.lines()[1],
            prefix("sound") + "\u2026 repeated " + std::to_string(kThreads * kEach - 1) + " times");
}

// Standard error pointed at a file for the duration of a test.
class StderrToFile {
 public:
  StderrToFile() {
    char name[] = "/tmp/shooter-log-XXXXXX";
    fd_ = mkstemp(name);
    path_ = name;
    saved_ = dup(STDERR_FILENO);
    dup2(fd_, STDERR_FILENO);
  }
  ~StderrToFile() {
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    close(fd_);
    unlink(path_.c_str());
  }
  std::string text() const {
    std::ifstream in(path_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  int fd_ = -1, saved_ = -1;
  std::string path_;
};

TEST_F(LogTest, MutedStderrDropsOthersLinesButNotTheChannels) {
  plat_log_capture(nullptr, nullptr);
  StderrToFile err;
  ASSERT_EQ(write(STDERR_FILENO, "before\n", 7), 7);
  {
    PlatStderrMute outer;
    PlatStderrMute inner;  // nested: still muted after the inner one ends
  }
  plat_log_mute_stderr_begin();
  plat_log_mute_stderr_begin();
  plat_log_mute_stderr_end();
  ASSERT_EQ(write(STDERR_FILENO, "ALSA lib noise\n", 15), 15);
  plat_log(PlatLogLevel::Warning, "sound", "no audio device: playing silently");
  plat_log_mute_stderr_end();
  ASSERT_EQ(write(STDERR_FILENO, "after\n", 6), 6);
  plat_log(PlatLogLevel::Info, "sound", "below the level");
  EXPECT_EQ(err.text(),
            "before\n" + prefix("sound") + "no audio device: playing silently\n" + "after\n");
}

}  // namespace
