// The MP4 finisher on any bytes, as an in-memory file: inspecting and finishing never crash, never
// throw, never touch a file they refuse, and a finished file is plain, keeps every byte of the
// recording but its new mdat header, and is left alone by a second run.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "mp4/finish_recording.h"
#include "mp4/memory_file.h"

namespace {

using halvex::fuzzing::Require;
using halvex::mp4::FinishStatus;

// The positions where `after` differs from `before` within before's length lie in one stretch of
// at most 16 bytes (an mdat header).
bool OnlyAHeaderChanged(const std::vector<std::uint8_t>& before,
                        const std::vector<std::uint8_t>& after) {
  std::size_t first = before.size();
  std::size_t last = 0;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] != after[i]) {
      first = i < first ? i : first;
      last = i;
    }
  }
  return first == before.size() || last - first < 16;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::uint8_t> input(data, data + size);
  halvex::mp4::MemoryFile inspected(input);
  const halvex::mp4::FinishReport seen = halvex::mp4::InspectRecording(inspected);
  Require(inspected.bytes() == input, "inspecting writes nothing");

  halvex::mp4::MemoryFile file(input);
  const halvex::mp4::FinishReport report = halvex::mp4::FinishRecording(file);
  Require((seen.status == FinishStatus::kFragmented) == (report.status == FinishStatus::kFinished),
          "inspecting foresees finishing");
  if (report.status != FinishStatus::kFinished) {
    Require(file.bytes() == input, "a refused file is untouched");
    Require(report.status == seen.status, "inspecting and finishing agree on a refusal");
    return 0;
  }
  Require(file.bytes().size() > input.size(), "the index is appended");
  Require(OnlyAHeaderChanged(input, file.bytes()), "the recording's bytes are kept");
  const std::vector<std::uint8_t> finished = file.bytes();
  const halvex::mp4::FinishReport again = halvex::mp4::FinishRecording(file);
  Require(again.status == FinishStatus::kAlreadyPlain, "a finished file is plain");
  Require(file.bytes() == finished, "a plain file is left alone");
  std::uint64_t samples = 0;
  std::uint64_t samples_again = 0;
  for (const halvex::mp4::TrackReport& track : report.tracks) {
    samples += track.samples;
  }
  for (const halvex::mp4::TrackReport& track : again.tracks) {
    samples_again += track.samples;
  }
  Require(samples == samples_again, "the plain index holds every sample kept");
  return 0;
}
