// Stand-in for the Windows SDK's kernel-streaming media GUIDs used in wave formats.
#ifndef HALVEX_STANDIN_KSMEDIA_H_
#define HALVEX_STANDIN_KSMEDIA_H_

#include "guiddef.h"
#include "mmreg.h"

DEFINE_GUID(KSDATAFORMAT_SUBTYPE_PCM,
            0x00000001,
            0x0000,
            0x0010,
            0x80,
            0x00,
            0x00,
            0xaa,
            0x00,
            0x38,
            0x9b,
            0x71);
DEFINE_GUID(KSDATAFORMAT_SUBTYPE_IEEE_FLOAT,
            0x00000003,
            0x0000,
            0x0010,
            0x80,
            0x00,
            0x00,
            0xaa,
            0x00,
            0x38,
            0x9b,
            0x71);

#define KSAUDIO_SPEAKER_MONO (SPEAKER_FRONT_CENTER)
#define KSAUDIO_SPEAKER_STEREO (SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT)
#define KSAUDIO_SPEAKER_5POINT1                                                              \
  (SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT | SPEAKER_FRONT_CENTER | SPEAKER_LOW_FREQUENCY | \
   SPEAKER_BACK_LEFT | SPEAKER_BACK_RIGHT)

#endif  // HALVEX_STANDIN_KSMEDIA_H_
