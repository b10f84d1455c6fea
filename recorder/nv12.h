// BGRA to NV12 conversion for the video encoder's input.
#ifndef HALVEX_RECORDER_NV12_H_
#define HALVEX_RECORDER_NV12_H_

#include <cstddef>
#include <cstdint>

namespace halvex {

// Bytes an NV12 picture of `height` rows needs at `pitch` bytes per row: the luma rows and one
// chroma row per started pair of image rows. For an even height this is pitch × (height × 3 / 2).
size_t Nv12Size(int32_t pitch, int32_t height);

// Converts `height` rows of `width` BGRA pixels (alpha ignored) to NV12 with the integer BT.601
// studio-range formulas: the luma plane, then the interleaved U/V plane, rows `destinationPitch`
// bytes apart in both. Each U/V pair averages those pixels of its 2 × 2 block that lie inside the
// image. Bytes beyond the image width in each row are left as they are. `destinationPitch` must be
// at least the width rounded up to even (the chroma pairs' bytes), and `destination` must hold
// Nv12Size(destinationPitch, height) bytes; otherwise nothing is written.
void ConvertBgraToNv12(const uint8_t* source,
                       int32_t sourceRowBytes,
                       int32_t width,
                       int32_t height,
                       int32_t destinationPitch,
                       uint8_t* destination);

}  // namespace halvex

#endif  // HALVEX_RECORDER_NV12_H_
