// PNG encoding on Windows, through the Imaging Component that comes with the system.
#include "app/png_encoder.h"

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <cstdio>
#include <utility>

namespace halvex {
namespace demo {
namespace {

// Owns one COM reference.
template <typename Interface>
class ComReference {
 public:
  ComReference() = default;
  ComReference(const ComReference&) = delete;
  ComReference& operator=(const ComReference&) = delete;
  ~ComReference() {
    if (pointer_ != nullptr) {
      pointer_->Release();
    }
  }
  Interface* operator->() const { return pointer_; }
  Interface* Get() const { return pointer_; }
  Interface** Put() { return &pointer_; }

 private:
  Interface* pointer_ = nullptr;
};

// The application's thread may or may not have entered COM; encoding needs it either way, and
// leaves the thread as it found it.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  ~ComScope() {
    if (SUCCEEDED(result_)) {
      CoUninitialize();
    }
  }

 private:
  HRESULT result_;
};

bool Failed(HRESULT result, const char* step, std::string* error) {
  if (SUCCEEDED(result)) {
    return false;
  }
  if (error != nullptr) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%08lX",
                  static_cast<unsigned long>(static_cast<uint32_t>(result)));
    *error = std::string("PNG encoding failed at ") + step + ": " + text;
  }
  return true;
}

// The image's RGB rows as the encoder takes them: blue, green, red.
std::vector<uint8_t> ToBgr(const Image& image) {
  std::vector<uint8_t> bgr = image.pixels();
  for (size_t i = 0; i + 2 < bgr.size(); i += 3) {
    std::swap(bgr[i], bgr[i + 2]);
  }
  return bgr;
}

}  // namespace

bool EncodePng(const Image& image, std::vector<uint8_t>* png, std::string* error) {
  png->clear();
  if (image.empty()) {
    if (error != nullptr) {
      *error = "PNG encoding failed: the image has no pixels";
    }
    return false;
  }
  ComScope com;
  ComReference<IWICImagingFactory> factory;
  if (Failed(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(factory.Put())),
             "imaging factory", error)) {
    return false;
  }
  ComReference<IStream> stream;
  if (Failed(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), "output stream", error)) {
    return false;
  }
  ComReference<IWICBitmapEncoder> encoder;
  if (Failed(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Put()), "encoder",
             error) ||
      Failed(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "encoder set-up", error)) {
    return false;
  }
  ComReference<IWICBitmapFrameEncode> frame;
  if (Failed(encoder->CreateNewFrame(frame.Put(), nullptr), "frame", error) ||
      Failed(frame->Initialize(nullptr), "frame set-up", error) ||
      Failed(frame->SetSize(static_cast<UINT>(image.width()), static_cast<UINT>(image.height())),
             "header", error)) {
    return false;
  }
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (Failed(frame->SetPixelFormat(&format), "pixel format", error)) {
    return false;
  }
  if (!IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
    if (error != nullptr) {
      *error = "PNG encoding failed at pixel format: 24-bit BGR refused";
    }
    return false;
  }
  std::vector<uint8_t> bgr = ToBgr(image);
  if (Failed(frame->WritePixels(static_cast<UINT>(image.height()),
                                static_cast<UINT>(image.row_bytes()), static_cast<UINT>(bgr.size()),
                                bgr.data()),
             "image", error) ||
      Failed(frame->Commit(), "image", error) || Failed(encoder->Commit(), "output", error)) {
    return false;
  }

  ULARGE_INTEGER written{};
  if (Failed(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &written), "output", error)) {
    return false;
  }
  HGLOBAL memory = nullptr;
  if (Failed(GetHGlobalFromStream(stream.Get(), &memory), "output", error)) {
    return false;
  }
  const void* bytes = GlobalLock(memory);
  if (bytes == nullptr) {
    if (error != nullptr) {
      *error = "PNG encoding failed at output: the stream's memory cannot be read";
    }
    return false;
  }
  const auto* first = static_cast<const uint8_t*>(bytes);
  png->assign(first, first + written.QuadPart);
  GlobalUnlock(memory);
  return true;
}

}  // namespace demo
}  // namespace halvex
