// The NeuQuant quantiser in its four-channel form: a one-dimensional
// self-organising map of 2^depth neurons trained on a sample of the pixels in
// a gamma-adjusted space (gamma 1.8), with frequency-biased competition. The
// network is kept as separate channel arrays so that the competition loop,
// which is where the time goes, runs over plain integer arrays.
#include "image/neuquant.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int kCycles = 100;
constexpr int kNetBiasShift = 4;  // channel values are kept << 4
constexpr int kIntBiasShift = 16;
constexpr int kIntBias = 1 << kIntBiasShift;
constexpr int kGammaShift = 10;
constexpr int kBetaShift = 10;
constexpr int kBeta = kIntBias >> kBetaShift;
constexpr int kBetaGamma = kIntBias << (kGammaShift - kBetaShift);
constexpr int kRadiusBiasShift = 6;
constexpr int kInitRadius = 32 << kRadiusBiasShift;
constexpr int kRadiusDec = 30;
constexpr int kAlphaBiasShift = 10;
constexpr int kInitAlpha = 1 << kAlphaBiasShift;
constexpr int kRadBiasShift = 8;
constexpr int kRadBias = 1 << kRadBiasShift;
constexpr int kAlphaRadBias = 1 << (kAlphaBiasShift + kRadBiasShift);
constexpr double kGamma = 1.8;
constexpr std::array<std::size_t, 4> kPrimes = {499, 491, 487, 503};
constexpr int kMaxNet = 256;

constexpr int kFarAway = 1 << 24;
constexpr int kRefinePasses = 8;

// The competition runs over eight neurons at a time; the AVX2 clone is
// chosen at load time where the processor has it.
#if defined(__GNUC__) && defined(__x86_64__)
#define NQ_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define NQ_CLONES
#endif
using Lanes = int __attribute__((vector_size(32)));
constexpr int kLanes = 8;

struct Winners {
  int best;    // smallest distance
  int biased;  // smallest distance less bias
};

// Distances of the sample to every neuron (sum of absolute channel
// differences), the first neuron of least distance and of least biased
// distance, and the frequency decay of every neuron.
NQ_CLONES Winners contest_lanes(int size, const int* const ch[4], int* bias, int* freq,
                                const int* sample) {
  const Lanes s0 = Lanes{} + sample[0], s1 = Lanes{} + sample[1], s2 = Lanes{} + sample[2],
              s3 = Lanes{} + sample[3];
  Lanes best = Lanes{} + INT_MAX, best_biased = best, best_at = {}, biased_at = {};
  Lanes at = {0, 1, 2, 3, 4, 5, 6, 7};
  for (int i = 0; i < size; i += kLanes, at += kLanes) {
    Lanes c0, c1, c2, c3, b, f;
    std::memcpy(&c0, ch[0] + i, sizeof c0);
    std::memcpy(&c1, ch[1] + i, sizeof c1);
    std::memcpy(&c2, ch[2] + i, sizeof c2);
    std::memcpy(&c3, ch[3] + i, sizeof c3);
    std::memcpy(&b, bias + i, sizeof b);
    std::memcpy(&f, freq + i, sizeof f);
    Lanes d0 = c0 - s0, d1 = c1 - s1, d2 = c2 - s2, d3 = c3 - s3;
    d0 = (d0 ^ (d0 >> 31)) - (d0 >> 31);
    d1 = (d1 ^ (d1 >> 31)) - (d1 >> 31);
    d2 = (d2 ^ (d2 >> 31)) - (d2 >> 31);
    d3 = (d3 ^ (d3 >> 31)) - (d3 >> 31);
    const Lanes dist = d0 + d1 + d2 + d3;
    const Lanes closer = dist < best;
    best = (dist & closer) | (best & ~closer);
    best_at = (at & closer) | (best_at & ~closer);
    const Lanes biased = dist - (b >> (kIntBiasShift - kNetBiasShift));
    const Lanes better = biased < best_biased;
    best_biased = (biased & better) | (best_biased & ~better);
    biased_at = (at & better) | (biased_at & ~better);
    const Lanes beta_freq = f >> kBetaShift;
    f -= beta_freq;
    b += beta_freq << kGammaShift;
    std::memcpy(freq + i, &f, sizeof f);
    std::memcpy(bias + i, &b, sizeof b);
  }
  Winners w{best_at[0], biased_at[0]};
  int least = best[0], least_biased = best_biased[0];
  for (int l = 1; l < kLanes; ++l) {
    if (best[l] < least || (best[l] == least && best_at[l] < w.best)) {
      least = best[l];
      w.best = best_at[l];
    }
    if (best_biased[l] < least_biased ||
        (best_biased[l] == least_biased && biased_at[l] < w.biased)) {
      least_biased = best_biased[l];
      w.biased = biased_at[l];
    }
  }
  return w;
}

