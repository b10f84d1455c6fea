// Painting the view window: the application's latest picture, scaled to the client area.
#ifndef HALVEX_PLATFORM_ENGINE_SRC_VIEW_PAINTING_H_
#define HALVEX_PLATFORM_ENGINE_SRC_VIEW_PAINTING_H_

#include <windows.h>

#include "view_frame.h"

namespace halvex::engine {

// Handles WM_PAINT for `window` with `frame` stretched over its whole client area.
void PaintViewFrame(HWND window, const ViewFrame& frame);

}  // namespace halvex::engine

#endif  // HALVEX_PLATFORM_ENGINE_SRC_VIEW_PAINTING_H_
