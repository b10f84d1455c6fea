// Stand-in for the Windows SDK's performance counter: a monotonic clock of high resolution.
#ifndef HALVEX_STANDIN_PROFILEAPI_H_
#define HALVEX_STANDIN_PROFILEAPI_H_

#include "minwindef.h"

extern "C" {

// Ticks of the monotonic clock that also times audio packets (IAudioCaptureClient::GetBuffer's
// performance-counter position, in 100-ns units). Always succeeds for a valid pointer.
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);

// Ticks per second: fixed at boot on Windows; 10,000,000 here.
BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency);

}  // extern "C"

#endif  // HALVEX_STANDIN_PROFILEAPI_H_