struct GammaTables {
  std::array<int, 256> to_net{};  // 8-bit value -> network value (<< 4)
  std::array<std::uint8_t, 256 << kNetBiasShift> to_value{};
  GammaTables() {
    for (int v = 0; v < 256; ++v)
      to_net[v] = static_cast<int>(
          std::lround(255.0 * std::pow(v / 255.0, 1.0 / kGamma) * (1 << kNetBiasShift)));
    for (int n = 0; n < (256 << kNetBiasShift); ++n) {
      double v = 255.0 * std::pow(n / (255.0 * (1 << kNetBiasShift)), kGamma);
      to_value[n] = static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    }
  }
};

const GammaTables& gamma_tables() {
  static const GammaTables tables;
  return tables;
}

// Channel arrays of the network: 0 blue, 1 green, 2 red, 3 alpha.
struct Network {
  int size = 0;
  alignas(32) std::array<std::array<int, kMaxNet>, 4> ch{};
  alignas(32) std::array<int, kMaxNet> bias{};
  alignas(32) std::array<int, kMaxNet> freq{};
  std::array<int, 33> radpower{};

  explicit Network(int neurons) : size(neurons) {
    for (int i = 0; i < size; ++i) {
      int grey = (i << (kNetBiasShift + 8)) / size;
      ch[0][i] = ch[1][i] = ch[2][i] = grey;
      ch[3][i] = 255 << kNetBiasShift;
      freq[i] = kIntBias / size;
    }
    // Lanes past the last neuron are too far away to ever win.
    for (int i = size; i < kMaxNet; ++i) ch[0][i] = ch[1][i] = ch[2][i] = ch[3][i] = kFarAway;
  }

  // Finds the neuron closest to the sample after bias, updating the
  // frequencies; the unbiased winner gains frequency.
  int contest(const std::array<int, 4>& s) {
    const int* const channels[4] = {ch[0].data(), ch[1].data(), ch[2].data(), ch[3].data()};
    const Winners w = contest_lanes(size, channels, bias.data(), freq.data(), s.data());
    freq[w.best] += kBeta;
    bias[w.best] -= kBetaGamma;
    return w.biased;
  }

  // Moves neuron i towards the sample by amount / Scale; Scale is a power
  // of two known here, so the division costs a shift.
  template <int Scale>
  void move(int i, int amount, const std::array<int, 4>& s) {
    for (int c = 0; c < 4; ++c) ch[c][i] -= amount * (ch[c][i] - s[c]) / Scale;
  }

  void alter_neighbours(int rad, int i, const std::array<int, 4>& s) {
    int lo = std::max(i - rad, -1), hi = std::min(i + rad, size);
    for (int j = i + 1, k = i - 1, m = 1; j < hi || k > lo; ++m) {
      int amount = radpower[m];
      if (j < hi) move<kAlphaRadBias>(j++, amount, s);
      if (k > lo) move<kAlphaRadBias>(k--, amount, s);
    }
  }

  void set_radpower(int rad, int alpha) {
    for (int i = 0; i < rad; ++i)
      radpower[i] = alpha * (((rad * rad - i * i) * kRadBias) / (rad * rad));
  }
};

std::size_t choose_step(std::size_t length_bytes) {
  for (std::size_t prime : kPrimes)
    if (length_bytes % prime != 0) return prime * 4;
  return kPrimes.back() * 4;
}

