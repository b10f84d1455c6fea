// Encodes the demo's frames as PNG images, the form in which the recorder channel takes them.
#ifndef HALVEX_APP_PNG_ENCODER_H_
#define HALVEX_APP_PNG_ENCODER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "app/image.h"

namespace halvex {
namespace demo {

// Writes `image` as an 8-bit truecolour PNG into `png` (replacing its content). Returns false and
// says why in `error` when the image is empty or the encoder fails; `png` is then empty.
bool EncodePng(const Image& image, std::vector<uint8_t>* png, std::string* error);

// The eight bytes every PNG file starts with.
bool HasPngSignature(const uint8_t* data, size_t size);

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_PNG_ENCODER_H_
