// Screen boxes: filled boxes without their right and bottom edges, outlines
// with both ends, clipping, raw colour values and their place over sprites.
#include "runtime/maths.h"
#include "tests/engine/sprite_test_fixture.h"

namespace sprite_test {
namespace {

class BoxDraw : public EngineTest {
 protected:
  // The pixels of a w × h window at (x, y) equal to value, as a picture.
  std::string marks(int x0, int y0, int w, int h, std::uint32_t value) const {
    const Pixels p = screen();
    std::string out;
    for (int y = y0; y < y0 + h; ++y) {
      for (int x = x0; x < x0 + w; ++x) out += p[y * kWidth + x] == value ? '#' : '.';
      out += '\n';
    }
    return out;
  }
};

TEST_F(BoxDraw, FilledBoxLeavesOutItsRightAndBottomEdges) {
  EXPECT_EQ(eng_box_draw(10, 10, 5, 5, 0x123456, 1), 0);
  render();
  EXPECT_EQ(marks(9, 9, 7, 7, 0x123456),
            ".......\n"
            ".#####.\n"
            ".#####.\n"
            ".#####.\n"
            ".#####.\n"
            ".#####.\n"
            ".......\n");
}

TEST_F(BoxDraw, OutlineIncludesBothEnds) {
  eng_box_draw(10, 10, 5, 5, 0x123456, 0);
  render();
  EXPECT_EQ(marks(9, 9, 8, 8, 0x123456),
            "........\n"
            ".######.\n"
            ".#....#.\n"
            ".#....#.\n"
            ".#....#.\n"
            ".#....#.\n"
            ".######.\n"
            "........\n");
}

TEST_F(BoxDraw, EveryModeButOneIsAnOutline) {
  for (int mode : {2, 4, 5, -1}) {
    eng_box_draw(0, 0, 2, 2, 0xFFFFFF, mode);
    render();
    EXPECT_EQ(pixel(1, 1), 0u) << "mode " << mode;
    EXPECT_EQ(pixel(2, 2), 0xFFFFFFu) << "mode " << mode;
  }
}

TEST_F(BoxDraw, ColourIsWrittenRawSoRuntimeRedShowsBlue) {
  eng_box_draw(0, 0, 1, 1, rt_rgb(255, 0, 0), 1);
  eng_box_draw(5, 5, 1, 1, static_cast<int>(0xFF00FF00u), 1);
  render();
  EXPECT_EQ(pixel(0, 0), 0x0000FFu);
  EXPECT_EQ(pixel(5, 5), 0x00FF00u) << "the top byte does not show";
}

TEST_F(BoxDraw, BoxesPartlyOffScreenAreClipped) {
  eng_box_draw(-5, -5, 10, 10, 0xAAAAAA, 0);
  eng_box_draw(1020, 760, 100, 100, 0xBBBBBB, 1);
  eng_box_draw(-3000000, -3000000, 2000000000, 2000000000, 0xCCCCCC, 0);
  render();
  EXPECT_EQ(marks(0, 0, 7, 7, 0xAAAAAA),
            ".....#.\n"
            ".....#.\n"
            ".....#.\n"
            ".....#.\n"
            ".....#.\n"
            "######.\n"
            ".......\n");
  expect_screen({{1023, 767, 0xBBBBBBu}, {1019, 767, 0u}});
  EXPECT_EQ(pixel(500, 500), 0u) << "an outline around the whole screen draws nothing on it";
}

TEST_F(BoxDraw, BoxesGoOverSpritesAndAreDrawnOnce) {
  const EngHandle s = solid_sprite(20, 20, 0xFFFFFFFF);
  eng_sprite_set_depth(s, 1);
  eng_sprite_draw(s, 0, 0, 255);
  eng_box_draw(5, 5, 2, 2, 0x010203, 1);
  render();
  expect_screen({{5, 5, 0x010203u}, {7, 7, 0xFFFFFFu}});
  EXPECT_EQ(rt_list_size(g_engine.boxes.header), 0);
  render();
  EXPECT_EQ(pixel(5, 5), 0u);
}

TEST_F(BoxDraw, BoxesWaitWhileTheDeviceIsUnusable) {
  eng_box_draw(3, 3, 1, 1, 0x777777, 1);
  g_engine.screen.device_status = 1;
  render();
  EXPECT_EQ(rt_list_size(g_engine.boxes.header), 1);
  g_engine.screen.device_status = 0;
  render();
  EXPECT_EQ(pixel(3, 3), 0x777777u);
}

}  // namespace
}  // namespace sprite_test
