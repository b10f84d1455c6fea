// Test controls for the Imaging Component part of the Windows stand-in: scripted images and a
// record of the decoding calls. Product code never includes this header.
//
// Scripted bytes decode as the test scripted them. Other bytes go to a real PNG decoder (first
// image only, every colour type, bit depth, palette, transparency and interlace, to straight
// BGRA without gamma); damaged data fails at the call that reads the damage: the signature and
// header at IWICImagingFactory::CreateDecoderFromStream, the chunks before the image data at
// IWICBitmapDecoder::GetFrame, the image data at CopyPixels (of the frame or of a converter
// reading it). Data that is no PNG fails at CreateDecoderFromStream with
// WINCODEC_ERR_COMPONENTNOTFOUND, as Windows answers for data no codec recognises.
//
// ResetImaging() also removes the real decoder, so that after it only scripted bytes decode and
// any other bytes fail with WINCODEC_ERR_COMPONENTNOTFOUND; DecodeRealImages() brings it back.
// The real decoder is the media library's (halvex_windows_media): a process without it starts as
// after ResetImaging, and DecodeRealImages() there changes nothing and says so on standard error.
//
// Fault names of the bitmap source methods carry the object's own interface, so that a test can
// fail the frame's copy and not the converter's: "IWICBitmapFrameDecode::CopyPixels",
// "IWICFormatConverter::CopyPixels". Recorded calls include failed ones, with their result.
#ifndef HALVEX_WINDOWS_TESTING_IMAGING_H_
#define HALVEX_WINDOWS_TESTING_IMAGING_H_

#include <wincodec.h>

#include <optional>
#include <string>
#include <vector>

namespace halvex::testing {

// Scripts `bytes` (the whole stream content, compared exactly) to decode to one frame of
// width x height pixels, `bgra` holding its rows top to bottom, 4 bytes per pixel (blue, green,
// red, alpha), no gap between rows. Returns false and scripts nothing if `bgra` does not hold
// exactly width x height x 4 bytes. A later script for the same bytes replaces the earlier one.
bool ScriptImage(const std::vector<BYTE>& bytes,
                 UINT width,
                 UINT height,
                 const std::vector<BYTE>& bgra);

// Scripts `bytes` to decode to a width x height image whose decoding fails with `hr` at
// `failing_call`, one of:
//   "IWICImagingFactory::CreateDecoderFromStream", "IWICBitmapDecoder::GetFrame",
//   "IWICBitmapFrameDecode::GetSize", "IWICBitmapFrameDecode::CopyPixels",
//   "IWICFormatConverter::Initialize", "IWICFormatConverter::GetSize",
//   "IWICFormatConverter::CopyPixels".
// Every step before it succeeds; pixels the image yields before then are mid-grey (0x80) with an
// opaque alpha. Returns false and scripts nothing for another call name or a successful `hr`.
bool ScriptImageFailure(const std::vector<BYTE>& bytes,
                        const std::string& failing_call,
                        HRESULT hr,
                        UINT width = 16,
                        UINT height = 16);

// Bytes that begin with the eight-byte PNG signature, followed by `tag` (little-endian): distinct
// tags give distinct byte strings to script.
std::vector<BYTE> PngLikeBytes(UINT tag);

struct RecordedDecoderCreation {
  DWORD stream_bytes = 0;     // bytes the decoder found in the stream
  bool vendor_given = false;  // pguidVendor was not null
  WICDecodeOptions options = WICDecodeMetadataCacheOnDemand;
  HRESULT result = S_OK;
};

struct RecordedConverterInitialization {
  WICPixelFormatGUID format{};
  WICBitmapDitherType dither = WICBitmapDitherTypeNone;
  bool palette_given = false;
  double alpha_threshold_percent = 0.0;
  WICBitmapPaletteType palette_translate = WICBitmapPaletteTypeCustom;
  HRESULT result = S_OK;
};

struct RecordedCopyPixels {
  std::string object;           // "IWICBitmapFrameDecode" or "IWICFormatConverter"
  std::optional<WICRect> rect;  // empty: the caller passed no rectangle
  UINT stride = 0;
  UINT buffer_size = 0;
  HRESULT result = S_OK;
};

struct ImagingCalls {
  std::vector<DWORD> stream_sizes;  // IWICStream::InitializeFromMemory sizes
  std::vector<RecordedDecoderCreation> decoders;
  std::vector<UINT> frame_indices;  // IWICBitmapDecoder::GetFrame indices asked for
  std::vector<RecordedConverterInitialization> converter_initializations;
  std::vector<RecordedCopyPixels> copies;
};

// The calls made since the last ResetImaging, in order per kind; a snapshot.
ImagingCalls RecordedImagingCalls();

// Forgets every scripted image and every recorded call, and removes the real PNG decoder.
void ResetImaging();

// Decodes unscripted bytes with the real PNG decoder again, as in a process that never reset.
void DecodeRealImages();

}  // namespace halvex::testing

#endif  // HALVEX_WINDOWS_TESTING_IMAGING_H_
