// Test controls for the audio part of the Windows stand-in (device enumeration, audio client,
// capture client): a scripted default playback device and a record of the calls made on it.
// Product code never includes this header.
//
// The scripted device delivers its packets in order, and only while an audio client on it is
// started. Packets left when the script runs out are none: GetNextPacketSize answers 0 until the
// test queues more, from any thread, with QueuePacket. Failures of GetNextPacketSize or GetBuffer
// are scripted with FailCall ("IAudioCaptureClient::GetNextPacketSize").
//
// GetBuffer reports each packet's device position (frames) and performance-counter position
// (100-ns ticks of QueryPerformanceCounter's clock). A packet may give both; one that does not
// follows on from the packet before it on the same device (its position plus its frames, its time
// plus its length), the device's first packet starting at position 0 at the counter's reading
// when it is handed out.
//
// Notification clients registered with any enumerator hear of default-device changes: setting a
// new default device, removing it, and (for the system's audio) the sound server's default sink
// changing. The audio system calls them on a thread of its own; here they are called on the
// thread that made the change, never with a lock of the stand-in held.
//
// Without a scripted device, a process starts with the system's audio: the default sink of the
// sound server the environment names (PULSE_SERVER and the like; a server is never started), in
// its own mix format, captured in loopback while a stream on it runs. Packets of nothing but
// zeros, as a running sink delivers while nothing plays, are flagged AUDCLNT_BUFFERFLAGS_SILENT.
// With no server reachable, GetDefaultAudioEndpoint fails with E_NOTFOUND. ResetAudio() turns
// the system's audio off, so that only a scripted device exists; UseSystemAudio() turns it on.
// The system's audio is the media library's (halvex_windows_media): a process without it has no
// device but a scripted one from its start (E_NOTFOUND until one is set), and UseSystemAudio()
// there changes nothing and says so on standard error.
#ifndef HALVEX_WINDOWS_TESTING_AUDIO_H_
#define HALVEX_WINDOWS_TESTING_AUDIO_H_

#include <audioclient.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace halvex::testing {

// One packet of interleaved frames in the device's mix format.
struct AudioPacket {
  AudioPacket() = default;
  AudioPacket(UINT32 packet_frames,
              DWORD packet_flags = 0,
              std::vector<BYTE> packet_data = {},
              std::optional<UINT64> packet_device_position = std::nullopt,
              std::optional<UINT64> packet_qpc_position = std::nullopt)
      : frames(packet_frames),
        flags(packet_flags),
        data(std::move(packet_data)),
        device_position(packet_device_position),
        qpc_position(packet_qpc_position) {}

  UINT32 frames = 0;                      // at least 1
  DWORD flags = 0;                        // AUDCLNT_BUFFERFLAGS_*
  std::vector<BYTE> data;                 // frames x block alignment bytes, or empty for zeros
  std::optional<UINT64> device_position;  // frames; empty: follows on from the packet before
  std::optional<UINT64> qpc_position;     // 100-ns ticks; empty: follows on likewise
};

// A mix format by its parts. An extensible tag gives a WAVEFORMATEXTENSIBLE (cbSize 22), any other
// tag a plain WAVEFORMATEX (cbSize 0); block alignment and byte rate follow from the parts.
struct MixFormat {
  WORD format_tag = WAVE_FORMAT_EXTENSIBLE;
  WORD channels = 2;
  DWORD samples_per_second = 48000;
  WORD bits_per_sample = 32;
  WORD valid_bits_per_sample = 32;                    // extensible only
  GUID sub_format = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;  // extensible only
  DWORD channel_mask = KSAUDIO_SPEAKER_STEREO;        // extensible only
};

// The bytes of the WAVEFORMATEX (plus extension) that `format` describes.
std::vector<BYTE> MixFormatBytes(const MixFormat& format);

// Whether registered notification clients hear of a change of the default device.
enum class DeviceChangeNotice { kNotify, kQuiet };

