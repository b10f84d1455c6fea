// Drives the recorder through its channel handler, as the application's messages reach it, and
// reads the answers.
#ifndef HALVEX_TESTS_MEDIA_RECORDER_DRIVER_H_
#define HALVEX_TESTS_MEDIA_RECORDER_DRIVER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace halvex::media_testing {

struct RecorderReply {
  bool success = false;
  std::string error_code;
  bool has_audio_track = false;  // "start"
  std::int32_t frames = -1;      // "appendPng", "stop"
  bool has_audio = false;        // "appendPng", "stop"
};

RecorderReply StartRecording(const std::string& path, double fps, bool enable_audio);
RecorderReply AppendPng(const std::vector<std::uint8_t>& png);
RecorderReply StopRecording();

}  // namespace halvex::media_testing

#endif  // HALVEX_TESTS_MEDIA_RECORDER_DRIVER_H_