void learn(Network& net, std::span<const std::uint8_t> bgra) {
  const GammaTables& gamma = gamma_tables();
  const std::size_t pixels = bgra.size() / 4;
  const std::size_t length = pixels * 4;
  const int sample_factor = static_cast<int>(std::min<std::size_t>(pixels / 262144 + 1, 10));
  const int alpha_dec = 30 + (sample_factor - 1) / 3;
  const std::size_t samples = pixels / static_cast<std::size_t>(sample_factor);
  const std::size_t delta = std::max<std::size_t>(samples / kCycles, 1);
  const std::size_t step = choose_step(length);
  int alpha = kInitAlpha, radius = kInitRadius;
  int rad = radius >> kRadiusBiasShift;
  if (rad <= 1) rad = 0;
  net.set_radpower(rad, alpha);
  std::size_t pos = 0;
  for (std::size_t i = 0; i < samples;) {
    const std::uint8_t* p = &bgra[pos];
    const std::array<int, 4> s = {gamma.to_net[p[0]], gamma.to_net[p[1]], gamma.to_net[p[2]],
                                  p[3] << kNetBiasShift};
    int winner = net.contest(s);
    net.move<kInitAlpha>(winner, alpha, s);
    if (rad) net.alter_neighbours(rad, winner, s);
    pos = (pos + step) % length;
    if (++i % delta == 0) {
      alpha -= alpha / alpha_dec;
      radius -= radius / kRadiusDec;
      rad = radius >> kRadiusBiasShift;
      if (rad <= 1) rad = 0;
      net.set_radpower(rad, alpha);
    }
  }
}
struct ColourCount {
  std::uint32_t colour;  // B | G << 8 | R << 16 | A << 24
  std::uint32_t count;
};

// The distinct colours of the picture and how often each occurs: pictures
// repeat their colours, so passes over this list cost far less than over
// every pixel.
std::vector<ColourCount> colour_histogram(std::span<const std::uint8_t> bgra) {
  const std::size_t pixels = bgra.size() / 4;
  std::size_t size = 1024;
  while (size < pixels * 2) size *= 2;
  std::vector<ColourCount> table(size, ColourCount{0, 0});
  for (std::size_t i = 0; i < pixels; ++i) {
    std::uint32_t colour;
    std::memcpy(&colour, &bgra[i * 4], 4);
    std::size_t slot = (colour * 2654435761u) & (size - 1);
    while (table[slot].count != 0 && table[slot].colour != colour) slot = (slot + 1) & (size - 1);
    table[slot].colour = colour;
    ++table[slot].count;
  }
  std::erase_if(table, [](const ColourCount& c) { return c.count == 0; });
  return table;
}

// Lloyd passes after learning: each entry moves to the mean of the colours
// mapped to it. The network lands near those means but not on them, and the
// mean is what makes the mapped picture's squared error least.
void refine(ImgPalette& palette, std::span<const std::uint8_t> bgra) {
  const std::vector<ColourCount> colours = colour_histogram(bgra);
  std::vector<std::uint8_t> mapped(colours.size());
  for (int pass = 0; pass < kRefinePasses; ++pass) {
    std::array<std::array<std::uint64_t, 5>, kMaxNet> sums{};
    ImgNearest nearest(palette);
    for (std::size_t i = 0; i < colours.size(); ++i) {
      const ColourCount& c = colours[i];
      const int b = c.colour & 255, g = (c.colour >> 8) & 255, r = (c.colour >> 16) & 255,
                a = c.colour >> 24;
      const std::int32_t index =
          pass == 0 ? nearest.find(b, g, r, a) : nearest.find_from(b, g, r, a, mapped[i]);
      mapped[i] = static_cast<std::uint8_t>(index);
      auto& sum = sums[static_cast<std::size_t>(index)];
      sum[0] += std::uint64_t{c.count} * b;
      sum[1] += std::uint64_t{c.count} * g;
      sum[2] += std::uint64_t{c.count} * r;
      sum[3] += std::uint64_t{c.count} * a;
      sum[4] += c.count;
    }
    bool moved = false;
    for (int e = 0; e < palette.count; ++e) {
      const auto& sum = sums[static_cast<std::size_t>(e)];
      if (sum[4] == 0) continue;  // nothing maps here: keep the learned colour
      for (int c = 0; c < 4; ++c) {
        const auto mean = static_cast<std::uint8_t>((sum[c] + sum[4] / 2) / sum[4]);
        moved |= mean != palette.bgra[e][c];
        palette.bgra[e][c] = mean;
      }
    }
    if (!moved) break;
  }
}
}  // namespace

