#include "media_mf_mp4_backend.h"

#include <codecapi.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>

#include <limits>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "media_mp4_writer.h"
#include "win32_text.h"

namespace halvex::platform {
namespace {

using media::Mp4AudioFormat;
using media::Mp4Error;
using media::Mp4VideoFormat;
using media::Mp4Writer;
using testing::AttributeList;
using testing::FindGUID;
using testing::FindUINT32;
using testing::FindUINT64;

constexpr HRESULT kPathNotFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
constexpr HRESULT kDiskFull = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
constexpr HRESULT kWriteFault = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
constexpr LONGLONG kTicksPerSecond = 10000000;

HRESULT ToHresult(Mp4Error error) {
  switch (error) {
    case Mp4Error::kNone:
      return S_OK;
    case Mp4Error::kUnsupportedContainer:
      return MF_E_UNSUPPORTED_BYTESTREAM_TYPE;
    case Mp4Error::kFolderNotFound:
      return kPathNotFound;
    case Mp4Error::kAccessDenied:
      return E_ACCESSDENIED;
    case Mp4Error::kCannotCreateFile:
      return E_FAIL;
    case Mp4Error::kInvalidStream:
      return MF_E_INVALIDSTREAMNUMBER;
    case Mp4Error::kInvalidFormat:
      return MF_E_INVALIDMEDIATYPE;
    case Mp4Error::kInvalidState:
      return MF_E_INVALIDREQUEST;
    case Mp4Error::kInvalidSample:
      return E_INVALIDARG;
    case Mp4Error::kEncoderUnavailable:
      return MF_E_INVALIDMEDIATYPE;
    case Mp4Error::kEncodingFailed:
      return E_FAIL;
    case Mp4Error::kDiskFull:
      return kDiskFull;
    case Mp4Error::kWriteFailed:
      return kWriteFault;
    case Mp4Error::kOutOfMemory:
      return E_OUTOFMEMORY;
  }
  return E_FAIL;
}

// The two halves of a packed UINT64 attribute (frame size, frame rate).
std::optional<std::pair<UINT32, UINT32>> FindPair(const AttributeList& type, REFGUID key) {
  const std::optional<UINT64> value = FindUINT64(type, key);
  if (!value) {
    return std::nullopt;
  }
  return std::make_pair(static_cast<UINT32>(*value >> 32), static_cast<UINT32>(*value));
}

struct StreamPlan {
  bool video = false;
  Mp4VideoFormat video_format;
  Mp4AudioFormat audio_format;
  UINT32 pitch = 0;  // NV12 row pitch, from the input type
};

class Mp4SinkWriterBackend final : public SinkWriterBackend {
 public:
  explicit Mp4SinkWriterBackend(std::unique_ptr<Mp4Writer> writer) : writer_(std::move(writer)) {}

  HRESULT AddStream(DWORD stream_index, const AttributeList& output_type) override {
    StreamPlan plan;
    const std::optional<GUID> subtype = FindGUID(output_type, MF_MT_SUBTYPE);
    if (subtype && *subtype == MFVideoFormat_H264) {
      const auto size = FindPair(output_type, MF_MT_FRAME_SIZE);
      const auto rate = FindPair(output_type, MF_MT_FRAME_RATE);
      if (!size || !rate) {
        return MF_E_INVALIDMEDIATYPE;
      }
      plan.video = true;
      plan.video_format.width = size->first;
      plan.video_format.height = size->second;
      plan.video_format.frame_rate_numerator = rate->first;
      plan.video_format.frame_rate_denominator = rate->second;
      plan.video_format.bit_rate = FindUINT32(output_type, MF_MT_AVG_BITRATE).value_or(0);
    } else if (subtype && *subtype == MFAudioFormat_AAC) {
      const auto channels = FindUINT32(output_type, MF_MT_AUDIO_NUM_CHANNELS);
      const auto rate = FindUINT32(output_type, MF_MT_AUDIO_SAMPLES_PER_SECOND);
      if (!channels || !rate) {
        return MF_E_INVALIDMEDIATYPE;
      }
      plan.audio_format.channels = *channels;
      plan.audio_format.sample_rate = *rate;
      plan.audio_format.bytes_per_second =
          FindUINT32(output_type, MF_MT_AUDIO_AVG_BYTES_PER_SECOND).value_or(24000);
    } else {
      return MF_E_INVALIDMEDIATYPE;
    }
    std::uint32_t index = 0;
    const Mp4Error error = plan.video ? writer_->AddVideoStream(plan.video_format, &index)
                                      : writer_->AddAudioStream(plan.audio_format, &index);
    if (error != Mp4Error::kNone) {
      return ToHresult(error);
    }
    if (index != stream_index) {
      return MF_E_UNEXPECTED;
    }
    streams_.push_back(plan);
    return S_OK;
  }

