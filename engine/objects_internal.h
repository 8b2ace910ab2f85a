// Records behind texture, sprite and font handles, the queued draw and box
// entries, and the engine-internal helpers shared by the texture, sprite,
// text, box, collision and screenshot files.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/engine.h"
#include "platform/video.h"
#include "runtime/structs.h"

struct ListHeader;

// Texel formats a texture reports (the Direct3D numbers).
enum EngTextureFormat : std::int32_t {
  kFormatR8G8B8 = 20,
  kFormatA8R8G8B8 = 21,
  kFormatX8R8G8B8 = 22,
};

// Largest side of a texture; keeps the CPU copy's size in range.
inline constexpr int kMaxTextureSide = 8192;

struct TextureRecord {
  PlatTexture texture;  // the device texture; replaced in place by a colour key
  char* file_name;      // runtime string, file loads only
  std::int32_t render_target;
  std::int32_t format;  // EngTextureFormat of level 0
  std::int32_t height, width;
  // CPU copy of level 0 (0xAARRGGBB, rows top-down, width × height) from the
  // main heap. Alpha is 0xFF everywhere in formats without alpha. Grabs,
  // colour keys and collision pictures read it (through eng_texture_texels)
  // instead of the device. Null while a large texture's copy is dropped: the
  // device holds the same texels and gives them back on demand.
  std::uint32_t* texels;
  std::int32_t copy_held;  // brought back once: the copy stays from then on
  // Known to hold no opaque black texel, so keying black changes nothing
  // (set by the copies that look, and by keying black itself).
  std::int32_t black_free;
};

struct SpriteDrawEntry;

// What a collision box is worked out from, the floats by their bits: the
// same inputs give the same box.
struct CollisionBoxInputs {
  std::int32_t width, height;
  std::uint32_t centre[2], scale[2], angle;
  std::int32_t x, y;
  bool operator==(const CollisionBoxInputs&) const = default;
};

// Per-sprite collision state: the CPU picture of the sprite as last rendered
// for a test, and the bounding box of the last tested position with what it
// was worked out from.
struct SpriteCollision {
  std::uint32_t* picture;  // main heap, picture_width × picture_height
  std::int32_t picture_width, picture_height;
  std::int32_t picture_capacity;  // texels allocated
  std::int32_t box[4];            // left, top, right, bottom
  CollisionBoxInputs box_inputs;
  std::int32_t box_known;    // box and box_inputs have been set
  std::int32_t cache_valid;  // picture rendered since this sprite's last pass
};

struct SpriteRecord {
  std::intptr_t batcher;  // no separate batcher object on this platform
  EngHandle texture;      // TextureRecord address; never 0
  float place[2];         // translation of the entry being drawn (scratch)
  float centre[3];
  float scale[2];
  std::int32_t begin_flags;
  std::int32_t texture_height, texture_width;
  float angle;  // radians, clockwise on screen
  float depth;
  std::uint8_t animated;
  float frame_timer;  // 1/60-second units since the last advance
  std::int32_t last_frame;
  std::int32_t current_frame;
  float speed;             // frames per second; 0 = no automatic advance
  std::int32_t source[4];  // scratch: frame rectangle being drawn
  std::int32_t frame_width, frame_height;
  std::int32_t frame_step;
  std::int32_t src_blend, dst_blend;
  std::int32_t frames_per_row;
  SpriteCollision collision;
  // This sprite's entries of the draw queue, in call order. The pass follows
  // these chains in sprite-list order instead of walking the whole queue for
  // every sprite.
  SpriteDrawEntry* queue_first;
  SpriteDrawEntry* queue_last;
};

struct SpriteDrawEntry {
  EngHandle sprite;
  float x, y;
  float angle;
  float scale_x, scale_y;
  float depth;
  std::int32_t alpha;
  std::int32_t src_blend, dst_blend;
  std::int32_t frame;
  SpriteDrawEntry* next_of_sprite;
};

enum EngBoxKind : std::int32_t { kBoxOutline = 4, kBoxFilled = 5 };

struct BoxEntry {
  std::int32_t left, top, right, bottom;
  std::int32_t kind;     // EngBoxKind
  std::uint32_t colour;  // written raw
};

// The font description a D3DX font was made from; fonts draw nothing here.
struct FontDesc {
  std::int32_t height, width, weight, mip_levels;
  std::int32_t italic;
  std::uint8_t charset, output_precision, quality, pitch_and_family;
  char face[32];
};

