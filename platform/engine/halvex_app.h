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

/* The record grows at its end. struct_size says how much of it the engine filled in: an
   application reads a field only when HALVEX_ENGINE_SERVICES_HAS says the record reaches it. */
typedef struct HalvexEngineServices {
  size_t struct_size; /* sizeof(HalvexEngineServices) as the engine was built */
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

  /* Added after the first record: absent when struct_size ends before them. */

  /* Queues one message on the NUL-terminated channel for the host and returns at once with a
     non-zero ticket for its answer. Returns 0 when no answer will come: the engine is shutting
     down, or the arguments are unusable (a null engine or channel, or null message bytes with a
     size above 0). Several messages may be in flight; the host receives them in posting order.
     Every ticket should be awaited: its message and answer are kept until then. Shutting the
     engine down drops the messages still waiting; answers already given are kept. */
  uint64_t (*post_message)(void* engine,
                           const char* channel,
                           const uint8_t* message,
                           size_t message_size);
  /* Waits for the answer of `ticket`, with send_message's convention: returns 1 when an answer
     came (*reply and *reply_size as for send_message, the bytes valid until the next call from
     the same thread), 0 when none will come. Each ticket is awaited once: an unknown ticket, 0,
     or one already awaited returns 0 at once. Once the engine shuts down, a ticket whose answer
     had not come returns 0 instead of waiting. Answers may come in any order, and tickets may be
     awaited in any order and from any thread. Null reply slots return 0 and leave the ticket to
     be awaited again. */
  int (*await_reply)(void* engine, uint64_t ticket, const uint8_t** reply, size_t* reply_size);

  /* Added after post_message and await_reply: absent when struct_size ends before it. */

  /* Hands the engine the picture the application drew, for its view to show scaled to the
     view's size until the next one. Pixels are 32 bits each, their bytes blue, green, red and
     one ignored byte (a little-endian 0x00RRGGBB); rows run top to bottom, row y starting at
     pixels + y * stride. width and height are 1 to HALVEX_MAX_FRAME_SIDE; stride is at least
     width * 4. The engine copies the picture before it returns, so the buffer may be reused at
     once; the call never waits for the view. Returns 1 when the picture was taken, 0 when it was
     refused: unusable arguments (a null engine or pixels, a size out of range, a short stride)
     or an engine shutting down. A refused picture changes nothing. */
  int (*present_frame)(void* engine,
                       const uint8_t* pixels,
                       int32_t width,
                       int32_t height,
                       size_t stride);
} HalvexEngineServices;

/* The largest width or height present_frame takes. */
#define HALVEX_MAX_FRAME_SIDE 8192

/* Whether the record `services` points to reaches the function `field`, i.e. whether the engine
   offers it. Every field after `engine` is a function pointer. */
#define HALVEX_ENGINE_SERVICES_HAS(services, field) \
  ((services)->struct_size >= offsetof(HalvexEngineServices, field) + sizeof(void (*)(void)))

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
