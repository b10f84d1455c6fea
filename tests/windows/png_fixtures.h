// PNG files with known pixels in every layout a PNG decoder has to handle: each colour type and
// bit depth, palettes with and without transparency, every row filter and Adam7 interlacing.
// Written without any library (the image data goes into stored deflate blocks), so the same
// bytes come out on every system and the decoders can be compared.
#ifndef HALVEX_TESTS_WINDOWS_PNG_FIXTURES_H_
#define HALVEX_TESTS_WINDOWS_PNG_FIXTURES_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace halvex::testing {

enum class PngColour : uint8_t {
  kGray = 0,
  kRgb = 2,
  kPalette = 3,
  kGrayAlpha = 4,
  kRgba = 6,
};

struct PngFixture {
  std::string name;
  int width = 0;
  int height = 0;
  PngColour colour = PngColour::kRgba;
  int bitDepth = 8;
  bool interlaced = false;
  // The row filter used for every row (0 none, 1 sub, 2 up, 3 average, 4 Paeth); 5 cycles
  // through all five, row by row.
  int filter = 0;
  // A tRNS chunk: for palettes, one alpha per entry; for gray and RGB, the transparent colour.
  bool transparency = false;
};

// How a fixture is named in test output: its name and size, not its bytes.
inline void PrintTo(const PngFixture& fixture, std::ostream* os) {
  *os << fixture.name << " (" << fixture.width << "x" << fixture.height << ")";
}

// The fixtures that both systems decode, in a fixed order.
std::vector<PngFixture> AllPngFixtures();

// The image's samples before encoding: per pixel, one value per channel of the colour type
// (palette images: the index), each below 2^bitDepth, rows from top to bottom.
std::vector<uint16_t> FixtureSamples(const PngFixture& fixture);

// The palette of a palette fixture: RGB triples, then the alphas of its tRNS chunk (if any).
std::vector<uint8_t> FixturePalette(const PngFixture& fixture);
std::vector<uint8_t> FixturePaletteAlpha(const PngFixture& fixture);

// The transparent colour of a gray or RGB fixture with transparency: one sample per channel.
std::vector<uint16_t> FixtureTransparentColour(const PngFixture& fixture);

// The complete PNG file.
std::vector<uint8_t> EncodeFixture(const PngFixture& fixture);

// What a decoder must produce for an 8-bit fixture as 32-bit BGRA (alpha not premultiplied), or
// an empty vector where the conversion to 8 bits is the decoder's own choice (16-bit samples).
std::vector<uint8_t> ExpectedBgra(const PngFixture& fixture);

// A plain 8-bit RGBA PNG of a colour gradient, for tests that only need a valid frame.
std::vector<uint8_t> GradientPng(int width, int height, uint8_t seed);

}  // namespace halvex::testing

#endif  // HALVEX_TESTS_WINDOWS_PNG_FIXTURES_H_
