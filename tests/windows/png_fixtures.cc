#include "tests/windows/png_fixtures.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace halvex::testing {
namespace {

constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kStoredBlockLimit = 65535;

// Adam7: first row, first column, row step and column step of each pass.
struct Pass {
  int row, column, rowStep, columnStep;
};
constexpr std::array<Pass, 7> kAdam7 = {{{0, 0, 8, 8},
                                         {0, 4, 8, 8},
                                         {4, 0, 8, 4},
                                         {0, 2, 4, 4},
                                         {2, 0, 4, 2},
                                         {0, 1, 2, 2},
                                         {1, 0, 2, 1}}};

int Channels(PngColour colour) {
  switch (colour) {
    case PngColour::kGray:
    case PngColour::kPalette:
      return 1;
    case PngColour::kGrayAlpha:
      return 2;
    case PngColour::kRgb:
      return 3;
    case PngColour::kRgba:
      return 4;
  }
  return 1;
}

// A small deterministic generator, so every system writes the same files.
class SampleSource {
 public:
  explicit SampleSource(const std::string& name) {
    for (char c : name) {
      state_ = state_ * 31 + static_cast<uint8_t>(c);
    }
  }
  uint32_t Next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state_ >> 33);
  }

 private:
  uint64_t state_ = 88172645463325252ULL;
};

int PaletteSize(const PngFixture& fixture) {
  return fixture.bitDepth == 8 ? 200 : (1 << fixture.bitDepth);
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1U)));
    }
  }
  return ~crc;
}

