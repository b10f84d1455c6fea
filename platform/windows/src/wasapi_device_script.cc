#include "wasapi_device_script.h"

#include <mmreg.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <utility>

#include "real_media_backends.h"
#include "win32_performance_counter.h"

namespace halvex::platform {
namespace {

// Larger packets are refused rather than allocated: a second of 8-channel 64-bit audio at
// 384 kHz still fits.
constexpr std::uint64_t kMaxPacketBytes = 32u << 20;

// A process starts out with the sound server's default sink as its default device, when the media
// library has registered its provider and a server is reachable; a test's reset leaves only the
// device it scripts.
struct AudioState {
  std::mutex mutex;
  std::shared_ptr<DeviceScript> default_device;
  bool default_device_provided = false;
  std::function<std::shared_ptr<DeviceScript>()> provider;
  testing::AudioCalls calls;
  std::vector<IMMNotificationClient*> notification_clients;  // one reference each
};

AudioState& State() {
  static AudioState* state = new AudioState();  // Never destroyed: used at exit.
  return *state;
}

WAVEFORMATEX HeaderOf(const std::vector<BYTE>& format) {
  WAVEFORMATEX header;
  std::memcpy(&header, format.data(), sizeof(header));
  return header;
}

std::wstring NewDeviceId() {
  static std::atomic<unsigned> next{1};
  return L"{0.0.0.00000000}.{halvex-playback-" + std::to_wstring(next.fetch_add(1)) + L"}";
}

// The format as GetMixFormat returns it: the header and exactly cbSize more bytes.
std::optional<std::vector<BYTE>> WholeFormat(const std::vector<BYTE>& bytes) {
  if (bytes.size() < sizeof(WAVEFORMATEX)) {
    return std::nullopt;
  }
  WAVEFORMATEX header;
  std::memcpy(&header, bytes.data(), sizeof(header));
  const std::size_t size = sizeof(WAVEFORMATEX) + header.cbSize;
  if (bytes.size() < size) {
    return std::nullopt;
  }
  return std::vector<BYTE>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

// The default device as set, without asking the provider: what the test controls work on.
std::shared_ptr<DeviceScript> CurrentDefaultDevice() {
  AudioState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.default_device;
}

void ReplaceDefaultDevice(std::shared_ptr<DeviceScript> device) {
  AudioState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.default_device = std::move(device);
  state.default_device_provided = false;
}

// A snapshot of the registered clients, each with a reference of its own.
std::vector<IMMNotificationClient*> RegisteredClients() {
  AudioState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  for (IMMNotificationClient* client : state.notification_clients) {
    client->AddRef();
  }
  return state.notification_clients;
}

}  // namespace

DeviceScript::DeviceScript(std::vector<BYTE> format)
    : format_(std::move(format)),
      block_align_(HeaderOf(format_).nBlockAlign),
      sample_rate_(HeaderOf(format_).nSamplesPerSec),
      id_(NewDeviceId()) {}

bool DeviceScript::Queue(const testing::AudioPacket& packet) {
  const std::uint64_t size = static_cast<std::uint64_t>(packet.frames) * block_align_;
  if (packet.frames == 0 || size > kMaxPacketBytes ||
      (!packet.data.empty() && packet.data.size() != size)) {
    return false;
  }
  Packet queued{packet.frames, packet.flags, packet.data, packet.device_position,
                packet.qpc_position};
  if (queued.data.empty()) {
    queued.data.assign(static_cast<std::size_t>(size), 0);
  }
  if (queued.data.empty()) {
    queued.data.push_back(0);  // A zero block alignment still hands out a real pointer.
  }
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.push_back(std::move(queued));
  return true;
}

void DeviceScript::Invalidate() {
  std::lock_guard<std::mutex> lock(mutex_);
  invalidated_ = true;
}

bool DeviceScript::IsInvalidated() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return invalidated_;
}

UINT32 DeviceScript::NextPacketFrames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_.empty() ? 0 : pending_.front().frames;
}

