#include "wasapi_device_script.h"

#include <mmreg.h>

#include <cstring>
#include <utility>

#include "media_wasapi_loopback_device.h"

namespace halvex::platform {
namespace {

// Larger packets are refused rather than allocated: a second of 8-channel 64-bit audio at
// 384 kHz still fits.
constexpr std::uint64_t kMaxPacketBytes = 32u << 20;

// A process starts out with the sound server's default sink as its default device, when a server
// is reachable; a test's reset leaves only the device it scripts.
struct AudioState {
  std::mutex mutex;
  std::shared_ptr<DeviceScript> default_device;
  bool default_device_provided = false;
  std::function<std::shared_ptr<DeviceScript>()> provider = ProvideLoopbackDevice;
  testing::AudioCalls calls;
};

AudioState& State() {
  static AudioState* state = new AudioState();  // Never destroyed: used at exit.
  return *state;
}

WORD BlockAlignOf(const std::vector<BYTE>& format) {
  WAVEFORMATEX header;
  std::memcpy(&header, format.data(), sizeof(header));
  return header.nBlockAlign;
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

}  // namespace

DeviceScript::DeviceScript(std::vector<BYTE> format)
    : format_(std::move(format)), block_align_(BlockAlignOf(format_)) {}

bool DeviceScript::Queue(const testing::AudioPacket& packet) {
  const std::uint64_t size = static_cast<std::uint64_t>(packet.frames) * block_align_;
  if (packet.frames == 0 || size > kMaxPacketBytes ||
      (!packet.data.empty() && packet.data.size() != size)) {
    return false;
  }
  Packet queued{packet.frames, packet.flags, packet.data};
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
                                UINT64* device_position) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (held_) {
    return AUDCLNT_E_OUT_OF_ORDER;
  }
  if (!deliver || pending_.empty()) {
    return AUDCLNT_S_BUFFER_EMPTY;
  }
  held_ = std::move(pending_.front());
  pending_.pop_front();
  *data = held_->data.data();
  *frames = held_->frames;
  *flags = held_->flags;
  *device_position = frames_handed_out_;
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
  frames_handed_out_ += frames;
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

bool SetDefaultAudioDevice(const MixFormat& format, const std::vector<AudioPacket>& packets) {
  return SetDefaultAudioDevice(MixFormatBytes(format), packets);
}

bool SetDefaultAudioDevice(const std::vector<BYTE>& format_bytes,
                           const std::vector<AudioPacket>& packets) {
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
  platform::ReplaceDefaultDevice(std::move(device));
  return true;
}

void RemoveDefaultAudioDevice() {
  if (auto device = platform::CurrentDefaultDevice()) {
    device->Invalidate();
  }
  platform::ReplaceDefaultDevice(nullptr);
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
  auto& state = platform::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.calls = AudioCalls();
  state.provider = nullptr;
}

void UseSystemAudio() {
  platform::SetDefaultDeviceProvider(platform::ProvideLoopbackDevice);
}

}  // namespace halvex::testing
