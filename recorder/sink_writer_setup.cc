// codecapi.h declares its GUIDs with what windows.h brings in, so it comes after it.
#include <windows.h>

#include <codecapi.h>
#include <mfapi.h>
#include <mfidl.h>

#include <initializer_list>

#include "recorder/audio_conversion.h"
#include "recorder/desktop_recorder.h"

namespace halvex {
namespace {

constexpr UINT32 kAudioChannels = 1;
constexpr UINT32 kAudioBitsPerSample = 16;
constexpr UINT32 kAudioBlockAlignment = kAudioChannels * kAudioBitsPerSample / 8;
constexpr UINT32 kAacBytesPerSecond = 24000;  // 192 kbit/s
constexpr UINT32 kAacRawPayload = 0;
// A killed recording keeps every whole fragment, and fragments start at key frames: at most this
// many seconds of video are lost with the last one.
constexpr double kLongestKeyFrameInterval = 2.0;

// One attribute of a media type; the types below list them in the order they are set. Sizes and
// ratios are two numbers in one 64-bit value, set with the SDK's helpers for them.
struct TypeAttribute {
  enum class Kind { kGuid, kUint32, kSize, kRatio };

  TypeAttribute(REFGUID attributeKey, REFGUID value)
      : key(&attributeKey), kind(Kind::kGuid), guid(value) {}
  TypeAttribute(REFGUID attributeKey, UINT32 value)
      : key(&attributeKey), kind(Kind::kUint32), first(value) {}
  static TypeAttribute Size(REFGUID attributeKey, UINT32 width, UINT32 height) {
    return TypeAttribute(attributeKey, Kind::kSize, width, height);
  }
  static TypeAttribute Ratio(REFGUID attributeKey, UINT32 numerator, UINT32 denominator) {
    return TypeAttribute(attributeKey, Kind::kRatio, numerator, denominator);
  }

  const GUID* key;
  Kind kind;
  GUID guid = {};
  UINT32 first = 0;
  UINT32 second = 0;

