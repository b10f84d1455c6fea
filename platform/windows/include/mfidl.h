// Stand-in for the Windows SDK's Media Foundation pipeline declarations the product touches.
#ifndef HALVEX_STANDIN_MFIDL_H_
#define HALVEX_STANDIN_MFIDL_H_

#include "guiddef.h"
#include "mfobjects.h"

// Only ever passed as a null pointer: the sink writer is always created on a URL.
struct IMFByteStream;

// Container types, for writers that are not left to pick the container from the file extension.
DEFINE_GUID(MF_TRANSCODE_CONTAINERTYPE,
            0x150ff23f,
            0x4abc,
            0x478b,
            0xac,
            0x4f,
            0xe1,
            0x91,
            0x6f,
            0xba,
            0x1c,
            0xca);
DEFINE_GUID(MFTranscodeContainerType_MPEG4,
            0xdc6cd05d,
            0xb9d0,
            0x40ef,
            0xbd,
            0x35,
            0xfa,
            0x62,
            0x2c,
            0x1a,
            0xb2,
            0x8a);
// Fragmented MPEG-4 (Windows 8 and later): a header without samples, then fragments.
DEFINE_GUID(MFTranscodeContainerType_FMPEG4,
            0x9ba876f1,
            0x419f,
            0x4b77,
            0xa1,
            0xe0,
            0x35,
            0x95,
            0x9d,
            0x9d,
            0x40,
            0x04);

#endif  // HALVEX_STANDIN_MFIDL_H_
