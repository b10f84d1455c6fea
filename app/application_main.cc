// The entry point the engine looks up in the application library.
#include <exception>
#include <iostream>

#include "app/application.h"
#include "platform/engine/halvex_app.h"

extern "C" HALVEX_APP_EXPORT int HalvexApplicationMain(const HalvexEngineServices* services,
                                                       int argc,
                                                       const char* const* argv) {
  // Nothing may be thrown across the engine's C interface.
  try {
    return halvex::demo::RunApplication(services, argc, argv, std::cout, std::cerr);
  } catch (const std::exception& failure) {
    std::cerr << "demo: stopped by an unexpected error: " << failure.what() << std::endl;
  } catch (...) {
    std::cerr << "demo: stopped by an unexpected error" << std::endl;
  }
  return halvex::demo::kExitFailure;
}
