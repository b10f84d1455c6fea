// The moving test scene the demo records: colour bars over a grey ramp, a square that travels
// across the bars, and the frame number and time written in the top-left corner.
#ifndef HALVEX_APP_SCENE_H_
#define HALVEX_APP_SCENE_H_

#include <cstdint>
#include <string>

#include "app/image.h"

namespace halvex {
namespace demo {

// "FRAME 0012": the index counted from 0, at least four digits.
std::string FrameLabel(int64_t frame_index);

// The frame's start time at the given rate as minutes, seconds and milliseconds: "00:01.250".
std::string TimeLabel(int64_t frame_index, double fps);

// Draws frame `frame_index` of a recording at `fps` frames per second. The picture depends only on
// its arguments, so the same frame always encodes to the same bytes.
Image DrawTestScene(int width, int height, int64_t frame_index, double fps);

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_SCENE_H_
