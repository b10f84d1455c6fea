#include "view_frame.h"

#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "platform/engine/halvex_app.h"

namespace halvex::engine {

std::shared_ptr<const ViewFrame> CopyViewFrame(const uint8_t* pixels,
                                               int32_t width,
                                               int32_t height,
                                               size_t stride) {
  if (pixels == nullptr || width < 1 || width > HALVEX_MAX_FRAME_SIDE || height < 1 ||
      height > HALVEX_MAX_FRAME_SIDE) {
    return nullptr;
  }
  const size_t row_bytes = static_cast<size_t>(width) * 4;
  if (stride < row_bytes) {
    return nullptr;
  }
  // The last row's end must be addressable from `pixels`.
  const uintptr_t addressable =
      std::numeric_limits<uintptr_t>::max() - reinterpret_cast<uintptr_t>(pixels);
  const size_t rows_before_last = static_cast<size_t>(height) - 1;
  if (row_bytes > addressable ||
      (rows_before_last > 0 && stride > (addressable - row_bytes) / rows_before_last)) {
    return nullptr;
  }
  try {
    auto frame = std::make_shared<ViewFrame>();
    frame->width = width;
    frame->height = height;
    frame->pixels.resize(row_bytes * static_cast<size_t>(height));
    for (size_t row = 0; row < static_cast<size_t>(height); ++row) {
      std::memcpy(frame->pixels.data() + row * row_bytes, pixels + row * stride, row_bytes);
    }
    return frame;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::shared_ptr<const ViewFrame> LatestViewFrame::Replace(std::shared_ptr<const ViewFrame> frame) {
  std::lock_guard<std::mutex> guard(lock_);
  return std::exchange(frame_, std::move(frame));
}

std::shared_ptr<const ViewFrame> LatestViewFrame::Get() const {
  std::lock_guard<std::mutex> guard(lock_);
  return frame_;
}

}  // namespace halvex::engine