ImgPalette img_neuquant(std::span<const std::uint8_t> bgra, std::int32_t colours) {
  ImgPalette palette;
  colours = std::clamp(colours, 2, kMaxNet);
  Network net(colours);
  if (bgra.size() >= 4) learn(net, bgra);
  const GammaTables& gamma = gamma_tables();
  constexpr int kTop = (256 << kNetBiasShift) - 1;
  for (int i = 0; i < colours; ++i) {
    for (int c = 0; c < 3; ++c)
      palette.bgra[i][c] = gamma.to_value[std::clamp(net.ch[c][i], 0, kTop)];
    int a = (net.ch[3][i] + (1 << (kNetBiasShift - 1))) >> kNetBiasShift;
    palette.bgra[i][3] = static_cast<std::uint8_t>(std::clamp(a, 0, 255));
  }
  palette.count = colours;
  if (bgra.size() >= 4) refine(palette, bgra);
  return palette;
}

ImgNearest::ImgNearest(const ImgPalette& palette) : palette_(palette), cache_(1 << 16, 0) {
  std::array<int, 256> order{};
  for (int i = 0; i < palette.count; ++i) order[i] = i;
  std::sort(order.begin(), order.begin() + palette.count,
            [&](int a, int b) { return palette.bgra[a][1] < palette.bgra[b][1]; });
  for (int i = 0; i < palette.count; ++i) {
    by_green_[i] = static_cast<std::uint8_t>(order[i]);
    green_[i] = palette.bgra[order[i]][1];
  }
}

std::int32_t ImgNearest::find(int blue, int green, int red, int alpha) {
  const std::uint32_t colour = static_cast<std::uint32_t>(blue) | (green << 8) | (red << 16) |
                               (static_cast<std::uint32_t>(alpha) << 24);
  const std::uint32_t slot = (colour * 2654435761u) >> 16;
  const std::uint64_t hit = cache_[slot];
  if ((hit >> 40) != 0 && static_cast<std::uint32_t>(hit >> 8) == colour)
    return static_cast<std::int32_t>(hit & 0xff);
  std::int32_t index = search(blue, green, red, alpha, INT_MAX, 0);
  cache_[slot] =
      (std::uint64_t{1} << 40) | (std::uint64_t{colour} << 8) | static_cast<std::uint64_t>(index);
  return index;
}

// Walks outwards from the entries of the nearest green; an entry whose green
// alone is farther than the best distance ends that direction.
std::int32_t ImgNearest::find_from(int blue, int green, int red, int alpha,
                                   std::int32_t hint) const {
  const auto& e = palette_.bgra[static_cast<std::size_t>(hint)];
  const int db = e[0] - blue, dg = e[1] - green, dr = e[2] - red, da = e[3] - alpha;
  // One more than the hint's distance, so an equally near entry of lower
  // index still wins as it would without the hint.
  return search(blue, green, red, alpha, db * db + dg * dg + dr * dr + da * da + 1, hint);
}

std::int32_t ImgNearest::search(int blue, int green, int red, int alpha, int best,
                                int best_index) const {
  const int count = palette_.count;
  int start = static_cast<int>(std::lower_bound(green_.begin(), green_.begin() + count, green) -
                               green_.begin());
  auto visit = [&](int sorted) {
    const auto& e = palette_.bgra[by_green_[sorted]];
    int dg = e[1] - green;
    if (dg * dg >= best) return false;
    int db = e[0] - blue, dr = e[2] - red, da = e[3] - alpha;
    int d = db * db + dg * dg + dr * dr + da * da;
    if (d < best || (d == best && by_green_[sorted] < best_index)) {
      best = d;
      best_index = by_green_[sorted];
    }
    return true;
  };
  bool up = true, down = true;
  for (int k = 0; up || down; ++k) {
    if (up) up = start + k < count && visit(start + k);
    if (down) down = start - 1 - k >= 0 && visit(start - 1 - k);
  }
  return best_index;
}
