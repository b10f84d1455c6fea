// Decoded images as the stand-in's decoders, frames and converters share them, where they come
// from (test scripts, or a decoder backend), and the pixel copy every CopyPixels performs.
#ifndef HALVEX_STANDIN_WIC_DECODED_IMAGE_H_
#define HALVEX_STANDIN_WIC_DECODED_IMAGE_H_

#include <wincodec.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "windows_testing/imaging.h"

namespace halvex::platform {

struct DecodedImage {
  UINT width = 0;
  UINT height = 0;
  // Rows top to bottom, 4 bytes per pixel (B, G, R, A), no gap. Empty: every pixel is
  // mid-grey and opaque (scripted failures, which must not allocate for a declared size).
  std::vector<BYTE> bgra;
  GUID container = GUID_ContainerFormatPng;
  // The call at which decoding fails, and how; empty for an image that decodes.
  std::string failing_call;
  HRESULT failure = S_OK;

  // The scripted failure if `call` is the failing call, else S_OK.
  HRESULT FailureAt(const char* call) const { return failing_call == call ? failure : S_OK; }
};

using SharedImage = std::shared_ptr<const DecodedImage>;

// A real decoder, for bytes no test scripted. It returns WINCODEC_ERR_COMPONENTNOTFOUND for data
// it does not recognise.
class ImageDecoderBackend {
 public:
  virtual ~ImageDecoderBackend() = default;
  virtual HRESULT Decode(const BYTE* data, std::size_t size, SharedImage* image) = 0;
};

// Installs the decoder used for unscripted bytes; null leaves them undecodable.
void SetImageDecoderBackend(std::shared_ptr<ImageDecoderBackend> backend);

// Decodes `bytes`: a scripted image first, then the backend. Fails with
// WINCODEC_ERR_COMPONENTNOTFOUND when neither knows them.
HRESULT DecodeImage(const std::vector<BYTE>& bytes, SharedImage* image);

// Copies `rect` (null: the whole image) into `buffer`, `stride` bytes per row.
HRESULT CopyImagePixels(const DecodedImage& image,
                        const WICRect* rect,
                        UINT stride,
                        UINT buffer_size,
                        BYTE* buffer);

// Adds to the record of imaging calls under its lock.
void RecordImagingCall(const std::function<void(testing::ImagingCalls&)>& change);

// Implemented by every stand-in bitmap source, so a converter can reach its source's image.
class ImageHolder {
 public:
  // Null while the source has no image (an uninitialised converter).
  virtual SharedImage HeldImage() const = 0;

 protected:
  virtual ~ImageHolder() = default;
};

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_WIC_DECODED_IMAGE_H_