struct FontRecord {
  std::intptr_t font;  // no font object on this platform
  std::intptr_t batcher;
  FontDesc desc;
};

// One queued text of a font; nothing in the program queues one.
struct FontTextEntry {
  EngHandle font;
  char* text;  // runtime string
  std::int32_t x, y;
  std::uint32_t colour;
};

// Structure descriptors of the records with runtime strings.
extern const RtDescWord kTextureRecordDesc[];
extern const RtDescWord kSpriteRecordDesc[];
extern const RtDescWord kFontTextEntryDesc[];

// Frees (when they exist) and creates empty the texture, sprite, draw-queue,
// box, font and font-text lists of g_engine, releasing the CPU copies held by
// the old records. The device textures of the old records are left to the
// device they belong to.
void eng_object_lists_reset();

// Adds the default font (height 16, weight 600, empty face); it does not
// become the current font. 0 on failure.
EngHandle eng_font_add_default();

// Degrees to radians, as every angle conversion of the engine does it.
inline constexpr float kDegreesToRadians = 0.01745299994945526f;

// Lookups that walk the list from its start and leave the found record
// current; null when the handle is not in the list.
SpriteRecord* eng_find_sprite(EngHandle handle);
TextureRecord* eng_find_texture(EngHandle handle);
// Every add to or delete from the texture or sprite list calls this, so
// that the lookups forget the places they remembered.
void eng_object_list_changed();

// Texture helpers shared by the texture sources.
// Adds a texture record of width × height with a CPU copy (zeroed unless the
// caller writes every texel itself) and a device texture; null (record
// removed) when either cannot be made.
TextureRecord* eng_texture_add(int width, int height, EngTextureFormat format, bool zero = true);
// Copies the CPU texels to the device texture.
void eng_texture_upload(TextureRecord* texture);
// The CPU copy, read back from the device first when it was dropped; null
// when no memory is left for it.
std::uint32_t* eng_texture_texels(TextureRecord* texture);
// Lets go of the CPU copies of large textures the device is done reading,
// without waiting for it; texture adds run it before taking `taking` bytes.
// Memory freed beyond what is about to be taken goes back to the system.
void eng_texture_drop_copies(std::size_t taking = 0);
// The same, run by every present, only while a large copy uploaded since
// the last look may still be being read.
void eng_texture_drop_waiting_copies();
// CPU copies of at least this many bytes are dropped once uploaded.
inline constexpr std::size_t kEngDropCopyBytes = std::size_t{1} << 20;
// Exact match of colour (0x00BBGGRR) becomes transparent black; the texture
// becomes A8R8G8B8. Every sprite on it sees the change.
void eng_texture_colour_key(TextureRecord* texture, std::int32_t colour);
// Removes a texture record (and its device texture and CPU copy).
void eng_texture_remove(TextureRecord* texture);
// File load through the image library, at the file's own size, opaque black
// made transparent; without alpha every texel is opaque. Stores error 18 and
// returns null on failure.
TextureRecord* eng_texture_load_file(const char* file, bool alpha);
// Runtime image to texture: flip stores the rows upside down; alpha 1 keeps
// the image's alpha. 0 when the image does not exist.
EngHandle eng_texture_transfer(std::intptr_t image, int flip, int alpha);

// Queues a draw of the sprite with the given frame number.
void eng_sprite_queue(SpriteRecord* sprite, float x, float y, int alpha, int frame);
// The quad a queued entry draws, for the sprite's state now. Also the
// reference the collision picture and the benchmarks build on.
PlatQuad eng_sprite_entry_quad(const SpriteRecord& sprite, const SpriteDrawEntry& entry);
// Frame rectangle (left, top, right, bottom) of frame f of an animated sprite.
void eng_sprite_frame_rect(const SpriteRecord& sprite, int frame, std::int32_t rect[4]);
// Advances the animation timer once, as the pass does for a sprite's first
// drawn entry of a frame.
void eng_sprite_advance(SpriteRecord& sprite, float frame_time);

// Largest side of a collision picture.
inline constexpr int kMaxPictureSide = 8192;
// Renders the sprite as it is now (scale, angle, frame) centred in a
// width × height picture on transparent black; false when no picture can be
// made (it is then empty).
bool eng_collision_render(SpriteRecord& sprite, int width, int height);