uint32_t Adler32(const std::vector<uint8_t>& data) {
  uint32_t a = 1;
  uint32_t b = 0;
  for (uint8_t byte : data) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

void PutBigEndian32(std::vector<uint8_t>* out, uint32_t value) {
  out->push_back(static_cast<uint8_t>(value >> 24));
  out->push_back(static_cast<uint8_t>(value >> 16));
  out->push_back(static_cast<uint8_t>(value >> 8));
  out->push_back(static_cast<uint8_t>(value));
}

void PutChunk(std::vector<uint8_t>* png, const char type[5], const std::vector<uint8_t>& data) {
  PutBigEndian32(png, static_cast<uint32_t>(data.size()));
  const size_t typeStart = png->size();
  png->insert(png->end(), type, type + 4);
  png->insert(png->end(), data.begin(), data.end());
  PutBigEndian32(png, Crc32(png->data() + typeStart, png->size() - typeStart));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<uint8_t> ZlibStored(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out = {0x78, 0x01};
  size_t offset = 0;
  do {
    const size_t length = std::min(kStoredBlockLimit, data.size() - offset);
    const bool last = offset + length == data.size();
    out.push_back(last ? 1 : 0);
    out.push_back(static_cast<uint8_t>(length));
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.push_back(static_cast<uint8_t>(~length));
    out.push_back(static_cast<uint8_t>(~length >> 8));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(offset),
               data.begin() + static_cast<std::ptrdiff_t>(offset + length));
    offset += length;
  } while (offset < data.size());
  PutBigEndian32(&out, Adler32(data));
  return out;
}

// One row of samples packed as the file stores them: several samples per byte below 8 bits,
// most significant first; two bytes, high byte first, at 16 bits.
std::vector<uint8_t> PackRow(const std::vector<uint16_t>& samples, int bitDepth) {
  std::vector<uint8_t> row;
  if (bitDepth == 16) {
    for (uint16_t sample : samples) {
      row.push_back(static_cast<uint8_t>(sample >> 8));
      row.push_back(static_cast<uint8_t>(sample));
    }
    return row;
  }
  if (bitDepth == 8) {
    for (uint16_t sample : samples) {
      row.push_back(static_cast<uint8_t>(sample));
    }
    return row;
  }
  row.assign((samples.size() * static_cast<size_t>(bitDepth) + 7) / 8, 0);
  for (size_t i = 0; i < samples.size(); ++i) {
    const size_t bit = i * static_cast<size_t>(bitDepth);
    const int shift = 8 - bitDepth - static_cast<int>(bit % 8);
    row[bit / 8] = static_cast<uint8_t>(row[bit / 8] | (samples[i] << shift));
  }
  return row;
}

uint8_t Paeth(int left, int up, int upLeft) {
  const int estimate = left + up - upLeft;
  const int toLeft = std::abs(estimate - left);
  const int toUp = std::abs(estimate - up);
  const int toUpLeft = std::abs(estimate - upLeft);
  if (toLeft <= toUp && toLeft <= toUpLeft) {
    return static_cast<uint8_t>(left);
  }
  return static_cast<uint8_t>(toUp <= toUpLeft ? up : upLeft);
}

// Appends the filter type byte and the filtered row.
void AppendFiltered(std::vector<uint8_t>* out,
                    int filter,
                    const std::vector<uint8_t>& row,
                    const std::vector<uint8_t>& previous,
                    size_t bytesPerPixel) {
  out->push_back(static_cast<uint8_t>(filter));
  for (size_t i = 0; i < row.size(); ++i) {
    const int left = i >= bytesPerPixel ? row[i - bytesPerPixel] : 0;
    const int up = previous.empty() ? 0 : previous[i];
    const int upLeft = (i >= bytesPerPixel && !previous.empty()) ? previous[i - bytesPerPixel] : 0;
    int predicted = 0;
    switch (filter) {
      case 1:
        predicted = left;
        break;
      case 2:
        predicted = up;
        break;
      case 3:
        predicted = (left + up) / 2;
        break;
      case 4:
        predicted = Paeth(left, up, upLeft);
        break;
      default:
        break;
    }
    out->push_back(static_cast<uint8_t>(row[i] - predicted));
  }
}

// The filtered scanlines of one (sub)image of the fixture: the whole image, or one Adam7 pass.
void AppendImage(std::vector<uint8_t>* out,
                 const PngFixture& fixture,
                 const std::vector<uint16_t>& samples,
                 const Pass& pass,
                 int* rowCounter) {
  const int channels = Channels(fixture.colour);
  const size_t bytesPerPixel =
      std::max<size_t>(1, static_cast<size_t>(channels * fixture.bitDepth / 8));
  std::vector<uint8_t> previous;
  for (int y = pass.row; y < fixture.height; y += pass.rowStep) {
    std::vector<uint16_t> rowSamples;
    for (int x = pass.column; x < fixture.width; x += pass.columnStep) {
      const size_t first =
          (static_cast<size_t>(y) * static_cast<size_t>(fixture.width) + static_cast<size_t>(x)) *
          static_cast<size_t>(channels);
      rowSamples.insert(rowSamples.end(), samples.begin() + static_cast<std::ptrdiff_t>(first),
                        samples.begin() + static_cast<std::ptrdiff_t>(first) + channels);
    }
    if (rowSamples.empty()) {
      return;  // an empty pass has no scanlines at all
    }
    const std::vector<uint8_t> row = PackRow(rowSamples, fixture.bitDepth);
    const int filter = fixture.filter == 5 ? (*rowCounter)++ % 5 : fixture.filter;
    AppendFiltered(out, filter, row, previous, bytesPerPixel);
    previous = row;
  }
}

uint8_t To8Bits(uint16_t sample, int bitDepth) {
  return static_cast<uint8_t>(sample * 255 / ((1 << bitDepth) - 1));
}

}  // namespace

std::vector<PngFixture> AllPngFixtures() {
  using C = PngColour;
  return {
      {"rgba8_none", 17, 9, C::kRgba, 8, false, 0, false},
      {"rgba8_sub", 17, 9, C::kRgba, 8, false, 1, false},
      {"rgba8_up", 17, 9, C::kRgba, 8, false, 2, false},
      {"rgba8_average", 17, 9, C::kRgba, 8, false, 3, false},
      {"rgba8_paeth", 17, 9, C::kRgba, 8, false, 4, false},
      {"rgba8_all_filters_64x48", 64, 48, C::kRgba, 8, false, 5, false},
      {"rgba8_interlaced", 13, 11, C::kRgba, 8, true, 5, false},
      {"rgba8_interlaced_1x1", 1, 1, C::kRgba, 8, true, 0, false},
      {"rgb8", 15, 10, C::kRgb, 8, false, 5, false},
      {"rgb8_colour_key", 15, 10, C::kRgb, 8, false, 5, true},
      {"rgb8_interlaced", 9, 9, C::kRgb, 8, true, 4, false},
      {"gray1", 21, 5, C::kGray, 1, false, 5, false},
      {"gray2", 19, 6, C::kGray, 2, false, 5, false},
      {"gray4", 11, 7, C::kGray, 4, false, 5, false},
      {"gray8", 11, 7, C::kGray, 8, false, 5, false},
      {"gray2_interlaced", 10, 10, C::kGray, 2, true, 5, false},
      {"gray4_colour_key", 11, 7, C::kGray, 4, false, 0, true},
      {"gray8_colour_key", 11, 7, C::kGray, 8, false, 0, true},
      {"gray_alpha8", 12, 8, C::kGrayAlpha, 8, false, 5, false},
      {"palette1", 20, 4, C::kPalette, 1, false, 0, false},
      {"palette2", 18, 5, C::kPalette, 2, false, 5, false},
      {"palette4", 13, 6, C::kPalette, 4, false, 5, false},
      {"palette8", 16, 16, C::kPalette, 8, false, 5, false},
      {"palette4_alpha", 13, 6, C::kPalette, 4, false, 1, true},
      {"palette8_alpha", 16, 16, C::kPalette, 8, false, 2, true},
      {"palette4_interlaced", 14, 9, C::kPalette, 4, true, 5, false},
      {"rgba16", 9, 5, C::kRgba, 16, false, 5, false},
      {"rgb16", 9, 5, C::kRgb, 16, false, 5, false},
      {"rgb16_colour_key", 9, 5, C::kRgb, 16, false, 0, true},
      {"gray16", 9, 5, C::kGray, 16, false, 5, false},
      {"gray_alpha16", 9, 5, C::kGrayAlpha, 16, false, 5, false},
  };
}

