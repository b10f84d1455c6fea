// The sink writer's rules: start-up, creation, the order of set-up calls, sample writing and
// finalisation, the record tests read, and the backend behind it.
#include <gtest/gtest.h>

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "com_test_support.h"
#include "mf_sink_writer_backend.h"

namespace {

using halvex::test::Owned;
using halvex::test::StandInTest;
using halvex::testing::FindGUID;
using halvex::testing::FindUINT32;
using halvex::testing::RecordedSinkWriter;

Owned<IMFMediaType> MakeType(const GUID& major, const GUID& subtype) {
  Owned<IMFMediaType> type;
  EXPECT_EQ(MFCreateMediaType(type.Put()), S_OK);
  type->SetGUID(MF_MT_MAJOR_TYPE, major);
  type->SetGUID(MF_MT_SUBTYPE, subtype);
  return type;
}

Owned<IMFSample> MakeSample(LONGLONG time, const std::vector<BYTE>& bytes, bool timed = true) {
  Owned<IMFSample> sample;
  EXPECT_EQ(MFCreateSample(sample.Put()), S_OK);
  Owned<IMFMediaBuffer> buffer;
  EXPECT_EQ(MFCreateMemoryBuffer(static_cast<DWORD>(bytes.size()) + 4, buffer.Put()), S_OK);
  BYTE* data = nullptr;
  EXPECT_EQ(buffer->Lock(&data, nullptr, nullptr), S_OK);
  std::copy(bytes.begin(), bytes.end(), data);
  buffer->Unlock();
  buffer->SetCurrentLength(static_cast<DWORD>(bytes.size()));
  sample->AddBuffer(buffer.get());
  if (timed) {
    sample->SetSampleTime(time);
    sample->SetSampleDuration(100);
  }
  return sample;
}

Owned<IMFSinkWriter> MakeWriter(const wchar_t* url = L"C:\\clips\\out.mp4") {
  Owned<IMFSinkWriter> writer;
  EXPECT_EQ(MFCreateSinkWriterFromURL(url, nullptr, nullptr, writer.Put()), S_OK);
  return writer;
}

TEST_F(StandInTest, StartupChecksTheVersionAndFlags) {
  const struct {
    ULONG version;
    DWORD flags;
    HRESULT expected;
  } cases[] = {
      {MF_VERSION, MFSTARTUP_FULL, S_OK},
      {MF_VERSION, MFSTARTUP_LITE, S_OK},
      {0x10070, MFSTARTUP_FULL, MF_E_BAD_STARTUP_VERSION},
      {MF_VERSION + 1, MFSTARTUP_FULL, MF_E_BAD_STARTUP_VERSION},
      {MF_VERSION, 0x4, E_INVALIDARG},
  };
  halvex::testing::ResetMediaFoundation();
  for (const auto& c : cases) {
    const HRESULT result = MFStartup(c.version, c.flags);
    EXPECT_EQ(result, c.expected) << std::hex << c.version << " " << c.flags;
    if (SUCCEEDED(result)) {
      MFShutdown();
    }
  }
  EXPECT_EQ(halvex::testing::MFStartupCalls(), 5);
  EXPECT_TRUE(halvex::testing::MediaFoundationStarted());  // The fixture's start-up remains.
}

TEST_F(StandInTest, WriterCreationNeedsStartupAPathAndAKnownContainer) {
  Owned<IMFAttributes> container;
  ASSERT_EQ(MFCreateAttributes(container.Put(), 1), S_OK);
  container->SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_MPEG4);
  int byte_stream_stand_in = 0;
  const struct {
    const wchar_t* url;
    IMFByteStream* byte_stream;
    IMFAttributes* attributes;
    HRESULT expected;
  } cases[] = {
      {L"C:\\clips\\out.mp4", nullptr, nullptr, S_OK},
      {L"C:\\clips\\OUT.MP4", nullptr, nullptr, S_OK},
      {L"relative.m4a", nullptr, nullptr, S_OK},
      {L"C:\\clips.v2\\out", nullptr, nullptr, MF_E_UNSUPPORTED_BYTESTREAM_TYPE},
      {L"C:\\clips.v2\\out", nullptr, container.get(), S_OK},
      {L"notes.txt", nullptr, nullptr, MF_E_UNSUPPORTED_BYTESTREAM_TYPE},
      {L"", nullptr, nullptr, MF_E_UNSUPPORTED_BYTESTREAM_TYPE},
      {L"", nullptr, container.get(), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
      {nullptr, nullptr, nullptr, E_INVALIDARG},
      {L"out.mp4", reinterpret_cast<IMFByteStream*>(&byte_stream_stand_in), nullptr, E_NOTIMPL},
  };
  for (const auto& c : cases) {
    Owned<IMFSinkWriter> writer;
    EXPECT_EQ(MFCreateSinkWriterFromURL(c.url, c.byte_stream, c.attributes, writer.Put()),
              c.expected)
        << (c.url == nullptr ? L"(null)" : c.url);
    EXPECT_EQ(static_cast<bool>(writer), SUCCEEDED(c.expected));
  }
  EXPECT_EQ(halvex::testing::SinkWriterCount(), 4u);

  while (halvex::testing::MediaFoundationStarted()) {
    MFShutdown();
  }
  Owned<IMFSinkWriter> writer;
  EXPECT_EQ(MFCreateSinkWriterFromURL(L"out.mp4", nullptr, nullptr, writer.Put()),
            MF_E_PLATFORM_NOT_INITIALIZED);
  ASSERT_EQ(MFStartup(MF_VERSION), S_OK);
}

enum class Op {
  kAddVideo,
  kAddAudio,
  kAddNv12Output,
  kSetInput,
  kBegin,
  kWrite,
  kWriteUntimed,
  kFinalize
};

struct Step {
  Op op;
  DWORD stream;
  const GUID* input_subtype;  // for kSetInput
  HRESULT expected;
};

struct StateCase {
  const char* name;
  std::vector<Step> steps;
};

void PrintTo(const StateCase& test_case, std::ostream* out) {
  *out << test_case.name;
}

class WriterStateRules : public StandInTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(WriterStateRules, AnswerEachCallInTurn) {
  Owned<IMFSinkWriter> writer = MakeWriter();
  std::vector<HRESULT> finalize_results;
  for (std::size_t i = 0; i < GetParam().steps.size(); ++i) {
    const Step& step = GetParam().steps[i];
    HRESULT result = E_UNEXPECTED;
    DWORD index = 99;
    switch (step.op) {
      case Op::kAddVideo:
        result = writer->AddStream(MakeType(MFMediaType_Video, MFVideoFormat_H264).get(), &index);
        break;
      case Op::kAddAudio:
        result = writer->AddStream(MakeType(MFMediaType_Audio, MFAudioFormat_AAC).get(), &index);
        break;
      case Op::kAddNv12Output:
        result = writer->AddStream(MakeType(MFMediaType_Video, MFVideoFormat_NV12).get(), &index);
        break;
      case Op::kSetInput: {
        const GUID& major =
            *step.input_subtype == MFAudioFormat_PCM || *step.input_subtype == MFAudioFormat_Float
                ? MFMediaType_Audio
                : MFMediaType_Video;
        result = writer->SetInputMediaType(step.stream, MakeType(major, *step.input_subtype).get(),
                                           nullptr);
        break;
      }
      case Op::kBegin:
        result = writer->BeginWriting();
        break;
      case Op::kWrite:
        result = writer->WriteSample(step.stream, MakeSample(0, {1, 2}).get());
        break;
      case Op::kWriteUntimed:
        result = writer->WriteSample(step.stream, MakeSample(0, {1, 2}, false).get());
        break;
      case Op::kFinalize:
        result = writer->Finalize();
        finalize_results.push_back(result);
        break;
    }
    EXPECT_EQ(result, step.expected) << "step " << i;
    if ((step.op == Op::kAddVideo || step.op == Op::kAddAudio) && SUCCEEDED(result)) {
      EXPECT_EQ(index, step.stream) << "step " << i;
    }
  }
  const std::vector<RecordedSinkWriter> writers = halvex::testing::SinkWriters();
  ASSERT_EQ(writers.size(), 1u);
  EXPECT_EQ(writers[0].finalize_results, finalize_results);
}

const GUID* const kNv12 = &MFVideoFormat_NV12;
const GUID* const kPcm = &MFAudioFormat_PCM;

INSTANTIATE_TEST_SUITE_P(
    MediaFoundation,
    WriterStateRules,
    ::testing::Values(
        StateCase{"VideoAndAudioInOrder",
                  {{Op::kAddVideo, 0, nullptr, S_OK},
                   {Op::kAddAudio, 1, nullptr, S_OK},
                   {Op::kSetInput, 0, kNv12, S_OK},
                   {Op::kSetInput, 1, kPcm, S_OK},
                   {Op::kBegin, 0, nullptr, S_OK},
                   {Op::kWrite, 1, nullptr, S_OK},
                   {Op::kWrite, 0, nullptr, S_OK},
                   {Op::kFinalize, 0, nullptr, S_OK}}},
        StateCase{"WriteBeforeBegin",
                  {{Op::kAddVideo, 0, nullptr, S_OK},
                   {Op::kSetInput, 0, kNv12, S_OK},
                   {Op::kWrite, 0, nullptr, MF_E_INVALIDREQUEST}}},
        StateCase{"BeginWithoutInputType",
                  {{Op::kAddVideo, 0, nullptr, S_OK},
                   {Op::kAddAudio, 1, nullptr, S_OK},
                   {Op::kSetInput, 0, kNv12, S_OK},
                   {Op::kBegin, 0, nullptr, MF_E_INVALIDREQUEST},
                   {Op::kFinalize, 0, nullptr, MF_E_INVALIDREQUEST}}},
        StateCase{"BeginWithoutStreams", {{Op::kBegin, 0, nullptr, MF_E_INVALIDREQUEST}}},
        StateCase{"WrongInputSubtypes",
                  {{Op::kAddVideo, 0, nullptr, S_OK},
                   {Op::kAddAudio, 1, nullptr, S_OK},
                   {Op::kSetInput, 0, &MFVideoFormat_RGB32, MF_E_INVALIDMEDIATYPE},
                   {Op::kSetInput, 0, &MFVideoFormat_H264, MF_E_INVALIDMEDIATYPE},
                   {Op::kSetInput, 1, &MFAudioFormat_Float, MF_E_INVALIDMEDIATYPE},
                   {Op::kSetInput, 1, kNv12, MF_E_INVALIDMEDIATYPE},
                   {Op::kSetInput, 0, kPcm, MF_E_INVALIDMEDIATYPE},
                   {Op::kBegin, 0, nullptr, MF_E_INVALIDREQUEST}}},
        StateCase{"UnencodableOutput", {{Op::kAddNv12Output, 0, nullptr, MF_E_INVALIDMEDIATYPE}}},
        StateCase{"BadStreamIndex",
                  {{Op::kAddVideo, 0, nullptr, S_OK},
                   {Op::kSetInput, 1, kNv12, MF_E_INVALIDSTREAMNUMBER},
                   {Op::kSetInput, 0, kNv12, S_OK},
                   {Op::kBegin, 0, nullptr, S_OK},
                   {Op::kWrite, 1, nullptr, MF_E_INVALIDSTREAMNUMBER},
                   {Op::kWrite, MF_SINK_WRITER_ALL_STREAMS, nullptr, MF_E_INVALIDSTREAMNUMBER}}},
        StateCase{"FinalizeTwiceAndWriteAfter",
                  {{Op::kAddVideo, 0, nullptr, S_OK},
                   {Op::kSetInput, 0, kNv12, S_OK},
                   {Op::kBegin, 0, nullptr, S_OK},
                   {Op::kFinalize, 0, nullptr, S_OK},
                   {Op::kFinalize, 0, nullptr, MF_E_INVALIDREQUEST},
                   {Op::kWrite, 0, nullptr, MF_E_INVALIDREQUEST}}},
        StateCase{"NoSetUpOnceWritingHasBegun",
                  {{Op::kAddVideo, 0, nullptr, S_OK},
                   {Op::kSetInput, 0, kNv12, S_OK},
                   {Op::kBegin, 0, nullptr, S_OK},
                   {Op::kBegin, 0, nullptr, MF_E_INVALIDREQUEST},
                   {Op::kAddAudio, 1, nullptr, MF_E_INVALIDREQUEST},
                   {Op::kSetInput, 0, kNv12, MF_E_INVALIDREQUEST}}},
        StateCase{"SampleWithoutTime",
                  {{Op::kAddVideo, 0, nullptr, S_OK},
                   {Op::kSetInput, 0, kNv12, S_OK},
                   {Op::kBegin, 0, nullptr, S_OK},
                   {Op::kWriteUntimed, 0, nullptr, MF_E_NO_SAMPLE_TIMESTAMP}}}),
    [](const ::testing::TestParamInfo<StateCase>& case_info) { return case_info.param.name; });

TEST_F(StandInTest, RecordHoldsTypesInOrderAndSamplesWithTheirBytes) {
  Owned<IMFAttributes> attributes;
  ASSERT_EQ(MFCreateAttributes(attributes.Put(), 2), S_OK);
  attributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, 0);
  attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, 1);
  Owned<IMFSinkWriter> writer;
  ASSERT_EQ(MFCreateSinkWriterFromURL(L"C:\\clips\\a.mp4", nullptr, attributes.get(), writer.Put()),
            S_OK);
  attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, 0);  // After creation: not recorded.

  DWORD video = 0;
  Owned<IMFMediaType> output = MakeType(MFMediaType_Video, MFVideoFormat_H264);
  MFSetAttributeSize(output.get(), MF_MT_FRAME_SIZE, 640, 480);
  ASSERT_EQ(writer->AddStream(output.get(), &video), S_OK);
  output->SetUINT32(MF_MT_AVG_BITRATE, 1);  // The writer took a copy.
  ASSERT_EQ(writer->SetInputMediaType(video, MakeType(MFMediaType_Video, MFVideoFormat_NV12).get(),
                                      nullptr),
            S_OK);
  ASSERT_EQ(writer->BeginWriting(), S_OK);

  Owned<IMFSample> sample = MakeSample(333333, {9, 8, 7});
  Owned<IMFMediaBuffer> second;
  ASSERT_EQ(MFCreateMemoryBuffer(4, second.Put()), S_OK);
  BYTE* data = nullptr;
  second->Lock(&data, nullptr, nullptr);
  data[0] = 6;
  data[1] = 5;
  second->Unlock();
  second->SetCurrentLength(1);
  sample->AddBuffer(second.get());
  ASSERT_EQ(writer->WriteSample(video, sample.get()), S_OK);
  halvex::testing::KeepSampleBytes(false);
  ASSERT_EQ(writer->WriteSample(video, MakeSample(666666, {1, 2, 3, 4}).get()), S_OK);
  ASSERT_EQ(writer->Finalize(), S_OK);

  std::vector<RecordedSinkWriter> writers = halvex::testing::SinkWriters();
  ASSERT_EQ(writers.size(), 1u);
  const RecordedSinkWriter& record = writers[0];
  EXPECT_EQ(record.url, L"C:\\clips\\a.mp4");
  ASSERT_TRUE(record.attributes.has_value());
  ASSERT_EQ(record.attributes->size(), 2u);
  EXPECT_EQ((*record.attributes)[0].key, MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS);
  EXPECT_EQ(FindUINT32(*record.attributes, MF_SINK_WRITER_DISABLE_THROTTLING), 1u);
  ASSERT_EQ(record.streams.size(), 1u);
  EXPECT_EQ(record.streams[0].output_type.size(), 3u);
  EXPECT_EQ(FindGUID(record.streams[0].output_type, MF_MT_SUBTYPE), MFVideoFormat_H264);
  EXPECT_EQ(FindUINT32(record.streams[0].output_type, MF_MT_AVG_BITRATE), std::nullopt);
  ASSERT_TRUE(record.streams[0].input_type.has_value());
  EXPECT_EQ(FindGUID(*record.streams[0].input_type, MF_MT_SUBTYPE), MFVideoFormat_NV12);
  EXPECT_TRUE(record.writing_begun);
  ASSERT_EQ(record.samples.size(), 2u);
  EXPECT_EQ(record.samples[0].time, 333333);
  EXPECT_EQ(record.samples[0].duration, 100);
  EXPECT_EQ(record.samples[0].length, 4u);
  EXPECT_EQ(record.samples[0].bytes, (std::vector<BYTE>{9, 8, 7, 6}));
  EXPECT_EQ(record.samples[1].length, 4u);
  EXPECT_TRUE(record.samples[1].bytes.empty());
  EXPECT_EQ(record.finalize_results, std::vector<HRESULT>{S_OK});
  EXPECT_TRUE(record.alive);

  writer.Reset();
  EXPECT_FALSE(halvex::testing::SinkWriters()[0].alive);
}

