// Stand-in for the Windows SDK's Imaging Component: factory, memory stream, decoder, frame and
// format converter.
#ifndef HALVEX_STANDIN_WINCODEC_H_
#define HALVEX_STANDIN_WINCODEC_H_

#include "guiddef.h"
#include "minwindef.h"
#include "objidl.h"
#include "unknwn.h"
#include "winerror.h"

typedef GUID WICPixelFormatGUID;
typedef const GUID& REFWICPixelFormatGUID;

typedef struct WICRect {
  INT X;
  INT Y;
  INT Width;
  INT Height;
} WICRect;

typedef enum WICDecodeOptions {
  WICDecodeMetadataCacheOnDemand = 0x0,
  WICDecodeMetadataCacheOnLoad = 0x1,
} WICDecodeOptions;

typedef enum WICBitmapDitherType {
  WICBitmapDitherTypeNone = 0x0,
  WICBitmapDitherTypeSolid = 0x0,
  WICBitmapDitherTypeOrdered4x4 = 0x1,
  WICBitmapDitherTypeOrdered8x8 = 0x2,
  WICBitmapDitherTypeOrdered16x16 = 0x3,
  WICBitmapDitherTypeSpiral4x4 = 0x4,
  WICBitmapDitherTypeSpiral8x8 = 0x5,
  WICBitmapDitherTypeDualSpiral4x4 = 0x6,
  WICBitmapDitherTypeDualSpiral8x8 = 0x7,
  WICBitmapDitherTypeErrorDiffusion = 0x8,
} WICBitmapDitherType;

typedef enum WICBitmapPaletteType {
  WICBitmapPaletteTypeCustom = 0x0,
  WICBitmapPaletteTypeMedianCut = 0x1,
  WICBitmapPaletteTypeFixedBW = 0x2,
  WICBitmapPaletteTypeFixedHalftone8 = 0x3,
  WICBitmapPaletteTypeFixedHalftone27 = 0x4,
  WICBitmapPaletteTypeFixedHalftone64 = 0x5,
  WICBitmapPaletteTypeFixedHalftone125 = 0x6,
  WICBitmapPaletteTypeFixedHalftone216 = 0x7,
  WICBitmapPaletteTypeFixedWebPalette = WICBitmapPaletteTypeFixedHalftone216,
  WICBitmapPaletteTypeFixedHalftone252 = 0x8,
  WICBitmapPaletteTypeFixedHalftone256 = 0x9,
  WICBitmapPaletteTypeFixedGray4 = 0xA,
  WICBitmapPaletteTypeFixedGray16 = 0xB,
  WICBitmapPaletteTypeFixedGray256 = 0xC,
} WICBitmapPaletteType;

#define WINCODEC_ERR_GENERIC_ERROR E_FAIL
#define WINCODEC_ERR_INVALIDPARAMETER E_INVALIDARG
#define WINCODEC_ERR_OUTOFMEMORY E_OUTOFMEMORY
#define WINCODEC_ERR_NOTIMPLEMENTED E_NOTIMPL
#define WINCODEC_ERR_WRONGSTATE HALVEX_HRESULT(0x88982F04UL)
#define WINCODEC_ERR_VALUEOUTOFRANGE HALVEX_HRESULT(0x88982F05UL)
#define WINCODEC_ERR_UNKNOWNIMAGEFORMAT HALVEX_HRESULT(0x88982F07UL)
#define WINCODEC_ERR_NOTINITIALIZED HALVEX_HRESULT(0x88982F0CUL)
#define WINCODEC_ERR_PALETTEUNAVAILABLE HALVEX_HRESULT(0x88982F45UL)
#define WINCODEC_ERR_COMPONENTNOTFOUND HALVEX_HRESULT(0x88982F50UL)
#define WINCODEC_ERR_IMAGESIZEOUTOFRANGE HALVEX_HRESULT(0x88982F51UL)
#define WINCODEC_ERR_BADIMAGE HALVEX_HRESULT(0x88982F60UL)
#define WINCODEC_ERR_BADHEADER HALVEX_HRESULT(0x88982F61UL)
#define WINCODEC_ERR_FRAMEMISSING HALVEX_HRESULT(0x88982F62UL)
#define WINCODEC_ERR_BADSTREAMDATA HALVEX_HRESULT(0x88982F70UL)
#define WINCODEC_ERR_STREAMREAD HALVEX_HRESULT(0x88982F72UL)
#define WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT HALVEX_HRESULT(0x88982F80UL)
#define WINCODEC_ERR_UNSUPPORTEDOPERATION HALVEX_HRESULT(0x88982F81UL)
#define WINCODEC_ERR_COMPONENTINITIALIZEFAILURE HALVEX_HRESULT(0x88982F8BUL)
#define WINCODEC_ERR_INSUFFICIENTBUFFER HALVEX_HRESULT(0x8007007AUL)

DEFINE_GUID(CLSID_WICImagingFactory,
            0xcacaf262,
            0x9370,
            0x4615,
            0xa1,
            0x3b,
            0x9f,
            0x55,
            0x39,
            0xda,
            0x4c,
            0x0a);
DEFINE_GUID(CLSID_WICImagingFactory2,
            0x317d06e8,
            0x5f24,
            0x433d,
            0xbd,
            0xf7,
            0x79,
            0xce,
            0x68,
            0xd8,
            0xab,
            0xc2);

DEFINE_GUID(IID_IWICImagingFactory,
            0xec5ec8a9,
            0xc395,
            0x4314,
            0x9c,
            0x77,
            0x54,
            0xd7,
            0xa9,
            0x35,
            0xff,
            0x70);
