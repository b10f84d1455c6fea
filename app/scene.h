// The moving test scene the demo records: colour bars over a grey ramp, a square that travels
// across the bars, the frame number and time written in the top-left corner, and a white flash of
// the ramp once a second.
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

// Whether frame `frame_index` shows the flash: the first frame at or after each half second past a
// whole second (0.5 s, 1.5 s, 2.5 s, ...), once a second. The demo plays a beep with it, so that
// a recording shows whether its sound stays with its picture.
bool IsFlashFrame(int64_t frame_index, double fps);

// Draws frame `frame_index` of a recording at `fps` frames per second; on a flash frame the grey
// ramp below the bars is white. The picture depends only on its arguments, so the same frame
// always encodes to the same bytes.
Image DrawTestScene(int width, int height, int64_t frame_index, double fps);

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_SCENE_H_
