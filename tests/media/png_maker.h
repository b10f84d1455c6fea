// PNG files made for tests with the PNG library's encoder, with the pixels a correct decoder
// must produce from them, and tools to damage them chunk by chunk.
#ifndef HALVEX_TESTS_MEDIA_PNG_MAKER_H_
#define HALVEX_TESTS_MEDIA_PNG_MAKER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace halvex::media_testing {

// Colour types as the PNG format numbers them.
inline constexpr std::uint8_t kGray = 0;
inline constexpr std::uint8_t kTruecolor = 2;
inline constexpr std::uint8_t kIndexed = 3;
inline constexpr std::uint8_t kGrayAlpha = 4;
inline constexpr std::uint8_t kTruecolorAlpha = 6;

struct PngSpec {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint8_t color_type = kTruecolorAlpha;
  std::uint8_t bit_depth = 8;
  bool interlaced = false;
  bool transparency = false;  // adds a tRNS chunk (not allowed with an alpha channel)
};

struct TestPng {
  std::vector<std::uint8_t> file;
  // What decoding must give: B, G, R, A per pixel, rows without gaps, alpha not premultiplied.
  std::vector<std::uint8_t> bgra;
  // How far a decoded byte may be from `bgra`: 16-bit samples may be rounded or truncated.
  int tolerance = 0;
};

// An image of varied pixel values in the given format.
TestPng MakeTestPng(const PngSpec& png_spec);

// Encodes 8-bit BGRA pixels (rows of 4 × width bytes) as an RGBA PNG.
std::vector<std::uint8_t> EncodeBgraPng(std::uint32_t width,
                                        std::uint32_t height,
                                        const std::vector<std::uint8_t>& bgra);

struct PngChunk {
  std::size_t offset = 0;  // of the length field
  std::uint32_t length = 0;
  std::string type;
  std::size_t data_offset() const { return offset + 8; }
  std::size_t end() const { return offset + 12 + length; }
};

std::vector<PngChunk> ListChunks(const std::vector<std::uint8_t>& png);
// The first chunk of `type`; aborts the test binary's assumptions if there is none.
PngChunk FindChunk(const std::vector<std::uint8_t>& png, const std::string& type);
// A complete chunk (length, type, data, CRC).
std::vector<std::uint8_t> MakeChunk(const std::string& type, const std::vector<std::uint8_t>& data);
// Recomputes the CRC of `chunk` after its data was changed.
void FixCrc(std::vector<std::uint8_t>* png, const PngChunk& chunk);

}  // namespace halvex::media_testing

#endif  // HALVEX_TESTS_MEDIA_PNG_MAKER_H_