std::vector<uint16_t> FixtureSamples(const PngFixture& fixture) {
  SampleSource source(fixture.name);
  const int channels = Channels(fixture.colour);
  const size_t pixels = static_cast<size_t>(fixture.width) * static_cast<size_t>(fixture.height);
  const uint32_t limit = fixture.colour == PngColour::kPalette
                             ? static_cast<uint32_t>(PaletteSize(fixture))
                             : (1U << fixture.bitDepth);
  std::vector<uint16_t> samples(pixels * static_cast<size_t>(channels));
  for (uint16_t& sample : samples) {
    sample = static_cast<uint16_t>(source.Next() % limit);
  }
  // The extremes always occur; with a colour key, every seventh pixel repeats the key colour.
  samples.front() = 0;
  samples.back() = static_cast<uint16_t>(limit - 1);
  if (fixture.transparency && fixture.colour != PngColour::kPalette) {
    const std::vector<uint16_t> key = FixtureTransparentColour(fixture);
    for (size_t pixel = 0; pixel < pixels; pixel += 7) {
      std::copy(key.begin(), key.end(),
                samples.begin() + static_cast<std::ptrdiff_t>(pixel * key.size()));
    }
  }
  return samples;
}

std::vector<uint8_t> FixturePalette(const PngFixture& fixture) {
  std::vector<uint8_t> palette;
  if (fixture.colour != PngColour::kPalette) {
    return palette;
  }
  SampleSource source(fixture.name + "/palette");
  palette.resize(static_cast<size_t>(PaletteSize(fixture)) * 3);
  for (uint8_t& entry : palette) {
    entry = static_cast<uint8_t>(source.Next());
  }
  return palette;
}

std::vector<uint8_t> FixturePaletteAlpha(const PngFixture& fixture) {
  std::vector<uint8_t> alpha;
  if (fixture.colour != PngColour::kPalette || !fixture.transparency) {
    return alpha;
  }
  // Shorter than the palette: the entries after it are opaque.
  SampleSource source(fixture.name + "/alpha");
  alpha.resize(static_cast<size_t>(PaletteSize(fixture) / 2));
  for (uint8_t& entry : alpha) {
    entry = static_cast<uint8_t>(source.Next());
  }
  alpha.front() = 0;
  return alpha;
}

std::vector<uint16_t> FixtureTransparentColour(const PngFixture& fixture) {
  if (!fixture.transparency || fixture.colour == PngColour::kPalette) {
    return {};
  }
  const uint16_t value = static_cast<uint16_t>(((1U << fixture.bitDepth) - 1) / 3);
  return std::vector<uint16_t>(static_cast<size_t>(Channels(fixture.colour)), value);
}