 private:
  TypeAttribute(REFGUID attributeKey, Kind pairKind, UINT32 firstValue, UINT32 secondValue)
      : key(&attributeKey), kind(pairKind), first(firstValue), second(secondValue) {}
};

// A new media type carrying `attributes`; empty when it cannot be created. The setters' results
// are not checked: the writer rejects a type that lacks what it needs.
ComPtr<IMFMediaType> CreateMediaType(std::initializer_list<TypeAttribute> attributes) {
  ComPtr<IMFMediaType> type;
  if (FAILED(MFCreateMediaType(type.Put()))) {
    return ComPtr<IMFMediaType>();
  }
  for (const TypeAttribute& attribute : attributes) {
    switch (attribute.kind) {
      case TypeAttribute::Kind::kGuid:
        type->SetGUID(*attribute.key, attribute.guid);
        break;
      case TypeAttribute::Kind::kUint32:
        type->SetUINT32(*attribute.key, attribute.first);
        break;
      case TypeAttribute::Kind::kSize:
        MFSetAttributeSize(type.Get(), *attribute.key, attribute.first, attribute.second);
        break;
      case TypeAttribute::Kind::kRatio:
        MFSetAttributeRatio(type.Get(), *attribute.key, attribute.first, attribute.second);
        break;
    }
  }
  return type;
}

// Creates the writer on `path`, asking for the fragmented MPEG-4 container so that the file plays
// while it is written; where that container cannot be had (before Windows 8), the writer picks
// the plain one from the file name, as it always did.
HRESULT CreateWriter(const std::wstring& path, IMFAttributes* attributes, IMFSinkWriter** writer) {
  const HRESULT hr = MFCreateSinkWriterFromURL(path.c_str(), nullptr, attributes, writer);
  if (SUCCEEDED(hr) || attributes == nullptr ||
      FAILED(attributes->DeleteItem(MF_TRANSCODE_CONTAINERTYPE))) {
    return hr;
  }
  return MFCreateSinkWriterFromURL(path.c_str(), nullptr, attributes, writer);
}

// The video encoder's settings: a key frame at least every two seconds. Empty when the store
// cannot be made: the encoder then keeps its own interval.
ComPtr<IMFAttributes> VideoEncodingParameters(double framesPerSecond) {
  ComPtr<IMFAttributes> parameters;
  if (FAILED(MFCreateAttributes(parameters.Put(), 1))) {
    return ComPtr<IMFAttributes>();
  }
  const auto interval = static_cast<UINT32>(framesPerSecond * kLongestKeyFrameInterval);
  parameters->SetUINT32(CODECAPI_AVEncMPVGOPSize, interval > 0 ? interval : 1);
  return parameters;
}

}  // namespace

bool DesktopRecorder::OpenSinkWriter(int32_t width, int32_t height, bool withAudio) {
  const int32_t evenWidth = width & ~1;
  const int32_t evenHeight = height & ~1;
  if (evenWidth < 2 || evenHeight < 2) {
    return false;
  }
  const UINT32 w = static_cast<UINT32>(evenWidth);
  const UINT32 h = static_cast<UINT32>(evenHeight);
  const UINT32 pitch = (w + 15) & ~15u;
  const TypeAttribute frameSize = TypeAttribute::Size(MF_MT_FRAME_SIZE, w, h);
  const TypeAttribute frameRate =
      TypeAttribute::Ratio(MF_MT_FRAME_RATE, static_cast<UINT32>(fps), 1);
  const TypeAttribute squarePixels = TypeAttribute::Ratio(MF_MT_PIXEL_ASPECT_RATIO, 1, 1);

  ComPtr<IMFSinkWriter> writer;
  {
    ComPtr<IMFAttributes> writerAttributes;
    // Without an attribute store the writer is made with its defaults.
    if (SUCCEEDED(MFCreateAttributes(writerAttributes.Put(), 3))) {
      writerAttributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, 0);
      writerAttributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, 1);
      writerAttributes->SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_FMPEG4);
    }
    if (FAILED(CreateWriter(outputPath, writerAttributes.Get(), writer.Put()))) {
      return false;
    }
  }

  {
    ComPtr<IMFMediaType> videoOutput = CreateMediaType({
        {MF_MT_MAJOR_TYPE, MFMediaType_Video},
        {MF_MT_SUBTYPE, MFVideoFormat_H264},
        {MF_MT_AVG_BITRATE, w * h * 3},
        {MF_MT_INTERLACE_MODE, static_cast<UINT32>(MFVideoInterlace_Progressive)},
        frameSize,
        frameRate,
        squarePixels,
    });
    if (!videoOutput || FAILED(writer->AddStream(videoOutput.Get(), &videoStreamIndex))) {
      return false;
    }
  }
  {
    ComPtr<IMFMediaType> videoInput = CreateMediaType({
        {MF_MT_MAJOR_TYPE, MFMediaType_Video},
        {MF_MT_SUBTYPE, MFVideoFormat_NV12},
        frameSize,
        frameRate,
        squarePixels,
        {MF_MT_DEFAULT_STRIDE, pitch},
        {MF_MT_FIXED_SIZE_SAMPLES, UINT32{1}},
        {MF_MT_SAMPLE_SIZE, pitch * (h + h / 2)},
        {MF_MT_ALL_SAMPLES_INDEPENDENT, UINT32{1}},
    });
    if (!videoInput) {
      return false;
    }
    const ComPtr<IMFAttributes> encoding = VideoEncodingParameters(fps);
    if (FAILED(writer->SetInputMediaType(videoStreamIndex, videoInput.Get(), encoding.Get()))) {
      return false;
    }
  }

  videoHeight = evenHeight;
  sinkWriter = std::move(writer);
  videoWidth = evenWidth;
  rowPitch = pitch;
  audioStreamPresent = false;
  audioStreamIndex = 0;

  if (withAudio) {
    bool audioReady = audioEnabled;
    if (audioReady) {
      ComPtr<IMFMediaType> audioOutput = CreateMediaType({
          {MF_MT_MAJOR_TYPE, MFMediaType_Audio},
          {MF_MT_SUBTYPE, MFAudioFormat_AAC},
          {MF_MT_AUDIO_NUM_CHANNELS, kAudioChannels},
          {MF_MT_AUDIO_SAMPLES_PER_SECOND, static_cast<UINT32>(kRecordingSampleRate)},
          {MF_MT_AUDIO_BITS_PER_SAMPLE, kAudioBitsPerSample},
          {MF_MT_AUDIO_AVG_BYTES_PER_SECOND, kAacBytesPerSecond},
          {MF_MT_AAC_PAYLOAD_TYPE, kAacRawPayload},
      });
      audioReady = static_cast<bool>(audioOutput);
      if (audioReady && FAILED(sinkWriter->AddStream(audioOutput.Get(), &audioStreamIndex))) {
        audioStreamIndex = 0;
        audioReady = false;
      }
    }
    if (audioReady) {
      ComPtr<IMFMediaType> audioInput = CreateMediaType({
          {MF_MT_MAJOR_TYPE, MFMediaType_Audio},
          {MF_MT_SUBTYPE, MFAudioFormat_PCM},
          {MF_MT_AUDIO_NUM_CHANNELS, kAudioChannels},
          {MF_MT_AUDIO_SAMPLES_PER_SECOND, static_cast<UINT32>(kRecordingSampleRate)},
          {MF_MT_AUDIO_BITS_PER_SAMPLE, kAudioBitsPerSample},
          {MF_MT_AUDIO_BLOCK_ALIGNMENT, kAudioBlockAlignment},
          {MF_MT_AUDIO_AVG_BYTES_PER_SECOND,
           static_cast<UINT32>(kRecordingSampleRate) * kAudioBlockAlignment},
      });
      audioReady = static_cast<bool>(audioInput);
      if (audioReady) {
        audioStreamPresent =
            SUCCEEDED(sinkWriter->SetInputMediaType(audioStreamIndex, audioInput.Get(), nullptr));
        audioReady = audioStreamPresent;
      }
    }
    if (!audioReady) {
      // The caller retries without audio, so this writer is discarded unfinished.
      sinkWriter.Reset();
      rowPitch = 0;
      return false;
    }
  }

  if (FAILED(sinkWriter->BeginWriting())) {
    sinkWriter.Reset();
    audioStreamPresent = false;
    rowPitch = 0;
    return false;
  }
  writingBegun = true;
  return true;
}

}  // namespace halvex
