// The application's reverse-domain identifier: the application's end of every channel uses it.
#ifndef HALVEX_RECORDER_APPLICATION_ID_H_
#define HALVEX_RECORDER_APPLICATION_ID_H_

#include <string>

namespace halvex {

inline constexpr char kApplicationId[] = "com.halvex.camera";

inline std::string RecorderChannelName() {
  return std::string(kApplicationId) + "/desktop_recorder";
}

}  // namespace halvex

#endif  // HALVEX_RECORDER_APPLICATION_ID_H_
