#include "app/scene.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/font.h"

namespace halvex {
namespace demo {
namespace {

// The glyph as rows of '#' and '.', for comparing glyphs with each other.
std::string GlyphPicture(char character) {
  std::string picture;
  for (int row = 0; row < kGlyphHeight; ++row) {
    for (int column = 0; column < kGlyphWidth; ++column) {
      picture += GlyphPixel(character, column, row) ? '#' : '.';
    }
  }
  return picture;
}

TEST(FontTest, EveryCharacterTheDemoWritesHasItsOwnGlyph) {
  const std::string alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ.:-/%";
  std::set<std::string> pictures;
  for (char character : alphabet) {
    EXPECT_TRUE(HasGlyph(character)) << character;
    EXPECT_NE(GlyphPicture(character).find('#'), std::string::npos) << character;
    pictures.insert(GlyphPicture(character));
  }
  // No two characters look alike, or the frame number could be misread.
  EXPECT_EQ(pictures.size(), alphabet.size());
  EXPECT_EQ(GlyphPicture('f'), GlyphPicture('F'));
  EXPECT_EQ(GlyphPicture(' '), std::string(kGlyphWidth * kGlyphHeight, '.'));
}

TEST(FontTest, MissingGlyphIsAVisibleBoxAndCellsOutsideAreOff) {
  EXPECT_FALSE(HasGlyph('?'));
  EXPECT_EQ(GlyphPicture('?'), GlyphPicture('~'));
  EXPECT_TRUE(GlyphPixel('?', 0, 0));
  EXPECT_FALSE(GlyphPixel('?', 2, 3));
  for (const auto& cell :
       {std::pair<int, int>{-1, 0}, {0, -1}, {kGlyphWidth, 0}, {0, kGlyphHeight}}) {
    EXPECT_FALSE(GlyphPixel('8', cell.first, cell.second));
  }
}

TEST(FontTest, TextWidthLeavesNoTrailingGap) {
  EXPECT_EQ(TextWidth("", 3), 0);
  EXPECT_EQ(TextWidth("A", 1), kGlyphWidth);
  EXPECT_EQ(TextWidth("AB", 1), kGlyphAdvance + kGlyphWidth);
  EXPECT_EQ(TextWidth("AB", 4), 4 * (kGlyphAdvance + kGlyphWidth));
  EXPECT_EQ(TextHeight(3), 3 * kGlyphHeight);
}

TEST(FontTest, DrawnTextMatchesTheGlyphsAndClipsAtEveryEdge) {
  Image image(40, 20);
  DrawText(image, 1, 2, "1:", 2, Rgb{255, 255, 255});
  for (int row = 0; row < kGlyphHeight; ++row) {
    for (int column = 0; column < kGlyphWidth; ++column) {
      const bool lit = image.At(1 + column * 2 + 1, 2 + row * 2 + 1) == Rgb{255, 255, 255};
      EXPECT_EQ(lit, GlyphPixel('1', column, row)) << column << "," << row;
      const bool colon_lit =
          image.At(1 + (kGlyphAdvance + column) * 2, 2 + row * 2) == Rgb{255, 255, 255};
      EXPECT_EQ(colon_lit, GlyphPixel(':', column, row)) << column << "," << row;
    }
  }
  // Text that crosses or lies wholly beyond an edge is clipped, never written out of bounds.
  Image small(6, 6);
  DrawText(small, -7, -9, "88", 3, Rgb{1, 2, 3});
  DrawText(small, 4, 4, "WWWW", 5, Rgb{1, 2, 3});
  DrawText(small, 100, 100, "W", 1, Rgb{1, 2, 3});
  EXPECT_EQ(small.At(5, 5), (Rgb{1, 2, 3}));
}

TEST(SceneTest, LabelsCountFramesAndTime) {
  struct Case {
    int64_t index;
    double fps;
    const char* frame;
    const char* time;
  };
  const Case cases[] = {
      {0, 30, "FRAME 0000", "00:00.000"},      {12, 30, "FRAME 0012", "00:00.400"},
      {90, 30, "FRAME 0090", "00:03.000"},     {3599, 1, "FRAME 3599", "59:59.000"},
      {12345, 10, "FRAME 12345", "20:34.500"}, {1, 29.97, "FRAME 0001", "00:00.033"},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(FrameLabel(test.index), test.frame);
    EXPECT_EQ(TimeLabel(test.index, test.fps), test.time);
  }
}

TEST(SceneTest, SameFrameDrawsTheSamePictureAndLaterFramesMove) {
  const Image first = DrawTestScene(320, 180, 5, 30);
  EXPECT_EQ(first.width(), 320);
  EXPECT_EQ(first.height(), 180);
  EXPECT_EQ(first.pixels(), DrawTestScene(320, 180, 5, 30).pixels());

  const Image later = DrawTestScene(320, 180, 6, 30);
  ASSERT_NE(first.pixels(), later.pixels());
  // The label box (top-left) and the square (middle of the bars) both change between frames.
  bool label_changed = false;
  bool square_moved = false;
  for (int y = 0; y < first.height(); ++y) {
    for (int x = 0; x < first.width(); ++x) {
      if (first.At(x, y) == later.At(x, y)) {
        continue;
      }
      if (x < 80 && y < 40) {
        label_changed = true;
      } else if (y >= 40 && y < 120) {
        square_moved = true;
      }
    }
  }
  EXPECT_TRUE(label_changed);
  EXPECT_TRUE(square_moved);
}

TEST(SceneTest, DrawsBarsAndRampAtAnySize) {
  const Image scene = DrawTestScene(700, 300, 0, 30);
  // Bars in the upper part (below the square's row band), a ramp from black to white below.
  EXPECT_EQ(scene.At(699, 10), (Rgb{0, 0, 191}));
  EXPECT_EQ(scene.At(0, 299), (Rgb{0, 0, 0}));
  EXPECT_EQ(scene.At(699, 299), (Rgb{255, 255, 255}));
  for (const auto& size : {std::pair<int, int>{2, 2}, {3, 7}, {64, 48}, {1, 1}}) {
    const Image tiny = DrawTestScene(size.first, size.second, 40, 10);
    EXPECT_EQ(tiny.width(), size.first);
    EXPECT_EQ(tiny.height(), size.second);
  }
  EXPECT_TRUE(DrawTestScene(0, 10, 0, 30).empty());
}

TEST(SceneTest, FlashesOnceASecondOnTheFirstFrameAfterEachHalfSecond) {
  const struct {
    double fps;
    std::set<int64_t> flashes;  // among frames 0 to 3 s
  } cases[] = {
      {30, {15, 45, 75}},    {8, {4, 12, 20}},
      {7, {4, 11, 18}},       // 0.571 s, 1.571 s, 2.571 s: the first frame past each half second
      {29.97, {15, 45, 75}},  // 0.5005 s ...
      {1, {1, 2}},            // each frame is the first past a half second
      {2, {1, 3, 5}},
  };
  for (const auto& c : cases) {
    std::set<int64_t> flashes;
    for (int64_t frame = 0; frame < static_cast<int64_t>(3 * c.fps); ++frame) {
      if (IsFlashFrame(frame, c.fps)) {
        flashes.insert(frame);
      }
    }
    EXPECT_EQ(flashes, c.flashes) << c.fps << " fps";
  }
  EXPECT_FALSE(IsFlashFrame(15, 0));

  // The ramp turns white on a flash frame; nothing else changes.
  const Image flash = DrawTestScene(320, 180, 15, 30);
  const Image before = DrawTestScene(320, 180, 14, 30);
  EXPECT_EQ(flash.At(0, 179), (Rgb{255, 255, 255}));
  EXPECT_EQ(before.At(0, 179), (Rgb{0, 0, 0}));
  EXPECT_EQ(flash.At(319, 10), before.At(319, 10));
}

}  // namespace
}  // namespace demo
}  // namespace halvex
