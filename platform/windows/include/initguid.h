// Stand-in for the SDK's initguid.h. The SDK's header makes DEFINE_GUID define the GUIDs of the
// headers that follow it; here every DEFINE_GUID is already one inline definition for the whole
// program, so there is nothing to switch.
#ifndef HALVEX_STANDIN_INITGUID_H_
#define HALVEX_STANDIN_INITGUID_H_

#include <guiddef.h>

#endif  // HALVEX_STANDIN_INITGUID_H_