DEFINE_GUID(IID_IWICStream,
            0x135ff860,
            0x22b7,
            0x4ddf,
            0xb0,
            0xf6,
            0x21,
            0x8f,
            0x4f,
            0x29,
            0x9a,
            0x43);
DEFINE_GUID(IID_IWICBitmapDecoder,
            0x9edde9e7,
            0x8dee,
            0x47ea,
            0x99,
            0xdf,
            0xe6,
            0xfa,
            0xf2,
            0xed,
            0x44,
            0xbf);
DEFINE_GUID(IID_IWICBitmapSource,
            0x00000120,
            0xa8f2,
            0x4877,
            0xba,
            0x0a,
            0xfd,
            0x2b,
            0x66,
            0x45,
            0xfb,
            0x94);
DEFINE_GUID(IID_IWICBitmapFrameDecode,
            0x3b16811b,
            0x6a43,
            0x4ec9,
            0xa8,
            0x13,
            0x3d,
            0x93,
            0x0c,
            0x13,
            0xb9,
            0x40);
DEFINE_GUID(IID_IWICFormatConverter,
            0x00000301,
            0xa8f2,
            0x4877,
            0xba,
            0x0a,
            0xfd,
            0x2b,
            0x66,
            0x45,
            0xfb,
            0x94);
DEFINE_GUID(IID_IWICPalette,
            0x00000040,
            0xa8f2,
            0x4877,
            0xba,
            0x0a,
            0xfd,
            0x2b,
            0x66,
            0x45,
            0xfb,
            0x94);

DEFINE_GUID(GUID_ContainerFormatPng,
            0x1b7cfaf4,
            0x713f,
            0x473c,
            0xbb,
            0xcd,
            0x61,
            0x37,
            0x42,
            0x5f,
            0xae,
            0xaf);

DEFINE_GUID(GUID_WICPixelFormat24bppBGR,
            0x6fddc324,
            0x4e03,
            0x4bfe,
            0xb1,
            0x85,
            0x3d,
            0x77,
            0x76,
            0x8d,
            0xc9,
            0x0c);
DEFINE_GUID(GUID_WICPixelFormat32bppBGR,
            0x6fddc324,
            0x4e03,
            0x4bfe,
            0xb1,
            0x85,
            0x3d,
            0x77,
            0x76,
            0x8d,
            0xc9,
            0x0e);
DEFINE_GUID(GUID_WICPixelFormat32bppBGRA,
            0x6fddc324,
            0x4e03,
            0x4bfe,
            0xb1,
            0x85,
            0x3d,
            0x77,
            0x76,
            0x8d,
            0xc9,
            0x0f);
DEFINE_GUID(GUID_WICPixelFormat32bppPBGRA,
            0x6fddc324,
            0x4e03,
            0x4bfe,
            0xb1,
            0x85,
            0x3d,
            0x77,
            0x76,
            0x8d,
            0xc9,
            0x10);

// Palettes are never used: the product always converts to 32-bit BGRA.
struct IWICPalette : public IUnknown {};
HALVEX_INTERFACE_IID(IWICPalette);

struct IWICBitmapSource : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetSize(UINT* puiWidth, UINT* puiHeight) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* pPixelFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetResolution(double* pDpiX, double* pDpiY) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* pIPalette) = 0;
  // Copies the rectangle prc (null: the whole image) into pbBuffer, one row every cbStride bytes.
  virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* prc,
                                               UINT cbStride,
                                               UINT cbBufferSize,
                                               BYTE* pbBuffer) = 0;
};
HALVEX_INTERFACE_IID(IWICBitmapSource);

struct IWICBitmapFrameDecode : public IWICBitmapSource {};
HALVEX_INTERFACE_IID(IWICBitmapFrameDecode);

struct IWICFormatConverter : public IWICBitmapSource {
  virtual HRESULT STDMETHODCALLTYPE Initialize(IWICBitmapSource* pISource,
                                               REFWICPixelFormatGUID dstFormat,
                                               WICBitmapDitherType dither,
                                               IWICPalette* pIPalette,
                                               double alphaThresholdPercent,
                                               WICBitmapPaletteType paletteTranslate) = 0;
  virtual HRESULT STDMETHODCALLTYPE CanConvert(REFWICPixelFormatGUID srcPixelFormat,
                                               REFWICPixelFormatGUID dstPixelFormat,
                                               BOOL* pfCanConvert) = 0;
};
HALVEX_INTERFACE_IID(IWICFormatConverter);

struct IWICBitmapDecoder : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID* pguidContainerFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFrameCount(UINT* pCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFrame(UINT index,
                                             IWICBitmapFrameDecode** ppIBitmapFrame) = 0;
};
HALVEX_INTERFACE_IID(IWICBitmapDecoder);

struct IWICStream : public IStream {
  // The stream reads the caller's memory in place: it must outlive the stream and its users.
  virtual HRESULT STDMETHODCALLTYPE InitializeFromMemory(BYTE* pbBuffer, DWORD cbBufferSize) = 0;
};
HALVEX_INTERFACE_IID(IWICStream);

struct IWICImagingFactory : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateDecoderFromStream(IStream* pIStream,
                                                            const GUID* pguidVendor,
                                                            WICDecodeOptions metadataOptions,
                                                            IWICBitmapDecoder** ppIDecoder) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  CreateFormatConverter(IWICFormatConverter** ppIFormatConverter) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateStream(IWICStream** ppIWICStream) = 0;
};
HALVEX_INTERFACE_IID(IWICImagingFactory);

#endif  // HALVEX_STANDIN_WINCODEC_H_
