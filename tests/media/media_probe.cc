#include "media_probe.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>

#include "child_process.h"

namespace halvex::media_testing {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator)) {
    parts.push_back(part);
  }
  return parts;
}

}  // namespace

std::string ProbedEntry::Text(const std::string& key) const {
  const auto it = fields.find(key);
  return it == fields.end() ? std::string() : it->second;
}

std::int64_t ProbedEntry::Integer(const std::string& key) const {
  const std::string text = Text(key);
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  return text.empty() || *end != '\0' ? -1 : value;
}

double ProbedEntry::Number(const std::string& key) const {
  const std::string text = Text(key);
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return text.empty() || *end != '\0' ? std::numeric_limits<double>::quiet_NaN() : value;
}

std::vector<ProbedEntry> Probe::StreamsOf(const std::string& codec_type) const {
  std::vector<ProbedEntry> result;
  for (const ProbedEntry& stream : streams) {
    if (stream.Text("codec_type") == codec_type) {
      result.push_back(stream);
    }
  }
  return result;
}

std::vector<ProbedEntry> Probe::PacketsOf(const std::string& codec_type) const {
  std::vector<ProbedEntry> result;
  for (const ProbedEntry& packet : packets) {
    if (packet.Text("codec_type") == codec_type) {
      result.push_back(packet);
    }
  }
  return result;
}

bool MediaToolsAvailable() {
  return ProgramAvailable("ffprobe") && ProgramAvailable("ffmpeg");
}

Probe ProbeFile(const std::string& path) {
  Probe probe;
  const CommandResult run = RunCommand(
      {"ffprobe", "-v", "error", "-show_entries",
       "stream=index,codec_type,codec_name,profile,pix_fmt,width,height,sample_rate,channels,"
       "has_b_frames,time_base,start_pts,start_time,duration_ts,duration,nb_frames,bit_rate:"
       "packet=codec_type,stream_index,pts,dts,duration,flags",
       "-of", "compact", path});
  if (run.exit_code != 0) {
    probe.error = run.err.empty() ? "ffprobe did not run" : run.err;
    return probe;
  }
  for (const std::string& line : Split(run.out, '\n')) {
    const std::vector<std::string> parts = Split(line, '|');
    if (parts.empty()) {
      continue;
    }
    ProbedEntry entry;
    for (std::size_t i = 1; i < parts.size(); ++i) {
      const std::size_t equals = parts[i].find('=');
      if (equals != std::string::npos) {
        entry.fields[parts[i].substr(0, equals)] = parts[i].substr(equals + 1);
      }
    }
    if (parts[0] == "stream") {
      probe.streams.push_back(entry);
    } else if (parts[0] == "packet") {
      probe.packets.push_back(entry);
    }
  }
  probe.ok = true;
  return probe;
}

bool DecodeVideo(const std::string& path,
                 const std::string& pixel_format,
                 std::vector<std::uint8_t>* pictures) {
  const CommandResult run =
      RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:v:0", "-fps_mode",
                  "passthrough", "-f", "rawvideo", "-pix_fmt", pixel_format, "-"});
  if (run.exit_code != 0) {
    return false;
  }
  pictures->assign(run.out.begin(), run.out.end());
  return true;
}

bool DecodeAudioAsMono48k(const std::string& path, std::vector<std::int16_t>* samples) {
  const CommandResult run = RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map",
                                        "0:a:0", "-f", "s16le", "-ac", "1", "-ar", "48000", "-"});
  if (run.exit_code != 0) {
    return false;
  }
  samples->resize(run.out.size() / 2);
  std::memcpy(samples->data(), run.out.data(), samples->size() * 2);
  return true;
}

}  // namespace halvex::media_testing
