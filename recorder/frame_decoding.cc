#include "recorder/frame_decoding.h"

#include <wincodec.h>

#include <cstring>
#include <new>

#include "recorder/com_ptr.h"

namespace halvex {
namespace {

constexpr uint8_t kPngSignature[] = {0x89, 0x50, 0x4E, 0x47};
constexpr uint64_t kMinPngLength = 8;

// Makes `frame` hold `bytes` bytes, keeping what it has unless that is too small or much larger.
bool ReservePixels(DecodedFrame* frame, size_t bytes) {
  if (frame->pixels && frame->capacity >= bytes && frame->capacity / 2 <= bytes) {
    return true;
  }
  frame->pixels.reset();
  frame->capacity = 0;
  frame->pixels.reset(new (std::nothrow) uint8_t[bytes]);
  if (!frame->pixels) {
    return false;
  }
  frame->capacity = bytes;
  return true;
}

// Each imaging object is released before returning, the last one made first.
void DecodeWithImagingComponent(const uint8_t* data, uint64_t length, DecodedFrame* frame) {
  if (length > UINT32_MAX) {
    return;
  }
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(factory.Put())))) {
    return;
  }
  ComPtr<IWICStream> stream;
  if (FAILED(factory->CreateStream(stream.Put()))) {
    return;
  }
  if (FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(length)))) {
    return;
  }
  ComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                              decoder.Put()))) {
    return;
  }
  ComPtr<IWICBitmapFrameDecode> firstFrame;
  if (FAILED(decoder->GetFrame(0, firstFrame.Put()))) {
    return;
  }
  ComPtr<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(converter.Put()))) {
    return;
  }
  if (FAILED(converter->Initialize(firstFrame.Get(), GUID_WICPixelFormat32bppBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom))) {
    return;
  }
  UINT width = 0;
  UINT height = 0;
  if (FAILED(converter->GetSize(&width, &height)) || width < 2 || height < 2) {
    return;
  }
  const UINT evenWidth = width & ~1u;
  const UINT evenHeight = height & ~1u;
  if (static_cast<uint64_t>(evenWidth) * evenHeight > kMaxFramePixels) {
    return;
  }
  const UINT stride = 4 * evenWidth;
  const UINT bufferSize = stride * evenHeight;
  if (!ReservePixels(frame, bufferSize)) {
    return;
  }
  const WICRect region = {0, 0, static_cast<INT>(evenWidth), static_cast<INT>(evenHeight)};
  if (FAILED(converter->CopyPixels(&region, stride, bufferSize, frame->pixels.get()))) {
    return;
  }
  frame->width = static_cast<int32_t>(evenWidth);
  frame->height = static_cast<int32_t>(evenHeight);
}

}  // namespace

void DecodePngFrame(const uint8_t* data, uint64_t length, DecodedFrame* frame) {
  frame->Clear();
  // Only the start of the signature is checked; the decoder judges the rest of the file.
  if (data == nullptr || length < kMinPngLength ||
      std::memcmp(data, kPngSignature, sizeof(kPngSignature)) != 0) {
    return;
  }
  DecodeWithImagingComponent(data, length, frame);
}

}  // namespace halvex
