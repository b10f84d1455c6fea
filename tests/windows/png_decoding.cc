#include "tests/windows/png_decoding.h"

#include <windows.h>
#include <wincodec.h>

#include <cstdio>
#include <utility>

#include "recorder/com_ptr.h"

namespace halvex::testing {
namespace {

bool Failed(HRESULT result, const char* step, DecodedPng* decoded) {
  if (SUCCEEDED(result)) {
    return false;
  }
  char text[96];
  std::snprintf(text, sizeof(text), "%s failed with 0x%08lX", step,
                static_cast<unsigned long>(static_cast<uint32_t>(result)));
  decoded->failure = text;
  return true;
}

}  // namespace

DecodedPng DecodePngToBgra(const std::vector<uint8_t>& png) {
  DecodedPng decoded;
  ComPtr<IWICImagingFactory> factory;
  if (Failed(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(factory.Put())),
             "CoCreateInstance", &decoded)) {
    return decoded;
  }
  ComPtr<IWICStream> stream;
  if (Failed(factory->CreateStream(stream.Put()), "CreateStream", &decoded) ||
      Failed(stream->InitializeFromMemory(const_cast<BYTE*>(png.data()),
                                          static_cast<DWORD>(png.size())),
             "InitializeFromMemory", &decoded)) {
    return decoded;
  }
  ComPtr<IWICBitmapDecoder> decoder;
  if (Failed(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                              decoder.Put()),
             "CreateDecoderFromStream", &decoded)) {
    return decoded;
  }
  ComPtr<IWICBitmapFrameDecode> frame;
  if (Failed(decoder->GetFrame(0, frame.Put()), "GetFrame", &decoded)) {
    return decoded;
  }
  ComPtr<IWICFormatConverter> converter;
  if (Failed(factory->CreateFormatConverter(converter.Put()), "CreateFormatConverter", &decoded) ||
      Failed(
          converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                nullptr, 0.0, WICBitmapPaletteTypeCustom),
          "Initialize", &decoded)) {
    return decoded;
  }
  UINT width = 0;
  UINT height = 0;
  if (Failed(converter->GetSize(&width, &height), "GetSize", &decoded)) {
    return decoded;
  }
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  if (Failed(converter->CopyPixels(nullptr, 4 * width, static_cast<UINT>(pixels.size()),
                                   pixels.data()),
             "CopyPixels", &decoded)) {
    return decoded;
  }
  decoded.width = width;
  decoded.height = height;
  decoded.bgra = std::move(pixels);
  return decoded;
}

}  // namespace halvex::testing
