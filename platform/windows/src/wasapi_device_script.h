// The scripted playback device behind the audio stand-in: its mix format, its packets and which
// of them have been handed out, plus the process's default device and the record of audio calls.
#ifndef HALVEX_STANDIN_WASAPI_DEVICE_SCRIPT_H_
#define HALVEX_STANDIN_WASAPI_DEVICE_SCRIPT_H_

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "windows_testing/audio.h"

namespace halvex::platform {

class DeviceScript {
 public:
  // `format` is a whole WAVEFORMATEX with its extension bytes.
  explicit DeviceScript(std::vector<BYTE> format);

  const std::vector<BYTE>& Format() const { return format_; }
  // The endpoint ID notifications name the device by, unique in the process.
  const std::wstring& Id() const { return id_; }

  // Appends a packet; false (nothing queued) if it is malformed for this format.
  bool Queue(const testing::AudioPacket& packet);

  // The device has gone away: every later call on its objects fails.
  void Invalidate();
  bool IsInvalidated() const;

  // Frames of the next packet to hand out, 0 if none is waiting.
  UINT32 NextPacketFrames() const;

  // Hands out the next packet and holds it until ReleaseBuffer. AUDCLNT_E_OUT_OF_ORDER while one
  // is held; AUDCLNT_S_BUFFER_EMPTY (nothing handed out) when none is waiting or `deliver` is
  // false (a stream that is not running).
  // The positions are the packet's own or follow on from the packet before (see
  // windows_testing/audio.h).
  HRESULT GetBuffer(bool deliver,
                    BYTE** data,
                    UINT32* frames,
                    DWORD* flags,
                    UINT64* device_position,
                    UINT64* qpc_position);

  // Releases the held packet: all its frames consume it, 0 frames hand it out again next time.
  // `frames_held` receives the held packet's frames (0 if none).
  HRESULT ReleaseBuffer(UINT32 frames, UINT32* frames_held);

  // Called with true when a stream on the device starts and false when it stops, so that a real
  // capture source can run only while someone listens. Set before the device is shared.
  void SetRunningObserver(std::function<void(bool running)> observer);
  void NotifyRunning(bool running) const;

  std::size_t Pending() const;
  std::size_t Consumed() const;
  bool AllConsumed() const;
  bool WaitUntilAllConsumed(std::chrono::milliseconds timeout) const;

 private:
  struct Packet {
    UINT32 frames;
    DWORD flags;
    std::vector<BYTE> data;
    std::optional<UINT64> device_position;
    std::optional<UINT64> qpc_position;
  };

  bool AllConsumedLocked() const { return pending_.empty() && !held_; }

  const std::vector<BYTE> format_;
  const WORD block_align_;
  const DWORD sample_rate_;
  const std::wstring id_;
  mutable std::mutex mutex_;
  mutable std::condition_variable consumed_changed_;
  std::deque<Packet> pending_;
  std::optional<Packet> held_;
  std::size_t consumed_ = 0;
  // Where the next packet without positions of its own starts; empty before the first packet.
  std::optional<UINT64> next_device_position_;
  std::optional<UINT64> next_qpc_position_;
  bool invalidated_ = false;
  std::function<void(bool)> running_observer_;
};

// The default playback device, or null. When none is set, the installed provider (if any) is
// asked for one, and what it gives becomes the default device.
std::shared_ptr<DeviceScript> DefaultDevice();

// Installs the source of a default device for when no test has set one: a real capture source
// that fills a DeviceScript with what the system plays. It may return null (no device).
void SetDefaultDeviceProvider(std::function<std::shared_ptr<DeviceScript>()> provider);

// Adds to the record of audio calls under its lock.
void RecordAudioCall(const std::function<void(testing::AudioCalls&)>& change);

// Notification clients: the enumerator registers and unregisters them (holding a reference while
// registered); a change of the default device is told to each, outside every lock.
HRESULT RegisterNotificationClient(IMMNotificationClient* client);
HRESULT UnregisterNotificationClient(IMMNotificationClient* client);
// Tells every registered client that `device` (null: none) is the default playback device now, for
// each role, as the audio system does.
void NotifyDefaultDeviceChanged(const std::shared_ptr<DeviceScript>& device);

// Forgets the default device if the provider gave it, so that the provider is asked again: the
// system's default output changed. With `invalidate`, its objects fail from then on too: the
// system's audio went away. Returns whether there was one to forget.
bool ForgetProvidedDefaultDevice(bool invalidate = false);

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_WASAPI_DEVICE_SCRIPT_H_