TEST_F(StandInTest, InjectedFinalizeFailureIsRecordedWithItsResult) {
  Owned<IMFSinkWriter> writer = MakeWriter();
  halvex::testing::FailCall("IMFSinkWriter::Finalize", E_FAIL, 1);
  EXPECT_EQ(writer->Finalize(), E_FAIL);
  EXPECT_EQ(writer->Finalize(), MF_E_INVALIDREQUEST);  // Writing was never begun.
  EXPECT_EQ(halvex::testing::SinkWriters()[0].finalize_results,
            (std::vector<HRESULT>{E_FAIL, MF_E_INVALIDREQUEST}));
}

// A backend that logs the calls it receives and fails the one it is told to.
class LoggingBackend : public halvex::platform::SinkWriterBackend {
 public:
  LoggingBackend(std::vector<std::string>* log, std::string failing)
      : log_(log), failing_(std::move(failing)) {}
  HRESULT AddStream(DWORD, const halvex::testing::AttributeList&) override { return Log("add"); }
  HRESULT SetInputType(DWORD,
                       const halvex::testing::AttributeList&,
                       const halvex::testing::AttributeList*) override {
    return Log("input");
  }
  HRESULT BeginWriting() override { return Log("begin"); }
  HRESULT WriteSample(DWORD, const halvex::platform::SampleData& sample) override {
    return Log("write " + std::to_string(sample.time) + " " + std::to_string(sample.size));
  }
  HRESULT Finalize() override { return Log("finalize"); }

