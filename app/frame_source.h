// Where the demo's frames come from: drawn on the fly or read from PNG files.
#ifndef HALVEX_APP_FRAME_SOURCE_H_
#define HALVEX_APP_FRAME_SOURCE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "app/image.h"

namespace halvex {
namespace demo {

class FrameSource {
 public:
  virtual ~FrameSource() = default;

  virtual int64_t frame_count() const = 0;

  // Produces the PNG bytes of frame `index` (from 0, below frame_count()) into `png`. Returns false
  // and says why in `error` when the frame cannot be had.
  virtual bool ProducePng(int64_t index, std::vector<uint8_t>* png, std::string* error) = 0;

  // Whether frame `index` shows a flash, which the demo accompanies with a beep.
  virtual bool ShowsFlash(int64_t /*index*/) const { return false; }

  // The picture the last successful ProducePng encoded, for the engine's view to show; null when
  // the source hands over PNG bytes it did not draw.
  virtual const Image* LastPicture() const { return nullptr; }
};

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_FRAME_SOURCE_H_
