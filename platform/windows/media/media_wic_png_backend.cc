#include "media_wic_png_backend.h"

#include <new>
#include <utility>

#include "media_png_decoder.h"

namespace halvex::platform {
namespace {

using media::PngFailure;
using media::PngStatus;

// Larger images fail at decoder creation: their caller would otherwise allocate the pixels of a
// size only the header vouches for.
constexpr std::uint64_t kLargestImageBytes = std::uint64_t{256} << 20;

HRESULT ToHresult(const PngStatus& status) {
  switch (status.failure) {
    case PngFailure::kNone:
      return S_OK;
    case PngFailure::kNotPng:
      return WINCODEC_ERR_COMPONENTNOTFOUND;
    case PngFailure::kBadHeader:
      return WINCODEC_ERR_BADHEADER;
    case PngFailure::kTooLarge:
      return WINCODEC_ERR_IMAGESIZEOUTOFRANGE;
    case PngFailure::kBadChunk:
      return WINCODEC_ERR_BADIMAGE;
    case PngFailure::kTruncated:
      return WINCODEC_ERR_STREAMREAD;
    case PngFailure::kCorruptData:
      return WINCODEC_ERR_BADSTREAMDATA;
    case PngFailure::kInvalidArgument:
      return E_INVALIDARG;
    case PngFailure::kBufferTooSmall:
      return WINCODEC_ERR_INSUFFICIENTBUFFER;
    case PngFailure::kOutOfMemory:
      return E_OUTOFMEMORY;
  }
  return E_FAIL;
}

class PngDecoderBackend final : public ImageDecoderBackend {
 public:
  HRESULT Decode(const BYTE* data, std::size_t size, SharedImage* image) override {
    media::PngLimits limits;
    limits.max_decoded_bytes = kLargestImageBytes;
    std::unique_ptr<media::PngDecoder> decoder;
    PngStatus status = media::PngDecoder::Open(data, size, limits, &decoder);
    if (!status.ok()) {
      return ToHresult(status);
    }
    auto decoded = std::make_shared<DecodedImage>();
    decoded->width = decoder->width();
    decoded->height = decoder->height();
    decoded->container = GUID_ContainerFormatPng;
    // The whole image is decoded now; damage found on the way fails the call that would have
    // read it on Windows.
    status = decoder->OpenFrame();
    if (!status.ok()) {
      decoded->failing_call = "IWICBitmapDecoder::GetFrame";
      decoded->failure = ToHresult(status);
      *image = std::move(decoded);
      return S_OK;
    }
    const std::size_t bytes = std::size_t{decoded->width} * decoded->height * 4;
    try {
      decoded->bgra.resize(bytes);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    status = decoder->CopyPixels(nullptr, decoded->width * 4, static_cast<std::uint32_t>(bytes),
                                 decoded->bgra.data());
    if (!status.ok()) {
      decoded->bgra.clear();
      decoded->failing_call = "IWICBitmapFrameDecode::CopyPixels";
      decoded->failure = ToHresult(status);
    }
    *image = std::move(decoded);
    return S_OK;
  }
};

}  // namespace

std::shared_ptr<ImageDecoderBackend> MakePngDecoderBackend() {
  return std::make_shared<PngDecoderBackend>();
}

}  // namespace halvex::platform
