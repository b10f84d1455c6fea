// Writes the PNG fixtures to a folder, or decodes the PNG files of a folder to raw BGRA, so that
// the decodings of two systems can be compared byte for byte.
//
//   png_decoding_dump write FOLDER
//   png_decoding_dump decode FOLDER SUFFIX   (FOLDER/NAME.png -> FOLDER/NAME.SUFFIX.bgra)
//
// Each .bgra file starts with a line "WIDTH HEIGHT" (or "failure: ...") and then holds the
// pixels. Exits 0 when every file was written.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/windows/png_decoding.h"
#include "tests/windows/png_fixtures.h"

namespace {

bool WriteFile(const std::string& path,
               const std::string& header,
               const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << header;
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

int WriteFixtures(const std::string& folder) {
  for (const halvex::testing::PngFixture& fixture : halvex::testing::AllPngFixtures()) {
    if (!WriteFile(folder + "/" + fixture.name + ".png", "",
                   halvex::testing::EncodeFixture(fixture))) {
      std::fprintf(stderr, "cannot write %s.png in %s\n", fixture.name.c_str(), folder.c_str());
      return 1;
    }
  }
  return 0;
}

int DecodeFixtures(const std::string& folder, const std::string& suffix) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  for (const halvex::testing::PngFixture& fixture : halvex::testing::AllPngFixtures()) {
    std::ifstream in(folder + "/" + fixture.name + ".png", std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s.png in %s\n", fixture.name.c_str(), folder.c_str());
      return 1;
    }
    const std::vector<uint8_t> png((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
    const halvex::testing::DecodedPng decoded = halvex::testing::DecodePngToBgra(png);
    const std::string header = decoded.failure.empty() ? std::to_string(decoded.width) + " " +
                                                             std::to_string(decoded.height) + "\n"
                                                       : "failure: " + decoded.failure + "\n";
    if (!WriteFile(folder + "/" + fixture.name + "." + suffix + ".bgra", header, decoded.bgra)) {
      std::fprintf(stderr, "cannot write the decoding of %s\n", fixture.name.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "write" && argc == 3) {
    return WriteFixtures(argv[2]);
  }
  if (mode == "decode" && argc == 4) {
    return DecodeFixtures(argv[2], argv[3]);
  }
  std::fprintf(stderr, "usage: %s write FOLDER | decode FOLDER SUFFIX\n", argv[0]);
  return 2;
}
