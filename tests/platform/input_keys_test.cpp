// The scancode → DIK_ table and the key and mouse state built from events,
// and the scripted source that replaces them in tests.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <utility>

#include "platform/display.h"
#include "platform/input.h"

namespace {

// SDL scancode numbers (USB HID usage ids) of a standard 105-key ISO
// keyboard, written out so the test does not lean on the table it checks.
struct Key {
  int scancode;
  int dik;
};
constexpr Key kIso105[] = {
    {41, DIK_ESCAPE},    {58, DIK_F1},        {59, DIK_F2},          {60, DIK_F3},
    {61, DIK_F4},        {62, DIK_F5},        {63, DIK_F6},          {64, DIK_F7},
    {65, DIK_F8},        {66, DIK_F9},        {67, DIK_F10},         {68, DIK_F11},
    {69, DIK_F12},       {70, DIK_SYSRQ},     {71, DIK_SCROLL},      {72, DIK_PAUSE},
    {53, DIK_GRAVE},     {30, DIK_1},         {31, DIK_2},           {32, DIK_3},
    {33, DIK_4},         {34, DIK_5},         {35, DIK_6},           {36, DIK_7},
    {37, DIK_8},         {38, DIK_9},         {39, DIK_0},           {45, DIK_MINUS},
    {46, DIK_EQUALS},    {42, DIK_BACK},      {43, DIK_TAB},         {20, DIK_Q},
    {26, DIK_W},         {8, DIK_E},          {21, DIK_R},           {23, DIK_T},
    {28, DIK_Y},         {24, DIK_U},         {12, DIK_I},           {18, DIK_O},
    {19, DIK_P},         {47, DIK_LBRACKET},  {48, DIK_RBRACKET},    {40, DIK_RETURN},
    {57, DIK_CAPITAL},   {4, DIK_A},          {22, DIK_S},           {7, DIK_D},
    {9, DIK_F},          {10, DIK_G},         {11, DIK_H},           {13, DIK_J},
    {14, DIK_K},         {15, DIK_L},         {51, DIK_SEMICOLON},   {52, DIK_APOSTROPHE},
    {50, DIK_BACKSLASH}, {225, DIK_LSHIFT},   {100, DIK_OEM_102},    {29, DIK_Z},
    {27, DIK_X},         {6, DIK_C},          {25, DIK_V},           {5, DIK_B},
    {17, DIK_N},         {16, DIK_M},         {54, DIK_COMMA},       {55, DIK_PERIOD},
    {56, DIK_SLASH},     {229, DIK_RSHIFT},   {224, DIK_LCONTROL},   {227, DIK_LWIN},
    {226, DIK_LMENU},    {44, DIK_SPACE},     {230, DIK_RMENU},      {231, DIK_RWIN},
    {101, DIK_APPS},     {228, DIK_RCONTROL}, {73, DIK_INSERT},      {74, DIK_HOME},
    {75, DIK_PRIOR},     {76, DIK_DELETE},    {77, DIK_END},         {78, DIK_NEXT},
    {82, DIK_UP},        {80, DIK_LEFT},      {81, DIK_DOWN},        {79, DIK_RIGHT},
    {83, DIK_NUMLOCK},   {84, DIK_DIVIDE},    {85, DIK_MULTIPLY},    {86, DIK_SUBTRACT},
    {95, DIK_NUMPAD7},   {96, DIK_NUMPAD8},   {97, DIK_NUMPAD9},     {87, DIK_ADD},
    {92, DIK_NUMPAD4},   {93, DIK_NUMPAD5},   {94, DIK_NUMPAD6},     {89, DIK_NUMPAD1},
    {90, DIK_NUMPAD2},   {91, DIK_NUMPAD3},   {88, DIK_NUMPADENTER}, {98, DIK_NUMPAD0},
    {99, DIK_DECIMAL},
};

TEST(DikTable, EveryKeyOfA105KeyKeyboardHasItsCode) {
  EXPECT_EQ(std::size(kIso105), 105u);
  std::set<int> codes;
  for (const Key& key : kIso105) {
    EXPECT_EQ(plat_dik_from_scancode(key.scancode), key.dik) << "scancode " << key.scancode;
    codes.insert(key.dik);
  }
  EXPECT_EQ(codes.size(), 105u);  // no two keys of the keyboard share a code
}

TEST(DikTable, GameKeysAndUnknownScancodes) {
  // The game's keys: Escape 1, P 25, S 31, F 33, keypad + 78; then none, out
  // of range, and 140, an unnamed international key.
  const std::pair<int, int> keys[] = {{41, 1}, {19, 25}, {22, 31},    {9, 33}, {87, 78},
                                      {0, 0},  {-3, 0},  {100000, 0}, {140, 0}};
  for (auto [scancode, dik] : keys)
    EXPECT_EQ(plat_dik_from_scancode(scancode), dik) << "scancode " << scancode;
}

TEST(DikTable, ReverseLookupRoundTrips) {
  for (const Key& key : kIso105)
    EXPECT_EQ(plat_dik_from_scancode(plat_scancode_from_dik(key.dik)), key.dik);
  EXPECT_EQ(plat_scancode_from_dik(0x54), 0);  // a hole in the DIK_ codes
}

class InputStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat_input_clear();
    plat_input_use_scripted();
  }
  void TearDown() override {
    plat_input_use_real();
    plat_input_clear();
  }
};

