// Recordings the finisher's tests share: a movie with video and audio tracks, fragments of
// either or both in any of the layouts muxers write, and the checks of a finished file against
// what a reader of the fragments saw.
#ifndef HALVEX_TESTS_MP4_LAYOUTS_H_
#define HALVEX_TESTS_MP4_LAYOUTS_H_

#include <cstdint>
#include <vector>

#include "mp4/random_access_file.h"
#include "mp4/testing/fragmented_mp4_builder.h"

namespace halvex::mp4_testing {

using mp4::testing::BaseOffset;
using mp4::testing::BuilderFragment;
using mp4::testing::BuilderMovie;
using mp4::testing::BuilderRun;
using mp4::testing::BuilderSample;
using mp4::testing::BuilderTrackFragment;
using mp4::testing::PlacedSample;

constexpr std::uint32_t kVideoTrack = 1;
constexpr std::uint32_t kAudioTrack = 2;

// Video (track 1, 90 kHz) and audio (track 2, 48 kHz).
BuilderMovie VideoAndAudio();

// `count` video frames of 3000 ticks, a key frame every 8th, sizes varying, from frame `first`.
BuilderRun VideoRun(int first, int count);
// `count` audio frames of 1024 ticks and 200 bytes.
BuilderRun AudioRun(int count);

// A video track fragment and an audio one starting at the given decode times.
BuilderTrackFragment VideoFragment(std::uint64_t decode_time, int first, int count);
BuilderTrackFragment AudioFragment(std::uint64_t decode_time, int count);

// `count` fragments of both tracks, one second each.
std::vector<BuilderFragment> Seconds(int count, BaseOffset base);

// Checks a finished file: ftyp, one mdat over everything up to the moov, the moov; no mvex; the
// samples of every track where the fragments had them, with the same decode and composition
// times and durations (only a sample before a gap in decode times grows to fill it); the media
// bytes untouched (`before` is the fragmented file).
void ExpectFinishedAsPlayed(mp4::RandomAccessFile& file,
                            const std::vector<std::uint8_t>& before,
                            const BuilderMovie& movie,
                            const std::vector<PlacedSample>& placed);

}  // namespace halvex::mp4_testing

#endif  // HALVEX_TESTS_MP4_LAYOUTS_H_
