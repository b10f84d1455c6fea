// Media Foundation's process-wide start-up state.
#ifndef HALVEX_STANDIN_MF_PLATFORM_H_
#define HALVEX_STANDIN_MF_PLATFORM_H_

namespace halvex::platform {

bool IsMediaFoundationStarted();

// Zeroes the MFStartup and MFShutdown call counts; the started state stays.
void ResetPlatformCallCounts();

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_MF_PLATFORM_H_