HRESULT DeviceScript::GetBuffer(bool deliver,
                                BYTE** data,
                                UINT32* frames,
                                DWORD* flags,
                                UINT64* device_position,
                                UINT64* qpc_position) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (held_) {
    return AUDCLNT_E_OUT_OF_ORDER;
  }
  if (!deliver || pending_.empty()) {
    return AUDCLNT_S_BUFFER_EMPTY;
  }
  held_ = std::move(pending_.front());
  pending_.pop_front();
  const UINT64 position = held_->device_position.value_or(next_device_position_.value_or(0));
  const UINT64 time = held_->qpc_position.value_or(
      next_qpc_position_.value_or(static_cast<UINT64>(PerformanceCounterTicks())));
  *data = held_->data.data();
  *frames = held_->frames;
  *flags = held_->flags;
  *device_position = position;
  *qpc_position = time;
  // The next packet follows on unless it says otherwise: a packet handed out again after a release
  // of 0 frames keeps these positions, since it carries them now.
  held_->device_position = position;
  held_->qpc_position = time;
  next_device_position_ = position + held_->frames;
  next_qpc_position_ =
      time + (sample_rate_ == 0
                  ? 0
                  : static_cast<UINT64>(held_->frames) *
                        static_cast<UINT64>(kPerformanceCounterFrequency) / sample_rate_);
  return S_OK;
}

HRESULT DeviceScript::ReleaseBuffer(UINT32 frames, UINT32* frames_held) {
  std::lock_guard<std::mutex> lock(mutex_);
  *frames_held = held_ ? held_->frames : 0;
  if (!held_) {
    return AUDCLNT_E_OUT_OF_ORDER;
  }
  if (frames == 0) {
    pending_.push_front(std::move(*held_));
    held_.reset();
    return S_OK;
  }
  if (frames != held_->frames) {
    return AUDCLNT_E_INVALID_SIZE;  // The packet stays held for a correct release.
  }
  held_.reset();
  ++consumed_;
  consumed_changed_.notify_all();
  return S_OK;
}

std::size_t DeviceScript::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_.size();
}

std::size_t DeviceScript::Consumed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return consumed_;
}

bool DeviceScript::AllConsumed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return AllConsumedLocked();
}

bool DeviceScript::WaitUntilAllConsumed(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return consumed_changed_.wait_for(lock, timeout, [this] { return AllConsumedLocked(); });
}

std::shared_ptr<DeviceScript> DefaultDevice() {
  AudioState& state = State();
  std::function<std::shared_ptr<DeviceScript>()> provider;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    // A provided device that has gone (its server or sink vanished) is no longer the default:
    // the provider is asked again, as Windows picks a new default device.
    if (state.default_device && state.default_device_provided &&
        state.default_device->IsInvalidated()) {
      state.default_device = nullptr;
    }
    if (state.default_device || !state.provider) {
      return state.default_device;
    }
    provider = state.provider;
  }
  // Asked without the lock: a provider may take time to reach the system's audio.
  std::shared_ptr<DeviceScript> provided = provider();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!state.default_device && provided) {
    state.default_device = std::move(provided);
    state.default_device_provided = true;
  }
  return state.default_device;
}

void SetDefaultDeviceProvider(std::function<std::shared_ptr<DeviceScript>()> provider) {
  AudioState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.provider = std::move(provider);
}

void DeviceScript::SetRunningObserver(std::function<void(bool running)> observer) {
  std::lock_guard<std::mutex> lock(mutex_);
  running_observer_ = std::move(observer);
}

void DeviceScript::NotifyRunning(bool running) const {
  std::function<void(bool)> observer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    observer = running_observer_;
  }
  if (observer) {
    observer(running);
  }
}

void RecordAudioCall(const std::function<void(testing::AudioCalls&)>& change) {
  AudioState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  change(state.calls);
}

HRESULT RegisterNotificationClient(IMMNotificationClient* client) {
  if (client == nullptr) {
    return E_POINTER;
  }
  AudioState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  client->AddRef();
  state.notification_clients.push_back(client);
  return S_OK;
}

HRESULT UnregisterNotificationClient(IMMNotificationClient* client) {
  if (client == nullptr) {
    return E_POINTER;
  }
  AudioState& state = State();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    auto found =
        std::find(state.notification_clients.begin(), state.notification_clients.end(), client);
    if (found == state.notification_clients.end()) {
      return E_NOTFOUND;
    }
    state.notification_clients.erase(found);
  }
  client->Release();  // Outside the lock: the client's destructor may do anything.
  return S_OK;
}

void NotifyDefaultDeviceChanged(const std::shared_ptr<DeviceScript>& device) {
  const std::vector<IMMNotificationClient*> clients = RegisteredClients();
  const wchar_t* id = device ? device->Id().c_str() : nullptr;
  for (IMMNotificationClient* client : clients) {
    for (ERole role : {eConsole, eMultimedia, eCommunications}) {
      client->OnDefaultDeviceChanged(eRender, role, id);
    }
    client->Release();
  }
}