TEST_F(InputStateTest, ScriptedKeysReadAsDirectInputBytes) {
  PlatKeyState keys{};
  ASSERT_TRUE(plat_keyboard_read(keys));
  for (auto b : keys) EXPECT_EQ(b, 0);
  plat_input_script_key(DIK_P, true);
  ASSERT_TRUE(plat_keyboard_read(keys));
  EXPECT_EQ(keys[DIK_P], 0x80);
  EXPECT_EQ(keys[DIK_O], 0);
  plat_input_script_key(DIK_P, false);
  ASSERT_TRUE(plat_keyboard_read(keys));
  EXPECT_EQ(keys[DIK_P], 0);
  plat_input_script_key(0, true);  // out of range: ignored
  plat_input_script_key(256, true);
  ASSERT_TRUE(plat_keyboard_read(keys));
  for (auto b : keys) EXPECT_EQ(b, 0);
}

TEST_F(InputStateTest, MotionAccumulatesUntilThePoll) {
  plat_input_script_motion(3, -2);
  plat_input_script_motion(4, 5, 120);
  plat_input_script_button(0, true);
  PlatMouseState m{};
  ASSERT_TRUE(plat_mouse_poll(m));
  EXPECT_EQ((std::array{m.dx, m.dy, m.wheel}), (std::array{7, 3, 120}));
  EXPECT_EQ(m.buttons[0], 0x80);
  EXPECT_EQ(m.buttons[1], 0);
  ASSERT_TRUE(plat_mouse_poll(m));  // motion is used up, buttons stay
  EXPECT_EQ((std::array{m.dx, m.dy}), (std::array{0, 0}));
  EXPECT_EQ(m.buttons[0], 0x80);
}

TEST(InputEvents, RealEventsFillTheStateUnlessScripted) {
  if (!plat_display_init()) GTEST_SKIP() << "the real source needs a display";
  plat_input_use_real();
  plat_input_clear();
  // Both shift keys down, one released: the other still holds its own code.
  plat_input_on_key(225, true);
  plat_input_on_key(229, true);
  plat_input_on_key(225, false);
  // Backslash and the ISO key in its place share DIK_BACKSLASH: releasing
  // one while the other is held keeps the code down.
  plat_input_on_key(49, true);
  plat_input_on_key(50, true);
  plat_input_on_key(50, false);
  plat_input_on_motion(5, 6);
  plat_input_on_motion(-1, 1);
  plat_input_on_button(3, true);  // SDL's right button is DirectInput's button 1
  plat_input_on_button(2, true);  // middle is button 2
  plat_input_on_button(9, true);  // no such button: ignored

  PlatKeyState keys{};
  ASSERT_TRUE(plat_keyboard_read(keys));
  EXPECT_EQ(keys[DIK_LSHIFT], 0);
  EXPECT_EQ(keys[DIK_RSHIFT], 0x80);
  EXPECT_EQ(keys[DIK_BACKSLASH], 0x80);
  PlatMouseState m{};
  ASSERT_TRUE(plat_mouse_poll(m));
  EXPECT_EQ((std::array{m.dx, m.dy}), (std::array{4, 7}));
  EXPECT_EQ(m.buttons, (std::array<std::uint8_t, 4>{0, 0x80, 0x80, 0}));

  plat_input_use_scripted();  // the script starts empty and ignores real events
  ASSERT_TRUE(plat_keyboard_read(keys));
  EXPECT_EQ(keys[DIK_RSHIFT], 0);
  plat_input_on_key(4, true);
  ASSERT_TRUE(plat_keyboard_read(keys));
  EXPECT_EQ(keys[DIK_A], 0);
  plat_input_use_real();
  plat_input_clear();
}

}  // namespace