  HRESULT SetInputType(DWORD stream_index,
                       const AttributeList& input_type,
                       const AttributeList* encoding_parameters) override {
    if (stream_index >= streams_.size()) {
      return MF_E_INVALIDSTREAMNUMBER;
    }
    StreamPlan& plan = streams_[stream_index];
    if (plan.video) {
      // The encoder does not scale: the pictures come at the stream's size.
      const auto size = FindPair(input_type, MF_MT_FRAME_SIZE);
      if (!size || size->first != plan.video_format.width ||
          size->second != plan.video_format.height) {
        return MF_E_INVALIDMEDIATYPE;
      }
      // A negative stride (bottom-up rows) has no meaning for NV12.
      const UINT32 stride = FindUINT32(input_type, MF_MT_DEFAULT_STRIDE).value_or(size->first);
      if (static_cast<INT32>(stride) < static_cast<INT32>(size->first)) {
        return MF_E_INVALIDMEDIATYPE;
      }
      plan.pitch = stride;
      // The encoder honours a key-frame interval given with the type.
      if (encoding_parameters != nullptr) {
        const std::optional<UINT32> interval =
            FindUINT32(*encoding_parameters, CODECAPI_AVEncMPVGOPSize);
        if (interval) {
          return ToHresult(writer_->SetKeyFrameInterval(stream_index, *interval));
        }
      }
      return S_OK;
    }
    const auto channels = FindUINT32(input_type, MF_MT_AUDIO_NUM_CHANNELS);
    const auto rate = FindUINT32(input_type, MF_MT_AUDIO_SAMPLES_PER_SECOND);
    const auto bits = FindUINT32(input_type, MF_MT_AUDIO_BITS_PER_SAMPLE);
    // The encoder takes 16-bit samples at the track's own rate and channel count.
    if (channels != plan.audio_format.channels || rate != plan.audio_format.sample_rate ||
        bits != 16u) {
      return MF_E_INVALIDMEDIATYPE;
    }
    return S_OK;
  }

  HRESULT BeginWriting() override { return ToHresult(writer_->Begin()); }

  HRESULT WriteSample(DWORD stream_index, const SampleData& sample) override {
    if (stream_index >= streams_.size()) {
      return MF_E_INVALIDSTREAMNUMBER;
    }
    const StreamPlan& plan = streams_[stream_index];
    if (plan.video) {
      media::Nv12Picture picture;
      picture.data = sample.data;
      picture.size = sample.size;
      picture.pitch = plan.pitch;
      picture.owner = sample.owner;
      // A picture without a duration lasts one frame of the declared rate.
      const LONGLONG duration =
          sample.duration.value_or(kTicksPerSecond * plan.video_format.frame_rate_denominator /
                                   plan.video_format.frame_rate_numerator);
      return ToHresult(
          writer_->WriteVideo(stream_index, std::move(picture), sample.time, duration));
    }
    const std::size_t frame_bytes = std::size_t{2} * plan.audio_format.channels;
    if (sample.size % frame_bytes != 0) {
      return E_INVALIDARG;
    }
    return ToHresult(writer_->WriteAudio(stream_index,
                                         reinterpret_cast<const std::int16_t*>(sample.data),
                                         sample.size / frame_bytes, sample.time));
  }

  HRESULT Finalize() override { return ToHresult(writer_->Finalize()); }

 private:
  const std::unique_ptr<Mp4Writer> writer_;
  std::vector<StreamPlan> streams_;
};

}  // namespace

HRESULT MakeMp4SinkWriterBackend(const std::wstring& url,
                                 const testing::AttributeList* attributes,
                                 std::unique_ptr<SinkWriterBackend>* backend) {
  backend->reset();
  // A container type given wins over the file name's extension.
  media::Mp4Layout layout = media::Mp4Layout::kPlain;
  bool container_given = false;
  if (attributes != nullptr) {
    if (const std::optional<GUID> container = FindGUID(*attributes, MF_TRANSCODE_CONTAINERTYPE)) {
      if (*container == MFTranscodeContainerType_FMPEG4) {
        layout = media::Mp4Layout::kFragmented;
      } else if (*container != MFTranscodeContainerType_MPEG4) {
        return MF_E_UNSUPPORTED_BYTESTREAM_TYPE;
      }
      container_given = true;
    }
  }
  std::unique_ptr<Mp4Writer> writer;
  const Mp4Error error =
      Mp4Writer::Create(win32::Utf16ToUtf8(url), layout, container_given, &writer);
  if (error != Mp4Error::kNone) {
    return ToHresult(error);
  }
  backend->reset(new (std::nothrow) Mp4SinkWriterBackend(std::move(writer)));
  return *backend ? S_OK : E_OUTOFMEMORY;
}

}  // namespace halvex::platform
