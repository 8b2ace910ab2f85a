// The video device: textures, a frame of textured quads with 2D transforms,
// D3DBLEND factors, depth and alpha test, raw-pixel overlay, read-back and
// present. Two back ends give the same pixels: gl (OpenGL 3.3 core) and soft
// (the CPU reference rasterizer, also usable without any window).
#pragma once
#include <cstdint>
#include <span>

struct PlatVideo;     // a device
struct PlatWindow;    // see platform/display.h
using PlatTexture = std::intptr_t;  // 0 is no texture

enum class PlatVideoBackend { Auto, GL, Soft };

// D3DBLEND factors.
enum PlatBlend : int {
  kBlendZero = 1,
  kBlendOne = 2,
  kBlendSrcColor = 3,
  kBlendInvSrcColor = 4,
  kBlendSrcAlpha = 5,
  kBlendInvSrcAlpha = 6,
  kBlendDestAlpha = 7,
  kBlendInvDestAlpha = 8,
  kBlendDestColor = 9,
  kBlendInvDestColor = 10,
  kBlendSrcAlphaSat = 11,
  kBlendBothSrcAlpha = 12,
  kBlendBothInvSrcAlpha = 13,
};

// One textured quad. Its local corners are (-centre) and (src size - centre);
// screen = (m[0]*lx + m[2]*ly + m[4], m[1]*lx + m[3]*ly + m[5]). Texels come
// from the source rectangle of the texture (in texels; may reach outside, the
// sampler clamps at the texture's edges). Colour is the texel modulated by
// alpha / 255 in its alpha only.
struct PlatQuad {
  PlatTexture texture;
  float src_left, src_top, src_right, src_bottom;
  float centre_x, centre_y;
  float m[6];
  float depth;          // 0 … 1, tested less-or-equal and written
  std::uint8_t alpha;   // 0 … 255
  int src_blend;        // PlatBlend
  int dst_blend;        // PlatBlend
};

// Creates a device of width × height for a window (or, for soft, for no
// window at all when window is null). Auto picks gl and falls back to soft;
// the environment variable SHOOTER_VIDEO=gl|soft overrides Auto.
PlatVideo* plat_video_create(PlatVideoBackend backend, PlatWindow* window, int width, int height);
void plat_video_destroy(PlatVideo* video);
PlatVideoBackend plat_video_backend(const PlatVideo* video);

// Textures hold 32-bit texels, 0xAARRGGBB in native order (B, G, R, A bytes).
PlatTexture plat_texture_create(PlatVideo* video, int width, int height);
void plat_texture_destroy(PlatVideo* video, PlatTexture texture);
void plat_texture_upload(PlatVideo* video, PlatTexture texture, int x, int y, int width,
                         int height, const std::uint32_t* texels, int pitch_texels);
// Reads the whole texture, rows top-down, width × height texels.
void plat_texture_read(PlatVideo* video, PlatTexture texture, std::uint32_t* out);
int plat_texture_width(PlatVideo* video, PlatTexture texture);
int plat_texture_height(PlatVideo* video, PlatTexture texture);

// A frame: clear colour 0 and depth 1.0, quads in order, then the overlay of
// raw pixels and filled rectangles over the finished picture.
void plat_video_begin_frame(PlatVideo* video);
void plat_video_draw_quad(PlatVideo* video, const PlatQuad& quad);
void plat_video_end_frame(PlatVideo* video);
// Raw 32-bit values (shown as 0x00RRGGBB) written over the frame.
void plat_video_overlay_pixel(PlatVideo* video, int x, int y, std::uint32_t value);
// Fills left ≤ x < right, top ≤ y < bottom, clipped to the buffer.
void plat_video_overlay_fill(PlatVideo* video, int left, int top, int right, int bottom,
                             std::uint32_t value);
// The back buffer, rows top-down, 0x00RRGGBB, width × height.
void plat_video_read_back(PlatVideo* video, std::uint32_t* out);
// Presents; 0 on success. With vsync on and no retrace wait available the
// present is paced to the display's refresh rate.
int plat_video_present(PlatVideo* video);
void plat_video_set_vsync(PlatVideo* video, bool on);
int plat_video_width(const PlatVideo* video);
int plat_video_height(const PlatVideo* video);
