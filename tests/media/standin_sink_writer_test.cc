// The sink writer stand-in writing real files, through the interfaces the product calls.
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "com_test_support.h"
#include "media_probe.h"
#include "scratch_folder.h"
#include "windows_testing/com.h"
#include "windows_testing/media_foundation.h"

namespace halvex::media_testing {
namespace {

using halvex::test::Owned;

constexpr UINT32 kWidth = 100;
constexpr UINT32 kHeight = 74;
constexpr UINT32 kPitch = 112;  // wider than the picture, as the recorder's rows are
constexpr LONGLONG kDuration = 333333;

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

Owned<IMFMediaType> VideoType(const GUID& subtype) {
  Owned<IMFMediaType> type;
  EXPECT_EQ(MFCreateMediaType(type.Put()), S_OK);
  type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
  type->SetGUID(MF_MT_SUBTYPE, subtype);
  type->SetUINT32(MF_MT_AVG_BITRATE, kWidth * kHeight * 3 * 10);
  type->SetUINT64(MF_MT_FRAME_SIZE, (UINT64{kWidth} << 32) | kHeight);
  type->SetUINT64(MF_MT_FRAME_RATE, (UINT64{30} << 32) | 1);
  if (subtype == MFVideoFormat_NV12) {
    type->SetUINT32(MF_MT_DEFAULT_STRIDE, kPitch);
  }
  return type;
}

Owned<IMFSample> Picture(LONGLONG time, BYTE luma) {
  const DWORD size = kPitch * (kHeight + kHeight / 2);
  Owned<IMFMediaBuffer> buffer;
  EXPECT_EQ(MFCreateMemoryBuffer(size, buffer.Put()), S_OK);
  BYTE* bytes = nullptr;
  EXPECT_EQ(buffer->Lock(&bytes, nullptr, nullptr), S_OK);
  std::memset(bytes, luma, kPitch * kHeight);
  std::memset(bytes + kPitch * kHeight, 128, kPitch * kHeight / 2);
  buffer->Unlock();
  buffer->SetCurrentLength(size);
  Owned<IMFSample> sample;
  EXPECT_EQ(MFCreateSample(sample.Put()), S_OK);
  sample->AddBuffer(buffer.get());
  sample->SetSampleTime(time);
  sample->SetSampleDuration(kDuration);
  return sample;
}

// A writer with one H.264 stream fed NV12, begun; null when a step failed.
Owned<IMFSinkWriter> BegunWriter(const std::string& path) {
  Owned<IMFSinkWriter> writer;
  EXPECT_EQ(MFCreateSinkWriterFromURL(Wide(path).c_str(), nullptr, nullptr, writer.Put()), S_OK);
  DWORD stream = 9;
  if (!writer || writer->AddStream(VideoType(MFVideoFormat_H264).get(), &stream) != S_OK ||
      writer->SetInputMediaType(stream, VideoType(MFVideoFormat_NV12).get(), nullptr) != S_OK ||
      writer->BeginWriting() != S_OK) {
    ADD_FAILURE() << "the writer could not be set up";
    return Owned<IMFSinkWriter>();
  }
  return writer;
}

class StandInSinkWriterTest : public halvex::test::StandInTest {
 protected:
  void SetUp() override {
    StandInTest::SetUp();
    halvex::testing::WriteMediaFiles();
  }

