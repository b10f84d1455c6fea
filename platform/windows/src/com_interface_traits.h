// Compile-time facts about each stand-in interface: its IID, its base interface and its name.
#ifndef HALVEX_STANDIN_COM_INTERFACE_TRAITS_H_
#define HALVEX_STANDIN_COM_INTERFACE_TRAITS_H_

#include <audioclient.h>
#include <mfobjects.h>
#include <mfreadwrite.h>
#include <mmdeviceapi.h>
#include <objidl.h>
#include <unknwn.h>
#include <wincodec.h>

namespace halvex::platform {

template <typename Interface>
struct InterfaceTraits;

template <>
struct InterfaceTraits<IUnknown> {
  using Base = void;
  static const IID& Iid() { return HalvexInterfaceIid<IUnknown>::Get(); }
  static constexpr const char* kName = "IUnknown";
};

#define HALVEX_COM_INTERFACE(Interface, BaseInterface)                       \
  template <>                                                                \
  struct InterfaceTraits<Interface> {                                        \
    using Base = BaseInterface;                                              \
    static const IID& Iid() { return HalvexInterfaceIid<Interface>::Get(); } \
    static constexpr const char* kName = #Interface;                         \
  }

HALVEX_COM_INTERFACE(IMFAttributes, IUnknown);
HALVEX_COM_INTERFACE(IMFMediaType, IMFAttributes);
HALVEX_COM_INTERFACE(IMFMediaBuffer, IUnknown);
HALVEX_COM_INTERFACE(IMFSample, IMFAttributes);
HALVEX_COM_INTERFACE(IMFSinkWriter, IUnknown);
HALVEX_COM_INTERFACE(ISequentialStream, IUnknown);
HALVEX_COM_INTERFACE(IStream, ISequentialStream);
HALVEX_COM_INTERFACE(IWICStream, IStream);
HALVEX_COM_INTERFACE(IWICImagingFactory, IUnknown);
HALVEX_COM_INTERFACE(IWICBitmapDecoder, IUnknown);
HALVEX_COM_INTERFACE(IWICBitmapSource, IUnknown);
HALVEX_COM_INTERFACE(IWICBitmapFrameDecode, IWICBitmapSource);
HALVEX_COM_INTERFACE(IWICFormatConverter, IWICBitmapSource);
HALVEX_COM_INTERFACE(IMMDeviceEnumerator, IUnknown);
HALVEX_COM_INTERFACE(IMMDevice, IUnknown);
HALVEX_COM_INTERFACE(IAudioClient, IUnknown);
HALVEX_COM_INTERFACE(IAudioCaptureClient, IUnknown);

#undef HALVEX_COM_INTERFACE

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_COM_INTERFACE_TRAITS_H_
