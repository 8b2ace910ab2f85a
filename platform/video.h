// The video device: textures, a frame of textured quads with 2D transforms,
// D3DBLEND factors, depth and alpha test, raw-pixel overlay, read-back and
// present. Two back ends give the same pixels: gl (OpenGL 3.3 core) and soft
// (the CPU reference rasterizer, also usable without any window).
#pragma once
#include <cstdint>
#include <span>

struct PlatVideo;                   // a device
struct PlatWindow;                  // see platform/display.h
using PlatTexture = std::intptr_t;  // 0 is no texture

enum class PlatVideoBackend { Auto, GL, Soft };

// D3DBLEND factors. The back buffer has no alpha, so destination alpha reads
// as 1: DestAlpha acts as One, InvDestAlpha and SrcAlphaSat as Zero.
// BothSrcAlpha and BothInvSrcAlpha as the source factor also set the
// destination factor (InvSrcAlpha, SrcAlpha); given as the destination
// factor they stand for that destination half. Values outside 1 … 13 count
// as One for the source and Zero for the destination.
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
// alpha / 255 in its alpha only. Pixel centres are at half-integer screen
// positions, so an unrotated quad at scale 1 and an integer position shows
// its texels one to one.
struct PlatQuad {
  PlatTexture texture;
  float src_left, src_top, src_right, src_bottom;
  float centre_x, centre_y;
  float m[6];
  float depth;         // 0 … 1, tested less-or-equal and written; outside: not drawn
  std::uint8_t alpha;  // 0 … 255
  int src_blend;       // PlatBlend
  int dst_blend;       // PlatBlend
};

// False when SHOOTER_VIDEO=soft forces the CPU device; the display then
// creates its windows without OpenGL.
bool plat_video_gl_wanted();

// Creates a device with a width × height back buffer presenting into a
// window. Auto picks gl and falls back to soft when no OpenGL 3.3 core
// context can be made; SHOOTER_VIDEO=gl|soft overrides Auto. With a null
// window, Auto and Soft give a headless soft device, and GL renders
// off-screen through a hidden window of its own (needs a display).
// Null on failure; plat_video_last_error() then says why.
// Test hook: GL context creation fails from now on (as where the driver has
// no OpenGL 3.3), so the automatic choice falls back to the soft device.
void plat_video_gl_refuse_contexts(bool refuse);
PlatVideo* plat_video_create(PlatVideoBackend backend, PlatWindow* window, int width, int height);
void plat_video_destroy(PlatVideo* video);
PlatVideoBackend plat_video_backend(const PlatVideo* video);
const char* plat_video_last_error();

// Textures hold 32-bit texels, 0xAARRGGBB in native order (B, G, R, A bytes),
// and start transparent black. Sides are 1 … 16384; 0 on failure.
PlatTexture plat_texture_create(PlatVideo* video, int width, int height);
void plat_texture_destroy(PlatVideo* video, PlatTexture texture);
// Writes a rectangle (clipped to the texture); pitch_texels is the source's
// row length in texels.
void plat_texture_upload(PlatVideo* video, PlatTexture texture, int x, int y, int width, int height,
                         const std::uint32_t* texels, int pitch_texels);
// Writes the whole texture from texels (rows top-down, width × height) that
// the caller keeps alive and unchanged until plat_texture_wait or
// plat_texture_destroy for this texture returns: the device may read them
// later, on its own thread, while the caller goes on.
void plat_texture_upload_kept(PlatVideo* video, PlatTexture texture, const std::uint32_t* texels);
// Returns once the device is done reading the texels of a kept upload.
void plat_texture_wait(PlatVideo* video, PlatTexture texture);
// True when the device is done reading the texels of the texture's last kept
// upload (or has none), so the caller may change or free them; never waits.
bool plat_texture_upload_done(PlatVideo* video, PlatTexture texture);
// Gives the memory freed so far back to the system where the device keeps
// the allocator from doing so by itself (gl). For after large frees that
// later allocations will not fill again, such as CPU copies of textures.
void plat_video_release_memory(PlatVideo* video);
// Reads the whole texture, rows top-down, width × height texels.
void plat_texture_read(PlatVideo* video, PlatTexture texture, std::uint32_t* out);
int plat_texture_width(PlatVideo* video, PlatTexture texture);
int plat_texture_height(PlatVideo* video, PlatTexture texture);

// A frame: clear colour 0 and depth 1.0, quads in order, then the overlay of
// raw pixels and filled rectangles over the finished picture. Overlay calls
// made inside the frame take effect at its end, in call order, over every
// quad of the frame; made outside a frame they take effect at once.
void plat_video_begin_frame(PlatVideo* video);
void plat_video_draw_quad(PlatVideo* video, const PlatQuad& quad);
void plat_video_end_frame(PlatVideo* video);
// Raw values written unblended: the low 24 bits show as 0x00RRGGBB.
void plat_video_overlay_pixel(PlatVideo* video, int x, int y, std::uint32_t value);
// Fills left ≤ x < right, top ≤ y < bottom, clipped to the buffer.
void plat_video_overlay_fill(PlatVideo* video, int left, int top, int right, int bottom,
                             std::uint32_t value);
// The back buffer, rows top-down, 0x00RRGGBB, width × height. It survives
// the present, so a screenshot after a flip reads what was shown.
void plat_video_read_back(PlatVideo* video, std::uint32_t* out);
// Waits until everything submitted so far is drawn (for measurements).
void plat_video_finish(PlatVideo* video);
// Presents, scaled and letterboxed when the window's drawable is not the
// back buffer's size; 0 on success. With vsync on and no retrace wait
// available the present is paced to the display's refresh rate.
int plat_video_present(PlatVideo* video);
void plat_video_set_vsync(PlatVideo* video, bool on);
int plat_video_width(const PlatVideo* video);
int plat_video_height(const PlatVideo* video);
