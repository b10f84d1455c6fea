// What the nothing-lost tests share: frames of one colour, the sound of a playing device, and the
// channel calls that start a recording and hand it a frame, as the application makes them.
#ifndef HALVEX_TESTS_RELIABILITY_NOTHING_LOST_SUPPORT_H_
#define HALVEX_TESTS_RELIABILITY_NOTHING_LOST_SUPPORT_H_

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/recorder/channel_test_support.h"

namespace halvex::nothing_lost_testing {

// A PNG whose every pixel is `bgra`.
std::vector<uint8_t> SolidPng(UINT width, UINT height, std::array<uint8_t, 4> bgra);

// Queues `count` 10 ms packets of a loud stereo float square wave on the default device.
bool QueueLoudPackets(int count);

// "start" at 30 frames a second, with or without the system's sound.
testing_support::Answer SendStart(const std::string& path, bool withAudio);

// "appendPng" with one PNG file.
testing_support::Answer SendAppendPng(const std::vector<uint8_t>& png);

}  // namespace halvex::nothing_lost_testing

#endif  // HALVEX_TESTS_RELIABILITY_NOTHING_LOST_SUPPORT_H_
