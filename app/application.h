// The demo application as a whole: options in, recording, exit status out.
#ifndef HALVEX_APP_APPLICATION_H_
#define HALVEX_APP_APPLICATION_H_

#include <ostream>

#include "platform/engine/halvex_app.h"

namespace halvex {
namespace demo {

// Exit statuses of the application.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Parses the entrypoint arguments and records. "--help" prints the usage and returns success
// without touching the engine; invalid options print one line naming the problem and return
// kExitUsage; a recording that failed returns kExitFailure.
int RunApplication(const HalvexEngineServices* services,
                   int argc,
                   const char* const* argv,
                   std::ostream& out,
                   std::ostream& err);

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_APPLICATION_H_