 private:
  HRESULT Log(const std::string& call) {
    log_->push_back(call);
    return call.rfind(failing_, 0) == 0 ? E_ACCESSDENIED : S_OK;
  }
  std::vector<std::string>* log_;
  std::string failing_;
};

TEST_F(StandInTest, BackendSeesOnlyAcceptedCallsAndItsFailuresReachTheCaller) {
  for (const std::string failing : {"none", "add", "input", "begin", "write", "finalize"}) {
    halvex::testing::ResetMediaFoundation();
    std::vector<std::string> log;
    halvex::platform::SetSinkWriterBackendFactory(
        [&](const std::wstring&, const halvex::testing::AttributeList*,
            std::unique_ptr<halvex::platform::SinkWriterBackend>* backend) {
          *backend = std::make_unique<LoggingBackend>(&log, failing);
          return S_OK;
        });
    Owned<IMFSinkWriter> writer = MakeWriter();
    EXPECT_EQ(writer->BeginWriting(), MF_E_INVALIDREQUEST);  // Refused before the backend.
    DWORD index = 0;
    HRESULT result =
        writer->AddStream(MakeType(MFMediaType_Video, MFVideoFormat_H264).get(), &index);
    if (SUCCEEDED(result)) {
      result = writer->SetInputMediaType(0, MakeType(MFMediaType_Video, MFVideoFormat_NV12).get(),
                                         nullptr);
    }
    if (SUCCEEDED(result)) {
      result = writer->BeginWriting();
    }
    if (SUCCEEDED(result)) {
      result = writer->WriteSample(0, MakeSample(42, {1, 2, 3}).get());
    }
    if (SUCCEEDED(result)) {
      result = writer->Finalize();
    }
    EXPECT_EQ(result, failing == "none" ? S_OK : E_ACCESSDENIED) << failing;
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().rfind(failing == "none" ? "finalize" : failing, 0), 0u) << failing;
    const RecordedSinkWriter record = halvex::testing::SinkWriters()[0];
    EXPECT_EQ(record.streams.size(), failing == "add" ? 0u : 1u) << failing;
    EXPECT_EQ(record.writing_begun, failing != "add" && failing != "input" && failing != "begin");
    EXPECT_EQ(record.samples.size(), failing == "none" || failing == "finalize" ? 1u : 0u);
  }
  EXPECT_EQ(halvex::testing::SinkWriterCount(), 1u);

  halvex::platform::SetSinkWriterBackendFactory(
      [](const std::wstring&, const halvex::testing::AttributeList*,
         std::unique_ptr<halvex::platform::SinkWriterBackend>*) {
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
      });
  Owned<IMFSinkWriter> refused;
  EXPECT_EQ(MFCreateSinkWriterFromURL(L"out.mp4", nullptr, nullptr, refused.Put()), E_ACCESSDENIED);
  EXPECT_FALSE(refused);
  halvex::platform::SetSinkWriterBackendFactory(nullptr);
}

}  // namespace
