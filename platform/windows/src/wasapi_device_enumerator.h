// The audio device enumerator's class object, created by CoCreateInstance.
#ifndef HALVEX_STANDIN_WASAPI_DEVICE_ENUMERATOR_H_
#define HALVEX_STANDIN_WASAPI_DEVICE_ENUMERATOR_H_

#include <unknwn.h>

namespace halvex::platform {

// A new device enumerator with one reference, or null when out of memory.
IUnknown* CreateDeviceEnumerator();

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_WASAPI_DEVICE_ENUMERATOR_H_
