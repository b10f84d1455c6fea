#include "app/scene_frame_source.h"

#include "app/png_encoder.h"
#include "app/scene.h"

namespace halvex {
namespace demo {

SceneFrameSource::SceneFrameSource(int width, int height, double fps, int64_t frame_count)
    : width_(width), height_(height), fps_(fps), frame_count_(frame_count) {}

bool SceneFrameSource::ProducePng(int64_t index, std::vector<uint8_t>* png, std::string* error) {
  picture_ = DrawTestScene(width_, height_, index, fps_);
  has_picture_ = EncodePng(picture_, png, error);
  return has_picture_;
}

const Image* SceneFrameSource::LastPicture() const {
  return has_picture_ ? &picture_ : nullptr;
}

bool SceneFrameSource::ShowsFlash(int64_t index) const {
  return IsFlashFrame(index, fps_);
}

}  // namespace demo
}  // namespace halvex
