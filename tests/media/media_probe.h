// What the media tools see in a recording: streams and packets as ffprobe lists them, and the
// decoded pictures and sound as ffmpeg produces them.
#ifndef HALVEX_TESTS_MEDIA_MEDIA_PROBE_H_
#define HALVEX_TESTS_MEDIA_MEDIA_PROBE_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace halvex::media_testing {

// One section of ffprobe's output, field by field, as printed.
struct ProbedEntry {
  std::map<std::string, std::string> fields;

  std::string Text(const std::string& key) const;
  std::int64_t Integer(const std::string& key) const;  // -1 when missing or not a number
  double Number(const std::string& key) const;         // NaN when missing or not a number
};

struct Probe {
  bool ok = false;
  std::string error;
  std::vector<ProbedEntry> streams;
  std::vector<ProbedEntry> packets;  // in file order

  // Streams and packets of one kind ("video", "audio").
  std::vector<ProbedEntry> StreamsOf(const std::string& codec_type) const;
  std::vector<ProbedEntry> PacketsOf(const std::string& codec_type) const;
};

// Whether ffprobe and ffmpeg are installed; tests that need them skip otherwise.
bool MediaToolsAvailable();
inline constexpr char kMediaToolsMissing[] =
    "ffprobe/ffmpeg are not installed (Debian package ffmpeg); scripts/setup installs them";

Probe ProbeFile(const std::string& path);

// The first video stream decoded to pictures in `pixel_format` ("nv12", "bgra", ...), packed
// without padding, one after another, every picture as stored (no rate conversion).
bool DecodeVideo(const std::string& path,
                 const std::string& pixel_format,
                 std::vector<std::uint8_t>* pictures);

// The first audio stream decoded as mono 16-bit samples at 48 kHz, edit list applied.
bool DecodeAudioAsMono48k(const std::string& path, std::vector<std::int16_t>* samples);

}  // namespace halvex::media_testing

#endif  // HALVEX_TESTS_MEDIA_MEDIA_PROBE_H_
