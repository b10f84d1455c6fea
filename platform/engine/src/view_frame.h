// The picture the application last handed over: replaced on the application's thread, painted on
// the platform thread.
#ifndef HALVEX_PLATFORM_ENGINE_SRC_VIEW_FRAME_H_
#define HALVEX_PLATFORM_ENGINE_SRC_VIEW_FRAME_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace halvex::engine {

// 32-bit pixels (blue, green, red, unused), rows top to bottom with no gap between them.
struct ViewFrame {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
};

// A copy of a picture in present_frame's layout, or null when the arguments describe none
// (null pixels, a side outside 1..HALVEX_MAX_FRAME_SIDE, a stride below width * 4 or one that
// reaches past the address space) or memory runs out.
std::shared_ptr<const ViewFrame> CopyViewFrame(const uint8_t* pixels,
                                               int32_t width,
                                               int32_t height,
                                               size_t stride);

// Painting holds its own reference, so a new picture never waits for a paint to end and a paint
// never sees a picture change under it.
class LatestViewFrame {
 public:
  // Returns the picture it replaces, for the caller to let go of outside any lock of its own.
  std::shared_ptr<const ViewFrame> Replace(std::shared_ptr<const ViewFrame> frame);
  std::shared_ptr<const ViewFrame> Get() const;

 private:
  mutable std::mutex lock_;
  std::shared_ptr<const ViewFrame> frame_;
};

}  // namespace halvex::engine

#endif  // HALVEX_PLATFORM_ENGINE_SRC_VIEW_FRAME_H_
