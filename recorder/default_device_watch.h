// Hears from the audio system when the default playback device changes (headphones plugged in or
// out, a Bluetooth device connecting), so that capture can move to the new device.
#ifndef HALVEX_RECORDER_DEFAULT_DEVICE_WATCH_H_
#define HALVEX_RECORDER_DEFAULT_DEVICE_WATCH_H_

#include <mmdeviceapi.h>

#include "recorder/com_ptr.h"

namespace halvex {

class DefaultDeviceWatch {
 public:
  // Registers with `enumerator` for its whole life. If registering fails the watch hears nothing;
  // capture then still follows a device that goes away, only not one that is merely replaced.
  explicit DefaultDeviceWatch(IMMDeviceEnumerator* enumerator);
  ~DefaultDeviceWatch();
  DefaultDeviceWatch(const DefaultDeviceWatch&) = delete;
  DefaultDeviceWatch& operator=(const DefaultDeviceWatch&) = delete;

  // Whether the console role's default playback device changed since the last call.
  bool TakeChange();

 private:
  class Client;

  IMMDeviceEnumerator* enumerator_;  // outlives the watch
  ComPtr<Client> client_;
  bool registered_ = false;
};

}  // namespace halvex

#endif  // HALVEX_RECORDER_DEFAULT_DEVICE_WATCH_H_
