// The stand-in's sink writer: checks each call as Media Foundation does, records what it accepts
// and hands it to the installed backend.
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "com_object.h"
#include "fault_injection.h"
#include "mf_attribute_store.h"
#include "mf_platform.h"
#include "mf_sample.h"
#include "mf_sink_writer_backend.h"
#include "mf_sink_writer_records.h"

namespace halvex::platform {
namespace {

using testing::AttributeList;
using testing::FindGUID;
using testing::RecordedSample;
using testing::RecordedSinkWriter;

// The encoders the writer has: each output subtype and the input subtypes it encodes from.
struct Encoder {
  const GUID* major_type;
  const GUID* output_subtype;
  const GUID* input_subtype;
};

constexpr Encoder kEncoders[] = {
    {&MFMediaType_Video, &MFVideoFormat_H264, &MFVideoFormat_NV12},
    {&MFMediaType_Audio, &MFAudioFormat_AAC, &MFAudioFormat_PCM},
};

bool IsEncodableOutput(const AttributeList& type) {
  const std::optional<GUID> major = FindGUID(type, MF_MT_MAJOR_TYPE);
  const std::optional<GUID> subtype = FindGUID(type, MF_MT_SUBTYPE);
  return major && subtype &&
         std::any_of(std::begin(kEncoders), std::end(kEncoders), [&](const Encoder& encoder) {
           return *major == *encoder.major_type && *subtype == *encoder.output_subtype;
         });
}

bool CanEncode(const AttributeList& input, const AttributeList& output) {
  const std::optional<GUID> input_major = FindGUID(input, MF_MT_MAJOR_TYPE);
  const std::optional<GUID> input_subtype = FindGUID(input, MF_MT_SUBTYPE);
  const std::optional<GUID> output_major = FindGUID(output, MF_MT_MAJOR_TYPE);
  const std::optional<GUID> output_subtype = FindGUID(output, MF_MT_SUBTYPE);
  if (!input_major || !input_subtype || !output_major || !output_subtype ||
      *input_major != *output_major) {
    return false;
  }
  return std::any_of(std::begin(kEncoders), std::end(kEncoders), [&](const Encoder& encoder) {
    return *output_subtype == *encoder.output_subtype && *input_subtype == *encoder.input_subtype;
  });
}

// Without an explicit container type, the writer picks the container from the file extension.
bool HasKnownContainerExtension(const std::wstring& url) {
  static const wchar_t* const kExtensions[] = {L".mp4", L".m4v",  L".m4a", L".mov", L".3gp",
                                               L".3g2", L".asf",  L".wmv", L".wma", L".mp3",
                                               L".aac", L".adts", L".wav", L".avi"};
  const std::size_t name_start = url.find_last_of(L"\\/");
  const std::size_t dot = url.find_last_of(L'.');
  if (dot == std::wstring::npos || (name_start != std::wstring::npos && dot < name_start)) {
    return false;
  }
  std::wstring extension = url.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
  return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                     [&](const wchar_t* known) { return extension == known; });
}

class SinkWriter final : public ComObject<SinkWriter, IMFSinkWriter> {
 public:
  SinkWriter(SinkWriterRecord record, std::unique_ptr<SinkWriterBackend> backend)
      : record_(std::move(record)), backend_(std::move(backend)) {}

  ~SinkWriter() override {
    UpdateSinkWriterRecord(record_, [](RecordedSinkWriter& record) { record.alive = false; });
  }

