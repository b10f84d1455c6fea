#include "view_painting.h"

namespace halvex::engine {

void PaintViewFrame(HWND window, const ViewFrame& frame) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (dc == nullptr) {
    return;
  }
  RECT client{};
  GetClientRect(window, &client);
  const int client_width = static_cast<int>(client.right - client.left);
  const int client_height = static_cast<int>(client.bottom - client.top);
  if (client_width > 0 && client_height > 0) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = frame.width;
    info.bmiHeader.biHeight = -frame.height;  // rows top to bottom, as the application gives them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // Sharp edges between the colours the application drew, rather than averaged ones.
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, 0, 0, client_width, client_height, 0, 0, frame.width, frame.height,
                  frame.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  }
  EndPaint(window, &paint);
}

}  // namespace halvex::engine
