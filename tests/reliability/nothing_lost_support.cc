#include "tests/reliability/nothing_lost_support.h"

#include <cstring>

#include "messaging/encodable_value.h"
#include "tests/media/png_maker.h"
#include "tests/recorder/recorder_test_support.h"
#include "windows_testing/audio.h"

namespace halvex::nothing_lost_testing {

using flutter::EncodableMap;
using flutter::EncodableValue;

std::vector<uint8_t> SolidPng(UINT width, UINT height, std::array<uint8_t, 4> bgra) {
  return media_testing::EncodeBgraPng(width, height,
                                      testing_support::SolidBgra(width, height, bgra));
}

bool QueueLoudPackets(int count) {
  constexpr UINT32 kPacketFrames = 480;
  std::vector<uint8_t> data(kPacketFrames * 2 * sizeof(float));
  for (size_t i = 0; i < data.size() / sizeof(float); ++i) {
    const float sample = (i / 40) % 2 == 0 ? 0.5f : -0.5f;
    std::memcpy(data.data() + i * sizeof(float), &sample, sizeof(float));
  }
  for (int p = 0; p < count; ++p) {
    if (!halvex::testing::QueuePacket(kPacketFrames, 0, data)) {
      return false;
    }
  }
  return true;
}

testing_support::Answer SendStart(const std::string& path, bool withAudio) {
  return testing_support::CallRecorder(
      "start",
      EncodableValue(EncodableMap{{"path", path}, {"fps", 30.0}, {"enableAudio", withAudio}}));
}

testing_support::Answer SendAppendPng(const std::vector<uint8_t>& png) {
  return testing_support::CallRecorder("appendPng", EncodableValue(EncodableMap{{"bytes", png}}));
}

}  // namespace halvex::nothing_lost_testing
