#include "tests/reliability/fault_sweep_table.h"

#include <audioclient.h>
#include <codecapi.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mferror.h>
#include <mfreadwrite.h>
#include <wincodec.h>

#include <array>
#include <cctype>
#include <cstddef>

namespace halvex::fault_sweep {
namespace {

using Where = MissingAttribute::Where;
using Expectations = std::vector<ExpectedRecording>;

ExpectedRecording Named(ExpectedRecording expected, const char* outcome) {
  expected.outcome = outcome;
  return expected;
}

Expectations Full(int /*occurrence*/) {
  return {FullRecording()};
}

Expectations StartRefused(int /*occurrence*/) {
  ExpectedRecording expected = Named(FullRecording(), "\"start_failed\", nothing recorded");
  expected.startRefused = true;
  return {expected};
}

Expectations NoWriterEver(int /*occurrence*/) {
  ExpectedRecording expected =
      Named(FullRecording(), "empty path: no writer opens, every frame dropped, no file");
  expected.writerOpens = false;
  return {expected};
}

ExpectedRecording FrameDroppedAt(int call) {
  ExpectedRecording expected =
      Named(FullRecording(), "frame dropped, the next frame takes its time slot");
  expected.droppedFrameCall = call;
  return expected;
}

// Calls made once for every frame, while it is decoded.
Expectations FrameDropped(int occurrence) {
  return {FrameDroppedAt(occurrence)};
}

ExpectedRecording VideoOnlyAfter(int discardedWriters) {
  ExpectedRecording expected =
      Named(FullRecording(), "first writer discarded, video-only writer made without audio");
  expected.discardedWriters = discardedWriters;
  expected.audioStream = false;
  return expected;
}

// A step after the writer exists, in the attempt with audio: that writer is discarded and the
// attempt without audio makes the file.
Expectations VideoOnlyWithDiscardedWriter(int /*occurrence*/) {
  return {VideoOnlyAfter(1)};
}

ExpectedRecording NoCapture(const char* outcome) {
  ExpectedRecording expected = Named(FullRecording(), outcome);
  expected.packetsTaken = 0;
  return expected;
}

// Capture set-up on the capture thread: it ends quietly, and "stop" gives the file an audio track
// of silence as long as the video.
Expectations CaptureNeverOpens(int /*occurrence*/) {
  return {NoCapture("capture never opens: audio track of silence")};
}

// The first store is the writer's: without it the writer takes its defaults, among them the
// container of the file's extension, which is plain from the start. The second holds the video
// encoder's settings: without it the encoder keeps its own key-frame interval.
Expectations WithoutAttributeStore(int occurrence) {
  if (occurrence == 1) {
    ExpectedRecording expected = Named(FullRecording(), "the writer is made with its defaults");
    expected.writerAttributeStore = false;
    expected.fragmented = false;
    return {expected};
  }
  ExpectedRecording expected =
      Named(FullRecording(), "the video encoder keeps its own key-frame interval");
  expected.videoEncodingParameters = false;
  return {expected};
}

// Where the fragmented container cannot be had, the writer is made without asking for it.
Expectations PlainContainer(int /*occurrence*/) {
  ExpectedRecording expected =
      Named(FullRecording(), "the writer is made again with the plain container");
  expected.fragmented = false;
  return {expected};
}

// Finishing the file at "stop": whichever step fails, the file stays fragmented and plays, and the
// replies are as ever.
Expectations FinishingFails(int /*occurrence*/) {
  ExpectedRecording expected =
      Named(FullRecording(), "the file stays as fragments, playable; the replies are unchanged");
  expected.layout = ExpectedRecording::Layout::kFragmented;
  return {expected};
}

// The writes of the finishing: the new index at the end, then the header that makes the file
// plain. A failed flush after the first leaves the file fragmented; after the second, the header
// may already be on the disk.
Expectations FinishingFlushFails(int occurrence) {
  ExpectedRecording expected = FinishingFails(occurrence).front();
  if (occurrence == 2) {
    expected.layout = ExpectedRecording::Layout::kEither;
  }
  return {expected};
}

Expectations FinalizeFails(int /*occurrence*/) {
  ExpectedRecording expected =
      Named(FullRecording(), "result ignored, \"stop\" reports the counts anyway");
  expected.finalizeResult = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
  return {expected};
}

// Frames 1-3 each create an imaging factory; then the capture thread creates the device
// enumerator (the platform thread waits for capture to settle); then frames 4-6.
Expectations CoCreateInstanceFails(int occurrence) {
  if (occurrence <= kFramesBeforeAudio) {
    return {FrameDroppedAt(occurrence)};
  }
  if (occurrence == kFramesBeforeAudio + 1) {
    return {NoCapture("device enumerator not created: audio track of silence")};
  }
  return {FrameDroppedAt(occurrence - 1)};
}

// The first is "start" on the platform thread, which tries again on its next operation; the
// second is the capture thread's, whose COM calls then fail.
Expectations CoInitializeExFails(int occurrence) {
  if (occurrence == 1) {
    return {Named(FullRecording(), "operation goes on, the next one initialises COM")};
  }
  return {NoCapture("capture thread without COM: audio track of silence")};
}

// The first endpoint request (eConsole) failing is followed by a second (eMultimedia).
Expectations DefaultEndpointFails(int /*occurrence*/) {
  return {Named(FullRecording(), "device asked for again with eMultimedia")};
}

// The first poll tops the loop, and a failure there ends capture; each later one follows a
// packet, and a failure there sends the loop back to its sleep.
Expectations NextPacketSizeFails(int occurrence) {
  if (occurrence == 1) {
    return {NoCapture("capture ends at the first poll: audio track of silence")};
  }
  return {Named(FullRecording(), "loop goes back to sleep, the packet comes next time")};
}

Expectations GetBufferFails(int /*occurrence*/) {
  return {Named(FullRecording(), "loop goes back to sleep, the packet comes next time")};
}

// The packet was written before its release; the device holds it and hands out nothing more.
Expectations ReleaseBufferFails(int occurrence) {
  ExpectedRecording expected =
      Named(FullRecording(), "result ignored: capture stalls behind the packet, audio padded");
  expected.packetsTaken = occurrence;
  return {expected};
}

// Sample steps: the nth occurrence belongs to the nth sample of the reference recording. A video
// sample that fails is dropped and the next frame takes its slot; an audio chunk that fails is
// lost, and padding stops at its first failing write.
Expectations SampleStepFails(int occurrence) {
  const std::vector<SampleWrite> writes = ReferenceSampleWrites();
  if (occurrence < 1 || static_cast<size_t>(occurrence) > writes.size()) {
    return {FullRecording()};
  }
  const SampleWrite& write = writes[static_cast<size_t>(occurrence) - 1];
  if (write.video) {
    return {FrameDroppedAt(write.index)};
  }
  ExpectedRecording expected = Named(FullRecording(), "audio chunk lost, counters unchanged");
  expected.failingAudioWrite = write.index;
  return {expected};
}

struct SetterTarget {
  Where where;
  const GUID* key;
};

// The attributes each setter sets, in the documented order: the writer's store, then the video
// output and input types and the video encoder's settings, then the audio output and input types.
constexpr std::array<SetterTarget, 19> kUint32Setters = {{
    {Where::kWriterStore, &MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS},
    {Where::kWriterStore, &MF_SINK_WRITER_DISABLE_THROTTLING},
    {Where::kVideoOutput, &MF_MT_AVG_BITRATE},
    {Where::kVideoOutput, &MF_MT_INTERLACE_MODE},
    {Where::kVideoInput, &MF_MT_DEFAULT_STRIDE},
    {Where::kVideoInput, &MF_MT_FIXED_SIZE_SAMPLES},
    {Where::kVideoInput, &MF_MT_SAMPLE_SIZE},
    {Where::kVideoInput, &MF_MT_ALL_SAMPLES_INDEPENDENT},
    {Where::kVideoEncoding, &CODECAPI_AVEncMPVGOPSize},
    {Where::kAudioOutput, &MF_MT_AUDIO_NUM_CHANNELS},
    {Where::kAudioOutput, &MF_MT_AUDIO_SAMPLES_PER_SECOND},
    {Where::kAudioOutput, &MF_MT_AUDIO_BITS_PER_SAMPLE},
    {Where::kAudioOutput, &MF_MT_AUDIO_AVG_BYTES_PER_SECOND},
    {Where::kAudioOutput, &MF_MT_AAC_PAYLOAD_TYPE},
    {Where::kAudioInput, &MF_MT_AUDIO_NUM_CHANNELS},
    {Where::kAudioInput, &MF_MT_AUDIO_SAMPLES_PER_SECOND},
    {Where::kAudioInput, &MF_MT_AUDIO_BITS_PER_SAMPLE},
    {Where::kAudioInput, &MF_MT_AUDIO_BLOCK_ALIGNMENT},
    {Where::kAudioInput, &MF_MT_AUDIO_AVG_BYTES_PER_SECOND},
}};
constexpr std::array<SetterTarget, 6> kUint64Setters = {{
    {Where::kVideoOutput, &MF_MT_FRAME_SIZE},
    {Where::kVideoOutput, &MF_MT_FRAME_RATE},
    {Where::kVideoOutput, &MF_MT_PIXEL_ASPECT_RATIO},
    {Where::kVideoInput, &MF_MT_FRAME_SIZE},
    {Where::kVideoInput, &MF_MT_FRAME_RATE},
    {Where::kVideoInput, &MF_MT_PIXEL_ASPECT_RATIO},
}};
constexpr std::array<SetterTarget, 9> kGuidSetters = {{
    {Where::kWriterStore, &MF_TRANSCODE_CONTAINERTYPE},
    {Where::kVideoOutput, &MF_MT_MAJOR_TYPE},
    {Where::kVideoOutput, &MF_MT_SUBTYPE},
    {Where::kVideoInput, &MF_MT_MAJOR_TYPE},
    {Where::kVideoInput, &MF_MT_SUBTYPE},
    {Where::kAudioOutput, &MF_MT_MAJOR_TYPE},
    {Where::kAudioOutput, &MF_MT_SUBTYPE},
    {Where::kAudioInput, &MF_MT_MAJOR_TYPE},
    {Where::kAudioInput, &MF_MT_SUBTYPE},
}};

// Setter results are not checked. The writer's store without an attribute only changes the
// writer's settings; a media type without one is either accepted as it is or rejected by the
// writer, which sends the attempt with audio to the attempt without.
template <size_t N>
Expectations SetterFails(const std::array<SetterTarget, N>& targets, int occurrence) {
  if (occurrence < 1 || static_cast<size_t>(occurrence) > N) {
    return {FullRecording()};
  }
  const SetterTarget& target = targets[static_cast<size_t>(occurrence) - 1];
  ExpectedRecording accepted = Named(FullRecording(), "attribute missing, accepted without it");
  accepted.missingAttribute = MissingAttribute{target.where, *target.key};
  // Settings of the writer or the encoder only change how the file is made.
  if (target.where == Where::kWriterStore || target.where == Where::kVideoEncoding) {
    if (target.key == &MF_TRANSCODE_CONTAINERTYPE) {
      accepted.fragmented = false;
    }
    return {accepted};
  }
  return {accepted, VideoOnlyAfter(1)};
}

Expectations Uint32SetterFails(int occurrence) {
  return SetterFails(kUint32Setters, occurrence);
}
Expectations Uint64SetterFails(int occurrence) {
  return SetterFails(kUint64Setters, occurrence);
}
Expectations GuidSetterFails(int occurrence) {
  return SetterFails(kGuidSetters, occurrence);
}

constexpr int kPolledOccurrences = 1 + static_cast<int>(kPackets.size());

}  // namespace

const std::vector<SweepEntry>& SweepTable() {
  static const std::vector<SweepEntry> table = {
      // COM and the recorder's own set-up.
      {"CoInitializeEx", E_OUTOFMEMORY, "a failing CoInitializeEx does not stop the operation",
       CoInitializeExFails},
      {"MultiByteToWideChar", HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY),
       "a path that converts to nothing fails when the writer is opened", NoWriterEver},
      {"MFStartup", MF_E_BAD_STARTUP_VERSION, "Start returns false: \"start_failed\"", StartRefused,
       0, true},
      {"SetThreadPriority", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED),
       "the queue's threads stay at normal priority; the recording is unchanged", Full, 0, false,
       false, true},
      {"CoCreateInstance", E_OUTOFMEMORY,
       "imaging factory: frame dropped; device enumerator: capture ends", CoCreateInstanceFails},
      // Frame ingestion.
      {"IWICImagingFactory::CreateStream", E_OUTOFMEMORY, "any imaging step: frame dropped",
       FrameDropped},
      {"IWICStream::InitializeFromMemory", E_OUTOFMEMORY, "any imaging step: frame dropped",
       FrameDropped},
      {"IWICImagingFactory::CreateDecoderFromStream", WINCODEC_ERR_COMPONENTNOTFOUND,
       "any imaging step: frame dropped", FrameDropped},
      {"IWICBitmapDecoder::GetFrame", WINCODEC_ERR_FRAMEMISSING, "any imaging step: frame dropped",
       FrameDropped},
      {"IWICImagingFactory::CreateFormatConverter", E_OUTOFMEMORY,
       "any imaging step: frame dropped", FrameDropped},
      {"IWICFormatConverter::Initialize", WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT,
       "any imaging step: frame dropped", FrameDropped},
      {"IWICFormatConverter::GetSize", WINCODEC_ERR_NOTINITIALIZED,
       "any imaging step: frame dropped", FrameDropped},
      {"IWICFormatConverter::CopyPixels", WINCODEC_ERR_BADIMAGE, "the copy fails: frame dropped",
       FrameDropped},
      // Media writer set-up.
      {"MFCreateAttributes", E_OUTOFMEMORY,
       "the writer is made with its defaults, the encoder with its own settings",
       WithoutAttributeStore},
      {"MFCreateSinkWriterFromURL", MF_E_UNSUPPORTED_BYTESTREAM_TYPE,
       "the writer is made again without the fragmented container", PlainContainer},
      {"MFCreateMediaType", E_OUTOFMEMORY, "a type that cannot be made fails its attempt",
       VideoOnlyWithDiscardedWriter},
      {"IMFAttributes::SetUINT32", E_OUTOFMEMORY, "setter results are not checked",
       Uint32SetterFails},
      {"IMFAttributes::SetUINT64", E_OUTOFMEMORY, "setter results are not checked",
       Uint64SetterFails},
      {"IMFAttributes::SetGUID", E_OUTOFMEMORY, "setter results are not checked", GuidSetterFails},
      {"IMFSinkWriter::AddStream", MF_E_INVALIDMEDIATYPE,
       "video or audio stream refused: the attempt without audio makes the file",
       VideoOnlyWithDiscardedWriter},
      {"IMFSinkWriter::SetInputMediaType", MF_E_INVALIDMEDIATYPE,
       "no encoder for an input type: the attempt without audio makes the file",
       VideoOnlyWithDiscardedWriter},
      {"IMFSinkWriter::BeginWriting", E_FAIL,
       "writer released, audioStreamPresent cleared: the attempt without audio makes the file",
       VideoOnlyWithDiscardedWriter},
      // Samples, video and audio alike.
      {"MFCreateSample", E_OUTOFMEMORY, "the sample is not written", SampleStepFails},
      {"MFCreateMemoryBuffer", E_OUTOFMEMORY, "the sample is not written", SampleStepFails},
      {"IMFMediaBuffer::Lock", E_OUTOFMEMORY, "the sample is not written", SampleStepFails},
      {"IMFMediaBuffer::Unlock", E_FAIL, "its result is not checked: the bytes are in already",
       Full},
      {"IMFMediaBuffer::SetCurrentLength", E_INVALIDARG,
       "a buffer without its length would reach the file empty: not written", SampleStepFails},
      {"IMFSample::AddBuffer", E_OUTOFMEMORY,
       "a sample without its buffer would reach the file empty: not written", SampleStepFails},
      {"IMFSample::SetSampleTime", E_OUTOFMEMORY,
       "a sample without its time cannot be placed: not written", SampleStepFails},
      {"IMFSample::SetSampleDuration", E_OUTOFMEMORY, "a sample without its duration: not written",
       SampleStepFails},
      {"IMFSinkWriter::WriteSample", HRESULT_FROM_WIN32(ERROR_DISK_FULL),
       "the write fails: counters unchanged", SampleStepFails},
      {"IMFSinkWriter::Finalize", HRESULT_FROM_WIN32(ERROR_DISK_FULL),
       "the result of Finalize is ignored", FinalizeFails},
      // Finishing the file in place at "stop".
      {"CreateFileW", HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION),
       "the file cannot be opened: it stays fragmented", FinishingFails, 0, false, true},
      {"GetFileSizeEx", HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE),
       "the file cannot be read: it stays fragmented", FinishingFails, 0, false, true},
      {"ReadFile", HRESULT_FROM_WIN32(ERROR_READ_FAULT),
       "the file cannot be read: it stays fragmented", FinishingFails, 0, false, true},
      {"WriteFile", HRESULT_FROM_WIN32(ERROR_DISK_FULL),
       "the index or the header cannot be written: the file stays fragmented", FinishingFails, 0,
       false, true},
      {"FlushFileBuffers", HRESULT_FROM_WIN32(ERROR_WRITE_FAULT),
       "a write may not be on the disk: finishing stops, the file plays either way",
       FinishingFlushFails, 0, false, true},
      {"CloseHandle", E_HANDLE, "its result is not used", Full, 0, false, true},
      // System audio capture, on the capture thread.
      {"IMMDeviceEnumerator::GetDefaultAudioEndpoint", E_NOTFOUND, "asked again for eMultimedia",
       DefaultEndpointFails},
      {"IMMDeviceEnumerator::RegisterEndpointNotificationCallback", E_OUTOFMEMORY,
       "capture goes on without hearing of a new default device", Full},
      {"IMMDeviceEnumerator::UnregisterEndpointNotificationCallback", E_FAIL,
       "its result is not used: the thread ends as usual", Full},
      // A device that goes away (AUDCLNT_E_DEVICE_INVALIDATED) is followed to the next one; every
      // other failure keeps its own rule.
      {"IMMDevice::Activate", E_OUTOFMEMORY, "initialisation failure ends the thread",
       CaptureNeverOpens},
      {"IAudioClient::GetMixFormat", E_OUTOFMEMORY, "initialisation failure ends the thread",
       CaptureNeverOpens},
      {"CoTaskMemAlloc", E_OUTOFMEMORY,
       "GetMixFormat cannot hand out the format: initialisation failure ends the thread",
       CaptureNeverOpens},
      {"IAudioClient::Initialize", AUDCLNT_E_UNSUPPORTED_FORMAT,
       "initialisation failure ends the thread", CaptureNeverOpens},
      {"IAudioClient::GetService", E_NOINTERFACE, "initialisation failure ends the thread",
       CaptureNeverOpens},
      {"IAudioClient::Start", AUDCLNT_E_DEVICE_IN_USE, "initialisation failure ends the thread",
       CaptureNeverOpens},
      {"IAudioClient::Stop", AUDCLNT_E_DEVICE_INVALIDATED,
       "its result is not used: the thread ends as usual", Full},
      {"IAudioCaptureClient::GetNextPacketSize", AUDCLNT_E_SERVICE_NOT_RUNNING,
       "at the top of the loop capture ends; after a packet the loop sleeps", NextPacketSizeFails,
       kPolledOccurrences},
      {"IAudioCaptureClient::GetBuffer", AUDCLNT_E_OUT_OF_ORDER, "the loop goes back to its sleep",
       GetBufferFails},
      {"IAudioCaptureClient::ReleaseBuffer", AUDCLNT_E_INVALID_SIZE, "its result is not used",
       ReleaseBufferFails},
  };
  return table;
}

const SweepEntry* FindSweepEntry(const std::string& call) {
  for (const SweepEntry& entry : SweepTable()) {
    if (call == entry.call) {
      return &entry;
    }
  }
  return nullptr;
}

void PrintTo(const SweepEntry& entry, std::ostream* out) {
  *out << entry.call;
}

std::string TestName(const ::testing::TestParamInfo<SweepEntry>& info) {
  std::string name;
  for (const char* c = info.param.call; *c != '\0'; ++c) {
    if (std::isalnum(static_cast<unsigned char>(*c))) {
      name += *c;
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
  }
  return name;
}

}  // namespace halvex::fault_sweep
