#include "tests/windows/png_decoding.h"

#include <wincodec.h>

#include <cstdio>
#include <utility>

#include "recorder/com_ptr.h"

namespace halvex::testing {
namespace {

bool Failed(HRESULT result, const char* call, DecodedPng* decoded) {
  if (SUCCEEDED(result)) {
    return false;
  }
  char text[128];
  std::snprintf(text, sizeof(text), "%s failed with 0x%08lX", call,
                static_cast<unsigned long>(static_cast<uint32_t>(result)));
  decoded->failure = text;
  decoded->failed_call = call;
  decoded->result = result;
  return true;
}

}  // namespace

DecodedPng DecodePngToBgra(const std::vector<uint8_t>& png, FrameCalls frame_calls) {
  DecodedPng decoded;
  ComPtr<IWICImagingFactory> factory;
  if (Failed(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(factory.Put())),
             "CoCreateInstance", &decoded)) {
    return decoded;
  }
  ComPtr<IWICStream> stream;
  if (Failed(factory->CreateStream(stream.Put()), "IWICImagingFactory::CreateStream", &decoded) ||
      Failed(stream->InitializeFromMemory(const_cast<BYTE*>(png.data()),
                                          static_cast<DWORD>(png.size())),
             "IWICStream::InitializeFromMemory", &decoded)) {
    return decoded;
  }
  ComPtr<IWICBitmapDecoder> decoder;
  if (Failed(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                              decoder.Put()),
             "IWICImagingFactory::CreateDecoderFromStream", &decoded)) {
    return decoded;
  }
  ComPtr<IWICBitmapFrameDecode> frame;
  if (Failed(decoder->GetFrame(0, frame.Put()), "IWICBitmapDecoder::GetFrame", &decoded)) {
    return decoded;
  }
  UINT width = 0;
  UINT height = 0;
  if (frame_calls.get_size &&
      Failed(frame->GetSize(&width, &height), "IWICBitmapFrameDecode::GetSize", &decoded)) {
    return decoded;
  }
  ComPtr<IWICFormatConverter> converter;
  if (Failed(factory->CreateFormatConverter(converter.Put()),
             "IWICImagingFactory::CreateFormatConverter", &decoded) ||
      Failed(
          converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                nullptr, 0.0, WICBitmapPaletteTypeCustom),
          "IWICFormatConverter::Initialize", &decoded) ||
      Failed(converter->GetSize(&width, &height), "IWICFormatConverter::GetSize", &decoded)) {
    return decoded;
  }
  const UINT stride = 4 * width;
  std::vector<uint8_t> pixels(static_cast<size_t>(stride) * height);
  const bool copied = !Failed(
      converter->CopyPixels(nullptr, stride, static_cast<UINT>(pixels.size()), pixels.data()),
      "IWICFormatConverter::CopyPixels", &decoded);
  if (frame_calls.copy_pixels) {
    decoded.frame_bgra.resize(pixels.size());
    decoded.frame_copy_result = frame->CopyPixels(nullptr, stride, static_cast<UINT>(pixels.size()),
                                                  decoded.frame_bgra.data());
  }
  if (!copied) {
    return decoded;
  }
  decoded.width = width;
  decoded.height = height;
  decoded.bgra = std::move(pixels);
  return decoded;
}

}  // namespace halvex::testing
