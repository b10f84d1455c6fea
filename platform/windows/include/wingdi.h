// Stand-in for the Windows SDK's drawing declarations: device-independent bitmaps stretched onto
// the device context of a window being painted (BeginPaint), which the desktop model keeps as
// the window's painted pixels.
#ifndef HALVEX_STANDIN_WINGDI_H_
#define HALVEX_STANDIN_WINGDI_H_

#include "minwindef.h"

#define BI_RGB 0L
#define DIB_RGB_COLORS 0
#define SRCCOPY 0x00CC0020u

// Stretch modes.
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // Negative for rows stored top to bottom.
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;

extern "C" {

// Returns the previous mode, or 0 for an unknown context or mode. The model always samples the
// nearest source pixel, as COLORONCOLOR does.
int WINAPI SetStretchBltMode(HDC hdc, int mode);

// Copies the source rectangle of a 32-bit BI_RGB bitmap (rows DWORD-aligned; top-down with a
// negative biHeight, else bottom-up with ySrc counted from the bottom row) to the destination
// rectangle, scaled, clipped to the client area. The model draws only with DIB_RGB_COLORS, SRCCOPY,
// positive sizes and a source inside the bitmap; else, or for an unknown context, it draws nothing
// and returns 0. Otherwise returns the number of source rows.
int WINAPI StretchDIBits(HDC hdc,
                         int xDest,
                         int yDest,
                         int DestWidth,
                         int DestHeight,
                         int xSrc,
                         int ySrc,
                         int SrcWidth,
                         int SrcHeight,
                         const void* lpBits,
                         const BITMAPINFO* lpbmi,
                         UINT iUsage,
                         DWORD rop);

}  // extern "C"

#endif  // HALVEX_STANDIN_WINGDI_H_
