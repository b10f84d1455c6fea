// Nearest-neighbour resizing of BGRA frames to the video's fixed size.
#ifndef HALVEX_RECORDER_SCALE_H_
#define HALVEX_RECORDER_SCALE_H_

#include <cstdint>

namespace halvex {

// Resizes a frame of sourceWidth × sourceHeight 4-byte pixels (rows sourceRowBytes apart) to
// destinationWidth × destinationHeight pixels in rows of 4 × destinationWidth bytes. Destination
// row y takes source row min(y × sourceHeight / destinationHeight, sourceHeight − 1), column x
// likewise; each pixel's 4 bytes are copied unchanged. Does nothing when a size is not positive.
void ScaleNearest(const uint8_t* source,
                  int32_t sourceRowBytes,
                  int32_t sourceWidth,
                  int32_t sourceHeight,
                  uint8_t* destination,
                  int32_t destinationWidth,
                  int32_t destinationHeight);

}  // namespace halvex

#endif  // HALVEX_RECORDER_SCALE_H_
