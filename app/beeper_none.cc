// The Windows build of the demo plays no beeps: its flashes are silent.
#include "app/beeper.h"

namespace halvex {
namespace demo {

std::unique_ptr<Beeper> CreateBeeper(std::string* status) {
  *status = "off (not played by this build)";
  return nullptr;
}

}  // namespace demo
}  // namespace halvex
