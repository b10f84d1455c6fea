// Creation of the Imaging Component's objects, for the factory that hands them out.
#ifndef HALVEX_STANDIN_WIC_OBJECTS_H_
#define HALVEX_STANDIN_WIC_OBJECTS_H_

#include <wincodec.h>

#include <vector>

#include "wic_decoded_image.h"

namespace halvex::platform {

// Each returns a new object with one reference, or null when out of memory.
IWICStream* CreateImagingStream();
IWICBitmapDecoder* CreateBitmapDecoder(SharedImage image);
IWICBitmapFrameDecode* CreateBitmapFrame(SharedImage image);
IWICFormatConverter* CreateFormatConverter();

// Reads what remains of `stream` from its current position to its end.
HRESULT ReadRemainingStream(IStream* stream, std::vector<BYTE>* bytes);

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_WIC_OBJECTS_H_
