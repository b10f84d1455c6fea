#include "wic_decoded_image.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <utility>

#include "real_media_backends.h"

namespace halvex::platform {
namespace {

constexpr BYTE kUnscriptedGrey = 0x80;

const char* const kScriptableFailures[] = {
    "IWICImagingFactory::CreateDecoderFromStream",
    "IWICBitmapDecoder::GetFrame",
    "IWICBitmapFrameDecode::GetSize",
    "IWICBitmapFrameDecode::CopyPixels",
    "IWICFormatConverter::Initialize",
    "IWICFormatConverter::GetSize",
    "IWICFormatConverter::CopyPixels",
};

// A process starts out decoding real PNG images once the media library has registered its
// decoder; a test's reset leaves only what it scripts.
struct ImagingState {
  std::mutex mutex;
  std::map<std::vector<BYTE>, SharedImage> scripts;
  std::shared_ptr<ImageDecoderBackend> backend;
  testing::ImagingCalls calls;
};

ImagingState& State() {
  static ImagingState* state = new ImagingState();  // Never destroyed: used at exit.
  return *state;
}

void Script(const std::vector<BYTE>& bytes, DecodedImage image) {
  ImagingState& state = State();
  auto shared = std::make_shared<const DecodedImage>(std::move(image));
  std::lock_guard<std::mutex> lock(state.mutex);
  state.scripts[bytes] = std::move(shared);
}

}  // namespace

void SetImageDecoderBackend(std::shared_ptr<ImageDecoderBackend> backend) {
  ImagingState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.backend = std::move(backend);
}

HRESULT DecodeImage(const std::vector<BYTE>& bytes, SharedImage* image) {
  ImagingState& state = State();
  std::shared_ptr<ImageDecoderBackend> backend;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    const auto it = state.scripts.find(bytes);
    if (it != state.scripts.end()) {
      *image = it->second;
      return S_OK;
    }
    backend = state.backend;
  }
  if (backend) {
    return backend->Decode(bytes.data(), bytes.size(), image);
  }
  return WINCODEC_ERR_COMPONENTNOTFOUND;
}

HRESULT CopyImagePixels(const DecodedImage& image,
                        const WICRect* rect,
                        UINT stride,
                        UINT buffer_size,
                        BYTE* buffer) {
  const WICRect whole = {0, 0, static_cast<INT>(image.width), static_cast<INT>(image.height)};
  const WICRect& area = rect != nullptr ? *rect : whole;
  // 64-bit sums: a rectangle near INT_MAX must not wrap into the image.
  if (buffer == nullptr || area.X < 0 || area.Y < 0 || area.Width < 0 || area.Height < 0 ||
      static_cast<std::int64_t>(area.X) + area.Width > image.width ||
      static_cast<std::int64_t>(area.Y) + area.Height > image.height) {
    return E_INVALIDARG;
  }
  if (area.Width == 0 || area.Height == 0) {
    return S_OK;
  }
  const std::uint64_t row_bytes = static_cast<std::uint64_t>(area.Width) * 4;
  const std::uint64_t needed = static_cast<std::uint64_t>(stride) * (area.Height - 1) + row_bytes;
  if (stride < row_bytes || needed > buffer_size) {
    return WINCODEC_ERR_INSUFFICIENTBUFFER;
  }
  for (INT row = 0; row < area.Height; ++row) {
    BYTE* target = buffer + static_cast<std::size_t>(stride) * row;
    if (image.bgra.empty()) {
      for (std::uint64_t pixel = 0; pixel < row_bytes; pixel += 4) {
        target[pixel] = target[pixel + 1] = target[pixel + 2] = kUnscriptedGrey;
        target[pixel + 3] = 0xFF;
      }
    } else {
      const std::size_t source_offset =
          (static_cast<std::size_t>(area.Y + row) * image.width + area.X) * 4;
      std::memcpy(target, image.bgra.data() + source_offset, row_bytes);
    }
  }
  return S_OK;
}

void RecordImagingCall(const std::function<void(testing::ImagingCalls&)>& change) {
  ImagingState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  change(state.calls);
}

}  // namespace halvex::platform

namespace halvex::testing {

bool ScriptImage(const std::vector<BYTE>& bytes,
                 UINT width,
                 UINT height,
                 const std::vector<BYTE>& bgra) {
  // Checked without multiplying first, so that a declared size can never overflow into a match.
  if (width == 0 || height == 0 || bgra.size() % 4 != 0 || bgra.size() / 4 % width != 0 ||
      bgra.size() / 4 / width != height) {
    return false;
  }
  platform::DecodedImage image;
  image.width = width;
  image.height = height;
  image.bgra = bgra;
  platform::Script(bytes, std::move(image));
  return true;
}

bool ScriptImageFailure(const std::vector<BYTE>& bytes,
                        const std::string& failing_call,
                        HRESULT hr,
                        UINT width,
                        UINT height) {
  bool known = false;
  for (const char* call : platform::kScriptableFailures) {
    known = known || failing_call == call;
  }
  // Sizes must fit the INT fields of a WICRect.
  constexpr UINT kMaxSide = static_cast<UINT>(std::numeric_limits<INT>::max());
  if (!known || SUCCEEDED(hr) || width == 0 || height == 0 || width > kMaxSide ||
      height > kMaxSide) {
    return false;
  }
  platform::DecodedImage image;
  image.width = width;
  image.height = height;
  image.failing_call = failing_call;
  image.failure = hr;
  platform::Script(bytes, std::move(image));
  return true;
}

std::vector<BYTE> PngLikeBytes(UINT tag) {
  std::vector<BYTE> bytes = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  for (int shift = 0; shift < 32; shift += 8) {
    bytes.push_back(static_cast<BYTE>(tag >> shift));
  }
  return bytes;
}

ImagingCalls RecordedImagingCalls() {
  auto& state = platform::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.calls;
}

void ResetImaging() {
  auto& state = platform::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.scripts.clear();
  state.calls = ImagingCalls();
  state.backend = nullptr;
}

void DecodeRealImages() {
  const auto make_decoder = platform::RegisteredRealMediaBackends().make_image_decoder;
  if (!make_decoder) {
    platform::ReportNoRealMedia("DecodeRealImages");
    return;
  }
  platform::SetImageDecoderBackend(make_decoder());
}

}  // namespace halvex::testing
