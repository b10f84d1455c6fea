// A small fixed-width bitmap font for the frame number and time drawn into each demo frame.
#ifndef HALVEX_APP_FONT_H_
#define HALVEX_APP_FONT_H_

#include <string_view>

#include "app/image.h"

namespace halvex {
namespace demo {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
// One blank column between neighbouring glyphs.
constexpr int kGlyphAdvance = kGlyphWidth + 1;

// Digits, capital letters, space and . : - / %. Small letters are drawn as capitals.
bool HasGlyph(char character);

// Whether the glyph cell at (column, row) is lit. A character without a glyph is drawn as a
// hollow box, so that a missing glyph shows instead of vanishing; cells outside the glyph are off.
bool GlyphPixel(char character, int column, int row);

// Size in pixels of a line of text drawn at the given scale (each glyph cell becomes a square of
// scale × scale pixels). The last glyph has no trailing gap.
int TextWidth(std::string_view text, int scale);
int TextHeight(int scale);

// Draws text with its top-left corner at (x, y). Parts outside the image are clipped.
void DrawText(Image& image, int x, int y, std::string_view text, int scale, Rgb colour);

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_FONT_H_
