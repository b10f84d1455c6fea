#include "recorder/audio_timeline.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace halvex {
namespace {

constexpr int64_t kSecond = kCaptureClockTicksPerSecond;

TEST(CaptureTimelineTest, MapsClockTimesToSamplesRoundingDown) {
  CaptureTimeline timeline;
  EXPECT_FALSE(timeline.anchored());
  timeline.Anchor(5 * kSecond, 1000);
  EXPECT_TRUE(timeline.anchored());
  const struct {
    int64_t time;
    int64_t position;
  } cases[] = {
      {5 * kSecond, 1000},
      {5 * kSecond + 1, 1000},                              // 4.8 thousandths of a sample
      {5 * kSecond + 209, 1001},                            // 1.0032 samples past the anchor
      {6 * kSecond, 49000},                                 // one second
      {5 * kSecond + 2500000, 13000},                       // a quarter second
      {5 * kSecond - 1, 999},                               // just before the anchor rounds down
      {5 * kSecond - 20000, 1000 - 96},                     // 2 ms before
      {4 * kSecond, 0},                                     // never below the start of the track
      {5 * kSecond + 3600 * kSecond, 1000 + 3600 * 48000},  // an hour on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(timeline.PositionAt(c.time), c.position) << c.time;
  }
}

TEST(CaptureTimelineTest, NonsenseTimesStayBounded) {
  CaptureTimeline timeline;
  timeline.Anchor(INT64_MAX - kSecond, 0);
  EXPECT_EQ(timeline.PositionAt(INT64_MIN), 0);
  CaptureTimeline early;
  early.Anchor(INT64_MIN + kSecond, 0);
  const int64_t far = early.PositionAt(INT64_MAX);
  EXPECT_GT(far, 0);
  EXPECT_LE(far, INT64_C(1) << 46);  // room to add to without overflow
}

TEST(PlaceChunkTest, FollowsOnWithinToleranceAndPlacesEverythingElseExactly) {
  const struct {
    const char* name;
    int64_t target, end, length;
    bool followsOn;
    int64_t silence, skip;
  } cases[] = {
      {"on time", 5000, 5000, 480, true, 0, 0},
      {"late within tolerance", 5960, 5000, 480, true, 0, 0},
      {"early within tolerance", 4040, 5000, 480, true, 0, 0},
      {"late beyond tolerance", 5961, 5000, 480, true, 961, 0},
      {"early beyond tolerance", 4039, 5000, 480, true, 0, 480},
      {"a break, one sample late", 5001, 5000, 480, false, 1, 0},
      {"a break, exactly on time", 5000, 5000, 480, false, 0, 0},
      {"a break, overlapping part", 4900, 5000, 480, false, 0, 100},
      {"a break, overlapping all", 1000, 5000, 480, false, 0, 480},
      {"a long gap", 48000 * 60, 5000, 480, false, 48000 * 60 - 5000, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ChunkPlacement placement = PlaceChunk(c.target, c.end, c.length, c.followsOn);
    EXPECT_EQ(placement.silence, c.silence);
    EXPECT_EQ(placement.skip, c.skip);
  }
}

TEST(StreamContinuityTest, FollowsTheDeviceCountAndHonoursBreaks) {
  StreamContinuity continuity;
  EXPECT_FALSE(continuity.FollowsOn(100, 480, false));  // the first packet follows nothing
  EXPECT_TRUE(continuity.FollowsOn(580, 480, false));
  EXPECT_FALSE(continuity.FollowsOn(1060, 480, true));   // the device marks a break
  EXPECT_FALSE(continuity.FollowsOn(5000, 480, false));  // the count jumped
  EXPECT_FALSE(continuity.FollowsOn(5000, 480, false));  // or went back
  EXPECT_TRUE(continuity.FollowsOn(5480, 1, false));
}

}  // namespace
}  // namespace halvex
