// What a recording must leave in its sink writer's record, whatever the threads did meanwhile.
#ifndef HALVEX_TESTS_RELIABILITY_RECORDER_STRESS_WRITER_CHECKS_H_
#define HALVEX_TESTS_RELIABILITY_RECORDER_STRESS_WRITER_CHECKS_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "windows_testing/media_foundation.h"

namespace halvex::stress {

struct ExpectedWriter {
  std::wstring url;
  int32_t frames = 0;         // the count the last reply of the recording gave
  int64_t frameDuration = 0;  // 100-ns units
  uint32_t nv12Bytes = 0;     // size of every video sample, fixed by the first frame
  bool audioStream = false;
  bool endedByStop = false;        // rather than by the next "start", which pads nothing
  bool stopReportedAudio = false;  // "hasAudio" of the "stop" reply
};

// Bytes of one NV12 picture for a first frame of width x height: the size made even, rows
// padded to a multiple of 16.
uint32_t Nv12Bytes(uint32_t width, uint32_t height);

// The writer began writing and was finalised exactly once, successfully, and released. Its
// video samples are the frames counted, stamped index x frame duration from 0. Its audio samples
// follow each other without gap or overlap on the 48 kHz time line, each lasting as long as its
// samples; a recording ended by "stop" has audio up to the end of the video, and only silence
// when "stop" reported no audio.
::testing::AssertionResult CheckWriter(const halvex::testing::RecordedSinkWriter& writer,
                                       const ExpectedWriter& expected);

}  // namespace halvex::stress

#endif  // HALVEX_TESTS_RELIABILITY_RECORDER_STRESS_WRITER_CHECKS_H_
