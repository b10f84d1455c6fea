// Stand-in for the Windows SDK's encoder properties: the keys of the settings a media sink's
// encoders take, also accepted as attributes of SetInputMediaType's encoding parameters.
#ifndef HALVEX_STANDIN_CODECAPI_H_
#define HALVEX_STANDIN_CODECAPI_H_

#include "guiddef.h"

// Pictures from one key frame to the next, at most (UINT32; 0 lets the encoder choose).
DEFINE_GUID(CODECAPI_AVEncMPVGOPSize,
            0x95f31b26,
            0x95a4,
            0x41aa,
            0x93,
            0x03,
            0x24,
            0x6a,
            0x7f,
            0xc6,
            0xee,
            0xf1);

#endif  // HALVEX_STANDIN_CODECAPI_H_
