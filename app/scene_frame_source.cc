#include "app/scene_frame_source.h"

#include "app/png_encoder.h"
#include "app/scene.h"

namespace halvex {
namespace demo {

SceneFrameSource::SceneFrameSource(int width, int height, double fps, int64_t frame_count)
    : width_(width), height_(height), fps_(fps), frame_count_(frame_count) {}

bool SceneFrameSource::ProducePng(int64_t index, std::vector<uint8_t>* png, std::string* error) {
  return EncodePng(DrawTestScene(width_, height_, index, fps_), png, error);
}

bool SceneFrameSource::ShowsFlash(int64_t index) const {
  return IsFlashFrame(index, fps_);
}

}  // namespace demo
}  // namespace halvex
