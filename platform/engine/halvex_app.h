/* The interface between the engine and the application library it runs.

   The engine loads the application library, looks up HalvexApplicationMain and calls it on an
   application thread of its own. The application talks to the host only through the services
   record it is handed. */
#ifndef HALVEX_PLATFORM_ENGINE_HALVEX_APP_H_
#define HALVEX_PLATFORM_ENGINE_HALVEX_APP_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HalvexEngineServices {
  size_t struct_size; /* sizeof(HalvexEngineServices) */
  void* engine;       /* passed back in every call */
  /* Sends one message on the NUL-terminated channel and waits for the host's answer.
     Returns 1 when an answer came: *reply points to its bytes (NULL when it has none) and
     *reply_size holds their count (0 for an empty answer); the bytes stay valid until the
     next call from the same thread. Returns 0 when no answer will come (engine shutting down). */
  int (*send_message)(void* engine,
                      const char* channel,
                      const uint8_t* message,
                      size_t message_size,
                      const uint8_t** reply,
                      size_t* reply_size);
  /* Tells the engine that the application drew a frame. */
  void (*frame_drawn)(void* engine);
} HalvexEngineServices;

/* The name the engine looks up in the application library. */
#define HALVEX_APPLICATION_MAIN_SYMBOL "HalvexApplicationMain"

/* The type of HalvexApplicationMain, for the engine's symbol lookup. */
typedef int (*HalvexApplicationMainFunction)(const HalvexEngineServices* services,
                                             int argc,
                                             const char* const* argv);

/* Marks the application library's definition of HalvexApplicationMain for export. */
#if defined(_WIN32)
#define HALVEX_APP_EXPORT __declspec(dllexport)
#else
#define HALVEX_APP_EXPORT __attribute__((visibility("default")))
#endif

/* Exported with C linkage by the application library. argv holds only the entrypoint
   arguments (no program path); argc may be 0. */
int HalvexApplicationMain(const HalvexEngineServices* services, int argc, const char* const* argv);

#ifdef __cplusplus
}
#endif

#endif /* HALVEX_PLATFORM_ENGINE_HALVEX_APP_H_ */