std::vector<uint8_t> EncodeFixture(const PngFixture& fixture) {
  const std::vector<uint16_t> samples = FixtureSamples(fixture);
  std::vector<uint8_t> scanlines;
  int rowCounter = 0;
  if (fixture.interlaced) {
    for (const Pass& pass : kAdam7) {
      AppendImage(&scanlines, fixture, samples, pass, &rowCounter);
    }
  } else {
    AppendImage(&scanlines, fixture, samples, Pass{0, 0, 1, 1}, &rowCounter);
  }

  std::vector<uint8_t> png(kSignature.begin(), kSignature.end());
  std::vector<uint8_t> header;
  PutBigEndian32(&header, static_cast<uint32_t>(fixture.width));
  PutBigEndian32(&header, static_cast<uint32_t>(fixture.height));
  header.push_back(static_cast<uint8_t>(fixture.bitDepth));
  header.push_back(static_cast<uint8_t>(fixture.colour));
  header.push_back(0);  // deflate
  header.push_back(0);  // adaptive filtering
  header.push_back(fixture.interlaced ? 1 : 0);
  PutChunk(&png, "IHDR", header);
  if (fixture.colour == PngColour::kPalette) {
    PutChunk(&png, "PLTE", FixturePalette(fixture));
    if (fixture.transparency) {
      PutChunk(&png, "tRNS", FixturePaletteAlpha(fixture));
    }
  } else if (fixture.transparency) {
    std::vector<uint8_t> key;
    for (uint16_t sample : FixtureTransparentColour(fixture)) {
      key.push_back(static_cast<uint8_t>(sample >> 8));
      key.push_back(static_cast<uint8_t>(sample));
    }
    PutChunk(&png, "tRNS", key);
  }
  PutChunk(&png, "IDAT", ZlibStored(scanlines));
  PutChunk(&png, "IEND", {});
  return png;
}

std::vector<uint8_t> ExpectedBgra(const PngFixture& fixture) {
  if (fixture.bitDepth == 16) {
    return {};
  }
  const std::vector<uint16_t> samples = FixtureSamples(fixture);
  const std::vector<uint8_t> palette = FixturePalette(fixture);
  const std::vector<uint8_t> paletteAlpha = FixturePaletteAlpha(fixture);
  const std::vector<uint16_t> key = FixtureTransparentColour(fixture);
  const size_t channels = static_cast<size_t>(Channels(fixture.colour));
  const size_t pixels = samples.size() / channels;
  std::vector<uint8_t> bgra;
  bgra.reserve(pixels * 4);
  for (size_t pixel = 0; pixel < pixels; ++pixel) {
    const uint16_t* s = &samples[pixel * channels];
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;
    switch (fixture.colour) {
      case PngColour::kGray:
        red = green = blue = To8Bits(s[0], fixture.bitDepth);
        break;
      case PngColour::kGrayAlpha:
        red = green = blue = static_cast<uint8_t>(s[0]);
        alpha = static_cast<uint8_t>(s[1]);
        break;
      case PngColour::kRgb:
      case PngColour::kRgba:
        red = static_cast<uint8_t>(s[0]);
        green = static_cast<uint8_t>(s[1]);
        blue = static_cast<uint8_t>(s[2]);
        alpha = fixture.colour == PngColour::kRgba ? static_cast<uint8_t>(s[3]) : 255;
        break;
      case PngColour::kPalette:
        red = palette[s[0] * 3U];
        green = palette[s[0] * 3U + 1];
        blue = palette[s[0] * 3U + 2];
        alpha = s[0] < paletteAlpha.size() ? paletteAlpha[s[0]] : 255;
        break;
    }
    if (!key.empty() && std::equal(key.begin(), key.end(), s)) {
      alpha = 0;
    }
    bgra.insert(bgra.end(), {blue, green, red, alpha});
  }
  return bgra;
}

std::vector<uint8_t> GradientPng(int width, int height, uint8_t seed) {
  PngFixture fixture{"gradient", width, height, PngColour::kRgba, 8, false, 0, false};
  std::vector<uint8_t> scanlines;
  for (int y = 0; y < height; ++y) {
    scanlines.push_back(0);
    for (int x = 0; x < width; ++x) {
      scanlines.insert(scanlines.end(),
                       {static_cast<uint8_t>(x * 255 / std::max(1, width - 1)),
                        static_cast<uint8_t>(y * 255 / std::max(1, height - 1)), seed, 255});
    }
  }
  std::vector<uint8_t> png(kSignature.begin(), kSignature.end());
  std::vector<uint8_t> header;
  PutBigEndian32(&header, static_cast<uint32_t>(width));
  PutBigEndian32(&header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, static_cast<uint8_t>(fixture.colour), 0, 0, 0});
  PutChunk(&png, "IHDR", header);
  PutChunk(&png, "IDAT", ZlibStored(scanlines));
  PutChunk(&png, "IEND", {});
  return png;
}

}  // namespace halvex::testing
