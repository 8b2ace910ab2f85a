// Image objects: creation fills, depth rules, numbered and dynamic ids, the
// row pitch rule, lookups of missing images and freeing.
#include <cstring>

#include "tests/image/codec_test_support.h"

namespace {
using codec_test::ImageLibrary;
using codec_test::pixel;

using ImageObjects = ImageLibrary;

TEST(ImageRowPitch, FollowsTheRuleForEveryDepth) {
  EXPECT_EQ(img_row_pitch(3, 24), 12);
  EXPECT_EQ(img_row_pitch(3, 1), 4);
  EXPECT_EQ(img_row_pitch(3, 4), 4);
  EXPECT_EQ(img_row_pitch(33, 1), 8);
  EXPECT_EQ(img_row_pitch(9, 4), 8);
  EXPECT_EQ(img_row_pitch(5, 8), 8);
  EXPECT_EQ(img_row_pitch(3, 15), 8);
  EXPECT_EQ(img_row_pitch(3, 16), 8);
  EXPECT_EQ(img_row_pitch(5, 24), 16);
  EXPECT_EQ(img_row_pitch(5, 32), 20);
  EXPECT_EQ(img_row_pitch(5, 7), 20);  // any other depth: four bytes a pixel
}

TEST_F(ImageObjects, TransparentFlagGivesAllZeroPixelsOtherwiseOpaqueBlack) {
  std::intptr_t clear = img_create(-1, 1, 20, 32 + kImgCreateTransparent);
  ASSERT_NE(clear, 0);
  ImgBitmap* bitmap = img_bitmap(clear);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->pitch, 4);
  for (int i = 0; i < 80; ++i) EXPECT_EQ(bitmap->pixels[i], 0) << i;

  std::intptr_t opaque = img_create(-1, 1, 20, 32);
  bitmap = img_bitmap(opaque);
  ASSERT_NE(bitmap, nullptr);
  for (int y = 0; y < 20; ++y) EXPECT_EQ(pixel(bitmap, 0, y), (std::array<int, 4>{0, 0, 0, 255}));
  auto* record = reinterpret_cast<ImageObject*>(opaque);
  EXPECT_EQ(record->width, 1);
  EXPECT_EQ(record->height, 20);
  EXPECT_EQ(record->depth, 32);
  EXPECT_EQ(record->source_depth, 32);
}

TEST_F(ImageObjects, DepthsBelow24AreRaisedTo24AndFilledBlack) {
  for (int depth : {8, 16, 24 + kImgCreateTransparent}) {
    std::intptr_t id = img_create(-1, 3, 2, depth);
    ASSERT_NE(id, 0);
    auto* record = reinterpret_cast<ImageObject*>(id);
    EXPECT_EQ(record->depth, 24);
    EXPECT_EQ(record->source_depth, 24);
    ImgBitmap* bitmap = img_bitmap(id);
    EXPECT_EQ(bitmap->pitch, 12);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(bitmap->pixels[i], 0);
  }
}

TEST_F(ImageObjects, NumberedImagesReturnTheirHandleAndAreReplacedByNumber) {
  std::intptr_t first = img_create(7, 4, 4, 24);
  ASSERT_NE(first, 0);
  EXPECT_EQ(img_handle(7), first);
  EXPECT_EQ(reinterpret_cast<ImgBitmap*>(first)->kind, kImgKindBitmap);
  EXPECT_EQ(img_width(7), 4);
  EXPECT_EQ(img_is_valid(7), 1);
  std::intptr_t second = img_create(7, 9, 5, 32);
  ASSERT_NE(second, 0);
  EXPECT_EQ(img_handle(7), second);
  EXPECT_EQ(img_width(7), 9);
  EXPECT_EQ(img_height(7), 5);
  img_free(7);
  EXPECT_EQ(img_is_valid(7), 0);
  EXPECT_EQ(img_handle(7), 0);
  EXPECT_EQ(img_width(7), 0);
  EXPECT_EQ(img_bitmap(7), nullptr);
}

TEST_F(ImageObjects, FailedCreationLeavesNoImage) {
  EXPECT_EQ(img_create(3, 0, 5, 24), 0);
  EXPECT_EQ(img_is_valid(3), 0);
  EXPECT_EQ(img_create(-1, 5, -1, 24), 0);
  // Sizes the 16-bit record cannot hold, or whose pixel memory would be
  // absurd or overflow, are refused.
  EXPECT_EQ(img_create(-1, 40000, 2, 32), 0);
  EXPECT_EQ(img_create(-1, 30000, 30000, 32), 0);
  EXPECT_EQ(img_create_dib(0x7fff, 0x7fff, 32), 0);
  rt_objects_enum_start(img_objects());
  EXPECT_EQ(rt_objects_enum_next(img_objects(), nullptr), nullptr) << "a record was left behind";
}

TEST_F(ImageObjects, MissingImagesGiveZeroAndFreeingThemIsHarmless) {
  EXPECT_EQ(img_handle(12), 0);
  EXPECT_EQ(img_height(12), 0);
  EXPECT_EQ(img_is_valid(12), 0);
  EXPECT_EQ(img_is_valid(123456789), 0);
  img_free(-1);
  img_free(12);
  std::intptr_t dynamic = img_create(-1, 2, 2, 24);
  img_free(dynamic);
  EXPECT_EQ(img_is_valid(dynamic), 0);
  EXPECT_EQ(img_width(dynamic), 0);
}

TEST_F(ImageObjects, FreeAllReleasesNumberedAndDynamicImages) {
  std::intptr_t a = img_create(-1, 2, 2, 24);
  std::intptr_t b = img_create(-1, 2, 2, 32);
  ASSERT_NE(img_create(0, 2, 2, 24), 0);
  ASSERT_NE(img_create(40, 2, 2, 24), 0);  // beyond the first 16 slots
  img_free_all();
  EXPECT_EQ(img_is_valid(a), 0);
  EXPECT_EQ(img_is_valid(b), 0);
  EXPECT_EQ(img_is_valid(0), 0);
  EXPECT_EQ(img_is_valid(40), 0);
}

TEST_F(ImageObjects, CreateDibHasTheBottomUpLayout) {
  auto* bitmap = reinterpret_cast<ImgBitmap*>(img_create_dib(5, 3, 8));
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->bits_per_pixel, 24);
  EXPECT_EQ(bitmap->pitch, 16);
  // Pixel (x, y) from the top lies at bits + x·3 + (height − y − 1)·pitch.
  bitmap->pixels[2 * 3 + (3 - 0 - 1) * 16] = 77;
  EXPECT_EQ(pixel(bitmap, 2, 0)[0], 77);
  img_bitmap_destroy(bitmap);
}
}  // namespace
