// The program's entry point.
#include <windows.h>

#include "runner/host.h"

// Windows' start-up passes the instance, the command line and the show state; the host reads the
// command line itself and always shows its window in the normal state, so none of them is used.
int APIENTRY wWinMain(HINSTANCE /*instance*/,
                      HINSTANCE /*previous_instance*/,
                      PWSTR /*command_line*/,
                      int /*show_command*/) {
  return halvex::RunHost();
}
