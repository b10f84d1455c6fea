/*
 * The engine library's C interface, as the host calls it. Written from the documented interface;
 * usable from C and C++, and it includes only standard headers.
 *
 * Each group of functions has its own section below; the engine, view-controller and view
 * sections belong between the common declarations and the closing of the extern "C" block.
 */
#ifndef HALVEX_ENGINE_HOST_ENGINE_LIBRARY_H_
#define HALVEX_ENGINE_HOST_ENGINE_LIBRARY_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

/* Exported by the library itself, imported (undecorated) by everyone else. */
#ifndef FLUTTER_EXPORT
#ifdef FLUTTER_DESKTOP_LIBRARY
#ifdef _WIN32
#define FLUTTER_EXPORT __declspec(dllexport)
#else
#define FLUTTER_EXPORT __attribute__((visibility("default")))
#endif
#else
#define FLUTTER_EXPORT
#endif
#endif

#if defined(__cplusplus)
extern "C" {
#endif

/* ------------------------------------------------------------------------------------------ */
/* Messenger                                                                                  */
/* ------------------------------------------------------------------------------------------ */

/* The engine's messenger; reference counted by the library. */
typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;

/* Identifies the one response that an incoming message may receive. */
typedef struct FlutterDesktopMessageResponseHandle FlutterDesktopMessageResponseHandle;

/* An incoming message, valid only for the duration of the callback that receives it. */
typedef struct {
  /* sizeof(FlutterDesktopMessage), so the record can grow. */
  size_t struct_size;
  /* NUL-terminated channel name. */
  const char* channel;
  const uint8_t* message;
  size_t message_size;
  /* Used up by the one FlutterDesktopMessengerSendResponse call made for this message. */
  const FlutterDesktopMessageResponseHandle* response_handle;
} FlutterDesktopMessage;

#if defined(__cplusplus)
/* The host reads the record at fixed offsets of the 64-bit layout. */
static_assert(sizeof(void*) == 8, "The host is built for 64-bit targets only.");
static_assert(offsetof(FlutterDesktopMessage, struct_size) == 0, "struct_size at offset 0");
static_assert(offsetof(FlutterDesktopMessage, channel) == 8, "channel at offset 8");
static_assert(offsetof(FlutterDesktopMessage, message) == 16, "message at offset 16");
static_assert(offsetof(FlutterDesktopMessage, message_size) == 24, "message_size at offset 24");
static_assert(offsetof(FlutterDesktopMessage, response_handle) == 32,
              "response_handle at offset 32");
#endif

/* Called on the platform thread for every message on a channel that has a callback. */
typedef void (*FlutterDesktopMessageCallback)(FlutterDesktopMessengerRef messenger,
                                              const FlutterDesktopMessage* message,
                                              void* user_data);

/* Receives the application's reply to a message sent with FlutterDesktopMessengerSendWithReply. */
typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size, void* user_data);

/* Registers, replaces or (with a null callback) removes the callback of one channel. */
FLUTTER_EXPORT void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                                       const char* channel,
                                                       FlutterDesktopMessageCallback callback,
                                                       void* user_data);

FLUTTER_EXPORT bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                                const char* channel,
                                                const uint8_t* message,
                                                size_t message_size);

/* false: nothing was sent and reply will never run; true: reply runs at most once. */
FLUTTER_EXPORT bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger,
                                                         const char* channel,
                                                         const uint8_t* message,
                                                         size_t message_size,
                                                         FlutterDesktopBinaryReply reply,
                                                         void* user_data);

/* Returns the same messenger, holding one more reference. */
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);

FLUTTER_EXPORT void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger);

/* Takes the messenger's lock; the result is the handle to pass to FlutterDesktopMessengerUnlock. */
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);

/* true while the engine behind the messenger can still take responses. */
FLUTTER_EXPORT bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger);

/* Sends the response to one incoming message; data may be null when data_length is 0. */
FLUTTER_EXPORT void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger,
    const FlutterDesktopMessageResponseHandle* handle,
    const uint8_t* data,
    size_t data_length);

FLUTTER_EXPORT void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger);

#if defined(__cplusplus)
} /* extern "C" */
#endif

#endif /* HALVEX_ENGINE_HOST_ENGINE_LIBRARY_H_ */
