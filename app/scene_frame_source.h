#ifndef HALVEX_APP_SCENE_FRAME_SOURCE_H_
#define HALVEX_APP_SCENE_FRAME_SOURCE_H_

#include "app/frame_source.h"

namespace halvex {
namespace demo {

// Draws the test scene for each frame and encodes it.
class SceneFrameSource : public FrameSource {
 public:
  SceneFrameSource(int width, int height, double fps, int64_t frame_count);

  int64_t frame_count() const override { return frame_count_; }
  bool ProducePng(int64_t index, std::vector<uint8_t>* png, std::string* error) override;
  bool ShowsFlash(int64_t index) const override;
  const Image* LastPicture() const override;

 private:
  int width_;
  int height_;
  double fps_;
  int64_t frame_count_;
  Image picture_;
  bool has_picture_ = false;
};

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_SCENE_FRAME_SOURCE_H_
