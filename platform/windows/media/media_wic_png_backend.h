// The imaging stand-in's PNG decoder: real decoding of any PNG for bytes no test scripted.
#ifndef HALVEX_STANDIN_MEDIA_WIC_PNG_BACKEND_H_
#define HALVEX_STANDIN_MEDIA_WIC_PNG_BACKEND_H_

#include <memory>

#include "wic_decoded_image.h"

namespace halvex::platform {

std::shared_ptr<ImageDecoderBackend> MakePngDecoderBackend();

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_MEDIA_WIC_PNG_BACKEND_H_