  ScratchFolder folder_;
};

TEST_F(StandInSinkWriterTest, CreationFailsAsTheFileSystemAnswers) {
  ASSERT_EQ(mkdir(folder_.File("folder.mp4").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(folder_.File("sub").c_str(), 0755), 0);
  struct Case {
    const char* name;
    std::wstring url;
    HRESULT expected;
    std::string created;  // the file the writer creates, if any
  };
  const std::vector<Case> cases = {
      {"mp4", Wide(folder_.File("a.mp4")), S_OK, folder_.File("a.mp4")},
      {"backslashes", Wide(folder_.path()) + L"\\sub\\b.mp4", S_OK, folder_.File("sub/b.mp4")},
      {"a container the stand-in does not write", Wide(folder_.File("a.mov")),
       MF_E_UNSUPPORTED_BYTESTREAM_TYPE, ""},
      {"no extension", Wide(folder_.File("a")), MF_E_UNSUPPORTED_BYTESTREAM_TYPE, ""},
      {"missing folder", Wide(folder_.File("missing/a.mp4")),
       HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), ""},
      {"a folder in the way", Wide(folder_.File("folder.mp4")), E_ACCESSDENIED, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Owned<IMFSinkWriter> writer;
    EXPECT_EQ(MFCreateSinkWriterFromURL(c.url.c_str(), nullptr, nullptr, writer.Put()), c.expected);
    EXPECT_EQ(static_cast<bool>(writer), SUCCEEDED(c.expected));
    if (!c.created.empty()) {
      EXPECT_TRUE(FileExists(c.created)) << "the writer creates its file at once";
    }
  }
}

Owned<IMFMediaType> AudioType(const GUID& subtype, UINT32 channels, UINT32 rate, UINT32 bits) {
  Owned<IMFMediaType> type;
  EXPECT_EQ(MFCreateMediaType(type.Put()), S_OK);
  type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  type->SetGUID(MF_MT_SUBTYPE, subtype);
  type->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
  type->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
  type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, bits);
  type->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 24000);
  return type;
}

TEST_F(StandInSinkWriterTest, InputTypesTheEncodersCannotTakeAreRefused) {
  auto video_input = [](UINT32 width, UINT32 stride) {
    Owned<IMFMediaType> type = VideoType(MFVideoFormat_NV12);
    type->SetUINT64(MF_MT_FRAME_SIZE, (UINT64{width} << 32) | kHeight);
    type->SetUINT32(MF_MT_DEFAULT_STRIDE, stride);
    return type;
  };
  struct Case {
    const char* name;
    bool video;
    std::function<Owned<IMFMediaType>()> input;
    HRESULT expected;
  };
  const std::vector<Case> cases = {
      {"NV12 of the stream's size", true, [&] { return video_input(kWidth, kPitch); }, S_OK},
      {"NV12 of another size", true, [&] { return video_input(kWidth + 2, kPitch); },
       MF_E_INVALIDMEDIATYPE},
      {"rows narrower than the picture", true, [&] { return video_input(kWidth, kWidth - 2); },
       MF_E_INVALIDMEDIATYPE},
      {"16-bit PCM as the track", false, [] { return AudioType(MFAudioFormat_PCM, 1, 48000, 16); },
       S_OK},
      {"PCM at another rate", false, [] { return AudioType(MFAudioFormat_PCM, 1, 44100, 16); },
       MF_E_INVALIDMEDIATYPE},
      {"PCM in stereo", false, [] { return AudioType(MFAudioFormat_PCM, 2, 48000, 16); },
       MF_E_INVALIDMEDIATYPE},
      {"8-bit PCM", false, [] { return AudioType(MFAudioFormat_PCM, 1, 48000, 8); },
       MF_E_INVALIDMEDIATYPE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Owned<IMFSinkWriter> writer;
    ASSERT_EQ(MFCreateSinkWriterFromURL(Wide(folder_.File("types.mp4")).c_str(), nullptr, nullptr,
                                        writer.Put()),
              S_OK);
    DWORD stream = 0;
    ASSERT_EQ(writer->AddStream(c.video ? VideoType(MFVideoFormat_H264).get()
                                        : AudioType(MFAudioFormat_AAC, 1, 48000, 16).get(),
                                &stream),
              S_OK);
    EXPECT_EQ(writer->SetInputMediaType(stream, c.input().get(), nullptr), c.expected);
  }
}

TEST_F(StandInSinkWriterTest, SamplesBecomeAPlayableFileAndEveryBufferIsReleased) {
  if (!MediaToolsAvailable()) {
    GTEST_SKIP() << kMediaToolsMissing;
  }
  const std::string path = folder_.File("clip.mp4");
  {
    Owned<IMFSinkWriter> writer = BegunWriter(path);
    ASSERT_TRUE(writer);
    for (int i = 0; i < 10; ++i) {
      ASSERT_EQ(
          writer->WriteSample(0, Picture(i * kDuration, static_cast<BYTE>(40 + i * 10)).get()),
          S_OK);
    }
    EXPECT_EQ(writer->Finalize(), S_OK);
  }
  // The fixture's tear-down proves that the encoder let go of every buffer it was handed.
  const Probe probe = ProbeFile(path);
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_EQ(probe.streams.size(), 1u);
  EXPECT_EQ(probe.streams[0].Integer("width"), kWidth);
  EXPECT_EQ(probe.streams[0].Integer("height"), kHeight);
  const std::vector<ProbedEntry> packets = probe.PacketsOf("video");
  ASSERT_EQ(packets.size(), 10u);
  EXPECT_EQ(packets[3].Integer("pts"), 999999);
  EXPECT_EQ(packets[3].Integer("duration"), 333333);
  // The record is kept as well, without the bytes a long recording would pile up.
  const auto writers = halvex::testing::SinkWriters();
  ASSERT_EQ(writers.size(), 1u);
  EXPECT_EQ(writers[0].samples.size(), 10u);
}

TEST_F(StandInSinkWriterTest, AWriterReleasedUnfinishedKeepsItsFileAndAResetWritesNone) {
  const std::string unfinished = folder_.File("unfinished.mp4");
  {
    Owned<IMFSinkWriter> writer = BegunWriter(unfinished);
    ASSERT_TRUE(writer);
    ASSERT_EQ(writer->WriteSample(0, Picture(0, 90).get()), S_OK);
    EXPECT_TRUE(FileExists(unfinished));
  }
  EXPECT_TRUE(FileExists(unfinished)) << "a media sink leaves what it wrote";

  halvex::testing::ResetMediaFoundation();
  const std::string recorded_only = folder_.File("recorded-only.mp4");
  {
    Owned<IMFSinkWriter> writer = BegunWriter(recorded_only);
    ASSERT_TRUE(writer);
    ASSERT_EQ(writer->WriteSample(0, Picture(0, 90).get()), S_OK);
    EXPECT_EQ(writer->Finalize(), S_OK);
  }
  EXPECT_FALSE(FileExists(recorded_only));
  ASSERT_EQ(halvex::testing::SinkWriters().size(), 1u);
  EXPECT_EQ(halvex::testing::SinkWriters()[0].samples[0].bytes.size(),
            std::size_t{kPitch} * (kHeight + kHeight / 2));
}

}  // namespace
}  // namespace halvex::media_testing