// Makes a device with this mix format and these packets the default playback device, replacing
// the previous one (whose objects keep working on their own script), and tells the notification
// clients unless `notice` is kQuiet. The byte form takes the format as GetMixFormat will return
// it: a WAVEFORMATEX followed by its cbSize extension bytes. Returns false and changes nothing if
// the format bytes are shorter than their cbSize says or a packet is malformed (no frames, or data
// of the wrong size).
bool SetDefaultAudioDevice(const MixFormat& format,
                           const std::vector<AudioPacket>& packets = {},
                           DeviceChangeNotice notice = DeviceChangeNotice::kNotify);
bool SetDefaultAudioDevice(const std::vector<BYTE>& format_bytes,
                           const std::vector<AudioPacket>& packets = {},
                           DeviceChangeNotice notice = DeviceChangeNotice::kNotify);

// No default playback device any more: GetDefaultAudioEndpoint fails with E_NOTFOUND. Objects of
// the removed device fail with AUDCLNT_E_DEVICE_INVALIDATED from then on, as for an unplugged one.
// Notification clients hear that no default device is left.
void RemoveDefaultAudioDevice();

// The default device goes away under its objects (a format change in the sound settings, a
// headset switching profile): they fail with AUDCLNT_E_DEVICE_INVALIDATED from then on, while the
// device stays the default one until replaced; nobody is notified.
void InvalidateDefaultAudioDevice();

// Notification clients registered with an enumerator and not yet unregistered.
std::size_t RegisteredNotificationClients();

// Appends a packet to the default device's script. Thread-safe. Returns false if there is no
// default device or the packet is malformed.
bool QueuePacket(UINT32 frames, DWORD flags, const std::vector<BYTE>& data = {});
bool QueuePacket(const AudioPacket& packet);

// Packets of the default device not yet handed out by GetBuffer.
std::size_t PendingPackets();

// Packets of the default device released with ReleaseBuffer.
std::size_t ConsumedPackets();

// No packet is pending and none is held between GetBuffer and ReleaseBuffer.
bool AllPacketsConsumed();

// Waits until AllPacketsConsumed() or the timeout passes; returns AllPacketsConsumed().
bool WaitUntilPacketsConsumed(std::chrono::milliseconds timeout);

struct RecordedEndpointRequest {
  EDataFlow flow = eRender;
  ERole role = eConsole;
  HRESULT result = S_OK;
};

struct RecordedActivation {
  IID iid{};
  DWORD class_context = 0;
  bool parameters_given = false;
  HRESULT result = S_OK;
};

struct RecordedInitialize {
  AUDCLNT_SHAREMODE share_mode = AUDCLNT_SHAREMODE_SHARED;
  DWORD stream_flags = 0;
  REFERENCE_TIME buffer_duration = 0;
  REFERENCE_TIME periodicity = 0;
  std::vector<BYTE> format;  // the WAVEFORMATEX and its extension, as passed
  bool session_guid_given = false;
  HRESULT result = S_OK;
};

enum class StreamCall { kStart, kStop };

struct RecordedStreamCall {
  StreamCall call = StreamCall::kStart;
  HRESULT result = S_OK;
};

struct RecordedReleaseBuffer {
  UINT32 frames_held = 0;  // frames of the packet held at the time (0: none held)
  UINT32 frames_released = 0;
  HRESULT result = S_OK;
};

enum class NotificationCall { kRegister, kUnregister };

struct RecordedNotificationCall {
  NotificationCall call = NotificationCall::kRegister;
  HRESULT result = S_OK;
};

struct AudioCalls {
  std::vector<RecordedEndpointRequest> endpoint_requests;
  std::vector<RecordedNotificationCall> notification_calls;
  std::vector<RecordedActivation> activations;
  std::vector<RecordedInitialize> initializations;
  std::vector<RecordedStreamCall> stream_calls;  // IAudioClient::Start and Stop, in order
  std::vector<RecordedReleaseBuffer> releases;
};

// The calls made since the last ResetAudio; a snapshot.
AudioCalls RecordedAudioCalls();

// Removes the default device (as RemoveDefaultAudioDevice), forgets every recorded call and every
// registered notification client (releasing them), and turns the system's audio off.
void ResetAudio();

// Makes the sound server's default sink the default device again whenever no device is scripted,
// as in a process that never reset.
void UseSystemAudio();

}  // namespace halvex::testing

#endif  // HALVEX_WINDOWS_TESTING_AUDIO_H_