  HRESULT STDMETHODCALLTYPE AddStream(IMFMediaType* pTargetMediaType,
                                      DWORD* pdwStreamIndex) override {
    HALVEX_RETURN_IF_FAULT("IMFSinkWriter::AddStream");
    if (pTargetMediaType == nullptr || pdwStreamIndex == nullptr) {
      return E_INVALIDARG;
    }
    std::optional<AttributeList> output = SnapshotOf(pTargetMediaType);
    std::lock_guard<std::mutex> lock(mutex_);
    if (begun_ || finalized_) {
      return MF_E_INVALIDREQUEST;
    }
    if (!output || !IsEncodableOutput(*output)) {
      return MF_E_INVALIDMEDIATYPE;
    }
    const DWORD index = static_cast<DWORD>(streams_.size());
    if (backend_) {
      const HRESULT hr = backend_->AddStream(index, *output);
      if (FAILED(hr)) {
        return hr;
      }
    }
    streams_.push_back(Stream{*output, std::nullopt});
    UpdateSinkWriterRecord(record_, [&](RecordedSinkWriter& record) {
      record.streams.push_back(
          testing::RecordedStream{std::move(*output), std::nullopt, std::nullopt});
    });
    *pdwStreamIndex = index;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetInputMediaType(DWORD dwStreamIndex,
                                              IMFMediaType* pInputMediaType,
                                              IMFAttributes* pEncodingParameters) override {
    HALVEX_RETURN_IF_FAULT("IMFSinkWriter::SetInputMediaType");
    if (pInputMediaType == nullptr) {
      return E_INVALIDARG;
    }
    std::optional<AttributeList> input = SnapshotOf(pInputMediaType);
    std::optional<AttributeList> parameters;
    if (pEncodingParameters != nullptr) {
      parameters = SnapshotOf(pEncodingParameters);
      if (!parameters) {
        return E_INVALIDARG;
      }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (dwStreamIndex >= streams_.size()) {
      return MF_E_INVALIDSTREAMNUMBER;
    }
    if (begun_ || finalized_) {
      return MF_E_INVALIDREQUEST;
    }
    Stream& stream = streams_[dwStreamIndex];
    if (!input || !CanEncode(*input, stream.output)) {
      return MF_E_INVALIDMEDIATYPE;
    }
    if (backend_) {
      const HRESULT hr =
          backend_->SetInputType(dwStreamIndex, *input, parameters ? &*parameters : nullptr);
      if (FAILED(hr)) {
        return hr;
      }
    }
    stream.input = *input;
    UpdateSinkWriterRecord(record_, [&](RecordedSinkWriter& record) {
      record.streams[dwStreamIndex].input_type = std::move(*input);
      record.streams[dwStreamIndex].encoding_parameters = std::move(parameters);
    });
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE BeginWriting() override {
    HALVEX_RETURN_IF_FAULT("IMFSinkWriter::BeginWriting");
    std::lock_guard<std::mutex> lock(mutex_);
    const bool every_stream_has_input =
        std::all_of(streams_.begin(), streams_.end(),
                    [](const Stream& stream) { return stream.input.has_value(); });
    if (begun_ || finalized_ || streams_.empty() || !every_stream_has_input) {
      return MF_E_INVALIDREQUEST;
    }
    if (backend_) {
      const HRESULT hr = backend_->BeginWriting();
      if (FAILED(hr)) {
        return hr;
      }
    }
    begun_ = true;
    UpdateSinkWriterRecord(record_,
                           [](RecordedSinkWriter& record) { record.writing_begun = true; });
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE WriteSample(DWORD dwStreamIndex, IMFSample* pSample) override {
    HALVEX_RETURN_IF_FAULT("IMFSinkWriter::WriteSample");
    std::lock_guard<std::mutex> lock(mutex_);
    if (!begun_ || finalized_) {
      return MF_E_INVALIDREQUEST;
    }
    if (dwStreamIndex >= streams_.size()) {
      return MF_E_INVALIDSTREAMNUMBER;
    }
    const auto* sample = dynamic_cast<const Sample*>(pSample);
    if (sample == nullptr) {
      return E_INVALIDARG;
    }
    const bool keep_bytes = KeepsSampleBytes();
    SampleContent content = sample->Content(keep_bytes);
    if (!content.time) {
      return MF_E_NO_SAMPLE_TIMESTAMP;
    }
    if (backend_) {
      const HRESULT hr = backend_->WriteSample(dwStreamIndex, sample->Data());
      if (FAILED(hr)) {
        return hr;
      }
    }
    RecordedSample recorded{dwStreamIndex, *content.time, content.duration, content.length, {}};
    if (keep_bytes) {
      recorded.bytes = std::move(content.bytes);
    }
    UpdateSinkWriterRecord(record_, [&](RecordedSinkWriter& record) {
      record.samples.push_back(std::move(recorded));
    });
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Finalize() override {
    // Every call is recorded with its answer, an injected failure included.
    HRESULT hr = CheckFault("IMFSinkWriter::Finalize").value_or(S_OK);
    if (SUCCEEDED(hr)) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!begun_ || finalized_) {
        hr = MF_E_INVALIDREQUEST;
      } else {
        finalized_ = true;
        if (backend_) {
          hr = backend_->Finalize();
        }
      }
    }
    UpdateSinkWriterRecord(
        record_, [hr](RecordedSinkWriter& record) { record.finalize_results.push_back(hr); });
    return hr;
  }

 private:
  struct Stream {
    AttributeList output;
    std::optional<AttributeList> input;
  };

  std::mutex mutex_;
  const SinkWriterRecord record_;
  const std::unique_ptr<SinkWriterBackend> backend_;
  std::vector<Stream> streams_;
  bool begun_ = false;
  bool finalized_ = false;
};

}  // namespace
}  // namespace halvex::platform

HRESULT WINAPI MFCreateSinkWriterFromURL(LPCWSTR pwszOutputURL,
                                         IMFByteStream* pByteStream,
                                         IMFAttributes* pAttributes,
                                         IMFSinkWriter** ppSinkWriter) {
  namespace platform = halvex::platform;
  if (ppSinkWriter == nullptr) {
    return E_POINTER;
  }
  *ppSinkWriter = nullptr;
  HALVEX_RETURN_IF_FAULT("MFCreateSinkWriterFromURL");
  if (!platform::IsMediaFoundationStarted()) {
    return MF_E_PLATFORM_NOT_INITIALIZED;
  }
  if (pByteStream != nullptr) {
    return E_NOTIMPL;  // The stand-in writes to URLs only.
  }
  if (pwszOutputURL == nullptr) {
    return E_INVALIDARG;
  }
  std::optional<platform::AttributeList> attributes;
  if (pAttributes != nullptr) {
    attributes = platform::SnapshotOf(pAttributes);
    if (!attributes) {
      return E_INVALIDARG;
    }
  }
  const std::wstring url(pwszOutputURL);
  const bool container_given =
      attributes && halvex::testing::FindGUID(*attributes, MF_TRANSCODE_CONTAINERTYPE);
  if (!container_given && !platform::HasKnownContainerExtension(url)) {
    return MF_E_UNSUPPORTED_BYTESTREAM_TYPE;
  }
  // No file can be made at an empty path, whatever container is asked for.
  if (url.empty()) {
    return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  }
  std::unique_ptr<platform::SinkWriterBackend> backend;
  const HRESULT hr =
      platform::MakeSinkWriterBackend(url, attributes ? &*attributes : nullptr, &backend);
  if (FAILED(hr)) {
    return hr;
  }
  halvex::testing::RecordedSinkWriter initial;
  initial.url = url;
  initial.attributes = attributes;
  platform::SinkWriterRecord record = platform::AddSinkWriterRecord(std::move(initial));
  *ppSinkWriter = platform::SinkWriter::Create(record, std::move(backend));
  if (*ppSinkWriter == nullptr) {
    platform::UpdateSinkWriterRecord(
        record, [](halvex::testing::RecordedSinkWriter& failed) { failed.alive = false; });
    return E_OUTOFMEMORY;
  }
  return S_OK;
}
