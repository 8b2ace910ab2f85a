// Helpers for the sound tests: generated signals, WAV images built in
// memory, OGG files made by the system's oggenc, and a fixture whose output
// is mixed by the test itself.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "sound/sound.h"

namespace sndtest {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
  put16(b, v & 0xffff);
  put16(b, v >> 16);
}
inline void put_tag(Bytes& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(tag[i]));
}

// Interleaved 16-bit samples: two tones, never zero at the first frame.
inline std::vector<std::int16_t> tone(int frames, int channels, int rate, double amp = 12000.0) {
  std::vector<std::int16_t> s(static_cast<std::size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      double t = static_cast<double>(i) / rate;
      double v = amp * std::sin(2 * M_PI * (440.0 + 110.0 * c) * t + 0.7) +
                 0.3 * amp * std::sin(2 * M_PI * 1375.0 * t);
      s[static_cast<std::size_t>(i) * channels + c] = static_cast<std::int16_t>(std::lrint(v));
    }
  }
  return s;
}

inline Bytes pcm_bytes(const std::vector<std::int16_t>& s) {
  Bytes b(s.size() * 2);
  if (!s.empty()) std::memcpy(b.data(), s.data(), b.size());
  return b;
}

// A RIFF WAVE image: "fmt " at offset 12, optional chunks, then "data".
struct WavLayout {
  int format_tag = 1;
  int channels = 2;
  int rate = 44100;
  int bits = 16;
  int fmt_size = 16;
  std::vector<std::pair<std::string, Bytes>> extra_chunks;  // before "data"
};

inline Bytes wav_image(const WavLayout& w, const Bytes& data) {
  Bytes b;
  put_tag(b, "RIFF");
  put32(b, 0);
  put_tag(b, "WAVE");
  put_tag(b, "fmt ");
  put32(b, static_cast<std::uint32_t>(w.fmt_size));
  const int align = w.channels * w.bits / 8;
  put16(b, static_cast<std::uint32_t>(w.format_tag));
  put16(b, static_cast<std::uint32_t>(w.channels));
  put32(b, static_cast<std::uint32_t>(w.rate));
  put32(b, static_cast<std::uint32_t>(w.rate * align));
  put16(b, static_cast<std::uint32_t>(align));
  put16(b, static_cast<std::uint32_t>(w.bits));
  for (int i = 16; i < w.fmt_size; ++i) b.push_back(0);
  for (const auto& [tag, body] : w.extra_chunks) {
    put_tag(b, tag.c_str());
    put32(b, static_cast<std::uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
  }
  put_tag(b, "data");
  put32(b, static_cast<std::uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  const auto riff = static_cast<std::uint32_t>(b.size() - 8);
  std::memcpy(b.data() + 4, &riff, 4);
  return b;
}

inline Bytes wav_image(const std::vector<std::int16_t>& s, int channels, int rate) {
  WavLayout w;
  w.channels = channels;
  w.rate = rate;
  return wav_image(w, pcm_bytes(s));
}

inline Bytes read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// A folder for the files of one test run, removed when the process ends.
inline std::string temp_dir() {
  static char dir[] = "/tmp/sound-test-XXXXXX";
  static const bool made = [] {
    if (!mkdtemp(dir)) return false;
    std::atexit([] { std::system((std::string("rm -rf ") + dir).c_str()); });
    return true;
  }();
  return made ? std::string(dir) : std::string("/tmp");
}

inline bool have_tool(const char* tool) {
  std::string cmd = std::string("command -v ") + tool + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// Encodes interleaved samples with oggenc; returns the file name or "".
inline std::string make_ogg(const std::string& name, const std::vector<std::int16_t>& s,
                            int channels, int rate, const char* quality = "3") {
  const std::string wav = temp_dir() + "/" + name + ".wav";
  const std::string ogg = temp_dir() + "/" + name + ".ogg";
  write_file(wav, wav_image(s, channels, rate));
  std::string cmd = "oggenc -Q -q " + std::string(quality) + " -o " + ogg + " " + wav;
  return std::system(cmd.c_str()) == 0 ? ogg : std::string();
}

// The PCM that oggdec writes for a file: raw, little-endian, 16-bit signed.
inline Bytes oggdec_pcm(const std::string& ogg) {
  const std::string raw = ogg + ".raw";
  std::string cmd = "oggdec -Q -R -e 0 -b 16 -s 1 -o " + raw + " " + ogg;
  if (std::system(cmd.c_str()) != 0) return {};
  return read_file(raw);
}

// Loads a sound from an image in memory, as snd_catch_memory does.
inline RtHandle catch_image(RtHandle id, const Bytes& image) {
  return snd_catch_memory(id, image.data(), static_cast<std::uint32_t>(image.size()));
}

// Reads a whole sound buffer's bytes.
inline Bytes buffer_bytes(PlatAudioBuffer* b) {
  std::uint32_t size = plat_audio_buffer_size(b);
  void* region = nullptr;
  std::uint32_t n = 0;
  if (!plat_audio_buffer_lock(b, 0, size, &region, &n)) return {};
  Bytes out(static_cast<std::uint8_t*>(region), static_cast<std::uint8_t*>(region) + n);
  plat_audio_buffer_unlock(b, region, n);
  return out;
}

// Mixes frames of the output in manual mode.
inline std::vector<std::int16_t> render(int frames) {
  std::vector<std::int16_t> out(static_cast<std::size_t>(frames) * 2);
  plat_audio_render(out.data(), frames);
  return out;
}

inline bool tools_present() {
  return have_tool("oggenc") && have_tool("oggdec");
}

// The library on an output that the test mixes itself.
class ManualSound : public ::testing::Test {
 protected:
  void SetUp() override {
    plat_audio_use_manual(true);
    snd_decoders_init();
    ASSERT_NE(snd_init(), nullptr);
  }
  void TearDown() override {
    snd_shutdown();
    plat_audio_use_manual(false);
  }
};

}  // namespace sndtest
