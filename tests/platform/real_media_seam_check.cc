// A process starts with the real media back ends exactly when the media library is linked into
// it, each test control's reset turns its part to the scripted world, and the matching control
// brings back what the process started with. Built twice: without the media library
// (HALVEX_REAL_MEDIA_LOADED=0) and with it (=1).
#include <gtest/gtest.h>

#include <mferror.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "mf_sink_writer_backend.h"
#include "wasapi_device_script.h"
#include "wic_decoded_image.h"
#include "windows_testing/audio.h"
#include "windows_testing/imaging.h"
#include "windows_testing/media_foundation.h"

#if HALVEX_REAL_MEDIA_LOADED
#include "pulse_server.h"
#endif

namespace {

enum class World { kScripted, kReal, kNeither };

std::ostream& operator<<(std::ostream& out, World world) {
  switch (world) {
    case World::kScripted:
      return out << "scripted";
    case World::kReal:
      return out << "real";
    case World::kNeither:
      return out << "neither";
  }
  return out;
}

// One opaque pixel, as an encoder writes it; no test scripts these bytes.
const std::vector<BYTE> kOnePixelPng = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
    0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9C, 0x63, 0x10, 0x50, 0x30, 0xF8, 0x0F, 0x00, 0x02, 0x04, 0x01, 0x60, 0x8D, 0xBC,
    0xBB, 0x71, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

World ImagingWorld() {
  halvex::platform::SharedImage image;
  const HRESULT hr = halvex::platform::DecodeImage(kOnePixelPng, &image);
  if (hr == WINCODEC_ERR_COMPONENTNOTFOUND) {
    return World::kScripted;
  }
  return hr == S_OK && image && image->width == 1 && image->height == 1 ? World::kReal
                                                                        : World::kNeither;
}

// The real writer refuses a container other than MP4 before it touches the disk; a writer that
// only records accepts any URL.
World SinkWriterWorld() {
  std::unique_ptr<halvex::platform::SinkWriterBackend> backend;
  const HRESULT hr = halvex::platform::MakeSinkWriterBackend(L"seam-probe.avi", nullptr, &backend);
  if (hr == S_OK && !backend) {
    return World::kScripted;
  }
  return hr == MF_E_UNSUPPORTED_BYTESTREAM_TYPE ? World::kReal : World::kNeither;
}

// Only the real world has a device no test scripted, and only while a sound server runs.
World AudioWorld() {
  return halvex::platform::DefaultDevice() ? World::kReal : World::kScripted;
}

struct Part {
  std::string name;
  World (*world)();
  void (*reset)();
  void (*bring_back)();
  bool needs_sound_server;
};

std::ostream& operator<<(std::ostream& out, const Part& part) {
  return out << part.name;
}

const Part kParts[] = {
    {"Imaging", ImagingWorld, halvex::testing::ResetImaging, halvex::testing::DecodeRealImages,
     false},
    {"SinkWriter", SinkWriterWorld, halvex::testing::ResetMediaFoundation,
     halvex::testing::WriteMediaFiles, false},
    {"Audio", AudioWorld, halvex::testing::ResetAudio, halvex::testing::UseSystemAudio, true},
};

constexpr World kStartingWorld = HALVEX_REAL_MEDIA_LOADED ? World::kReal : World::kScripted;

class RealMediaSeamTest : public ::testing::TestWithParam<Part> {
 protected:
  void SetUp() override {
#if HALVEX_REAL_MEDIA_LOADED
    if (GetParam().needs_sound_server) {
      namespace media_testing = halvex::media_testing;
      if (!media_testing::SoundServerAvailable()) {
        GTEST_SKIP() << media_testing::kSoundServerMissing;
      }
      std::string error;
      server_ = media_testing::PrivateSoundServer::Start("float32le", 48000, 2, &error);
      ASSERT_TRUE(server_) << error;
    }
#endif
  }

  // The real device goes before its server does; other parts stay as the rows left them.
  void TearDown() override {
    if (GetParam().needs_sound_server) {
      halvex::testing::ResetAudio();
    }
  }

#if HALVEX_REAL_MEDIA_LOADED
  std::unique_ptr<halvex::media_testing::PrivateSoundServer> server_;
#endif
};

// The parts are independent, so each starts untouched however the rows are run.
TEST_P(RealMediaSeamTest, StartsAsLinkedResetsToScriptedAndComesBack) {
  const Part& part = GetParam();
  EXPECT_EQ(part.world(), kStartingWorld) << "at start";
  part.reset();
  EXPECT_EQ(part.world(), World::kScripted) << "after the reset";
  part.bring_back();
  EXPECT_EQ(part.world(), kStartingWorld) << "after bringing the real one back";
}

INSTANTIATE_TEST_SUITE_P(Parts,
                         RealMediaSeamTest,
                         ::testing::ValuesIn(kParts),
                         [](const ::testing::TestParamInfo<Part>& part_info) {
                           return part_info.param.name;
                         });

}  // namespace