bool ForgetProvidedDefaultDevice(bool invalidate) {
  AudioState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!state.default_device_provided) {
    return false;
  }
  if (invalidate) {
    state.default_device->Invalidate();
  }
  state.default_device = nullptr;
  state.default_device_provided = false;
  return true;
}

}  // namespace halvex::platform

namespace halvex::testing {

std::vector<BYTE> MixFormatBytes(const MixFormat& format) {
  WAVEFORMATEXTENSIBLE whole{};
  WAVEFORMATEX& header = whole.Format;
  header.wFormatTag = format.format_tag;
  header.nChannels = format.channels;
  header.nSamplesPerSec = format.samples_per_second;
  header.wBitsPerSample = format.bits_per_sample;
  header.nBlockAlign = static_cast<WORD>(format.channels * (format.bits_per_sample / 8));
  header.nAvgBytesPerSec = format.samples_per_second * header.nBlockAlign;
  const bool extensible = format.format_tag == WAVE_FORMAT_EXTENSIBLE;
  header.cbSize = extensible ? sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX) : 0;
  whole.Samples.wValidBitsPerSample = format.valid_bits_per_sample;
  whole.dwChannelMask = format.channel_mask;
  whole.SubFormat = format.sub_format;
  const auto* bytes = reinterpret_cast<const BYTE*>(&whole);
  return std::vector<BYTE>(bytes, bytes + sizeof(WAVEFORMATEX) + header.cbSize);
}

bool SetDefaultAudioDevice(const MixFormat& format,
                           const std::vector<AudioPacket>& packets,
                           DeviceChangeNotice notice) {
  return SetDefaultAudioDevice(MixFormatBytes(format), packets, notice);
}

bool SetDefaultAudioDevice(const std::vector<BYTE>& format_bytes,
                           const std::vector<AudioPacket>& packets,
                           DeviceChangeNotice notice) {
  std::optional<std::vector<BYTE>> format = platform::WholeFormat(format_bytes);
  if (!format) {
    return false;
  }
  auto device = std::make_shared<platform::DeviceScript>(std::move(*format));
  for (const AudioPacket& packet : packets) {
    if (!device->Queue(packet)) {
      return false;
    }
  }
  platform::ReplaceDefaultDevice(device);
  if (notice == DeviceChangeNotice::kNotify) {
    platform::NotifyDefaultDeviceChanged(device);
  }
  return true;
}

void RemoveDefaultAudioDevice() {
  const auto device = platform::CurrentDefaultDevice();
  if (device) {
    device->Invalidate();
  }
  platform::ReplaceDefaultDevice(nullptr);
  if (device) {
    platform::NotifyDefaultDeviceChanged(nullptr);
  }
}

void InvalidateDefaultAudioDevice() {
  if (auto device = platform::CurrentDefaultDevice()) {
    device->Invalidate();
  }
}

std::size_t RegisteredNotificationClients() {
  auto& state = platform::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.notification_clients.size();
}

bool QueuePacket(UINT32 frames, DWORD flags, const std::vector<BYTE>& data) {
  return QueuePacket(AudioPacket{frames, flags, data});
}

bool QueuePacket(const AudioPacket& packet) {
  const auto device = platform::CurrentDefaultDevice();
  return device != nullptr && device->Queue(packet);
}

std::size_t PendingPackets() {
  const auto device = platform::CurrentDefaultDevice();
  return device == nullptr ? 0 : device->Pending();
}

std::size_t ConsumedPackets() {
  const auto device = platform::CurrentDefaultDevice();
  return device == nullptr ? 0 : device->Consumed();
}

bool AllPacketsConsumed() {
  const auto device = platform::CurrentDefaultDevice();
  return device == nullptr || device->AllConsumed();
}

bool WaitUntilPacketsConsumed(std::chrono::milliseconds timeout) {
  const auto device = platform::CurrentDefaultDevice();
  return device == nullptr || device->WaitUntilAllConsumed(timeout);
}

AudioCalls RecordedAudioCalls() {
  auto& state = platform::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.calls;
}

void ResetAudio() {
  RemoveDefaultAudioDevice();
  std::vector<IMMNotificationClient*> clients;
  {
    auto& state = platform::State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.calls = AudioCalls();
    state.provider = nullptr;
    clients.swap(state.notification_clients);
  }
  for (IMMNotificationClient* client : clients) {
    client->Release();
  }
}

void UseSystemAudio() {
  auto provider = platform::RegisteredRealMediaBackends().default_device_provider;
  if (!provider) {
    platform::ReportNoRealMedia("UseSystemAudio");
    return;
  }
  platform::SetDefaultDeviceProvider(std::move(provider));
}

}  // namespace halvex::testing
