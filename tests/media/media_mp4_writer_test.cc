#include "media_mp4_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "file_size_limit.h"
#include "media_probe.h"
#include "scratch_folder.h"
#include "signal_analysis.h"

namespace halvex::media_testing {
namespace {

using platform::media::Mp4AudioFormat;
using platform::media::Mp4Error;
using platform::media::Mp4ErrorName;
using platform::media::Mp4Layout;
using platform::media::Mp4VideoFormat;
using platform::media::Mp4Writer;
using platform::media::Nv12Picture;

constexpr std::uint8_t kPaddingByte = 0xEE;

// An NV12 picture with smooth content that moves with `index`, rows `pitch` bytes apart; bytes
// beyond the width hold a value the picture never has, so a writer that reads them shows it.
std::vector<std::uint8_t> MakeNv12(std::uint32_t width,
                                   std::uint32_t height,
                                   std::uint32_t pitch,
                                   int index) {
  std::vector<std::uint8_t> picture(std::size_t{pitch} * height * 3 / 2, kPaddingByte);
  const std::uint32_t box_x = static_cast<std::uint32_t>(index * 3) % (width / 2);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const bool in_box = x >= box_x && x < box_x + width / 4 && y >= height / 4 && y < height / 2;
      picture[std::size_t{y} * pitch + x] =
          in_box ? 200 : static_cast<std::uint8_t>(40 + x * 100 / width + y * 60 / height);
    }
  }
  std::uint8_t* chroma = picture.data() + std::size_t{pitch} * height;
  for (std::uint32_t y = 0; y < height / 2; ++y) {
    for (std::uint32_t x = 0; x < width / 2; ++x) {
      chroma[std::size_t{y} * pitch + 2 * x] = static_cast<std::uint8_t>(100 + x * 80 / width);
      chroma[std::size_t{y} * pitch + 2 * x + 1] = static_cast<std::uint8_t>(150 - y * 60 / height);
    }
  }
  return picture;
}

// The picture without its row padding, as a decoder outputs it.
std::vector<std::uint8_t> Packed(const std::vector<std::uint8_t>& picture,
                                 std::uint32_t width,
                                 std::uint32_t height,
                                 std::uint32_t pitch) {
  std::vector<std::uint8_t> packed;
  for (std::uint32_t row = 0; row < height * 3 / 2; ++row) {
    const auto start = picture.begin() + static_cast<long>(std::size_t{row} * pitch);
    packed.insert(packed.end(), start, start + width);
  }
  return packed;
}

Nv12Picture Owned(std::vector<std::uint8_t> bytes, std::uint32_t pitch) {
  auto owner = std::make_shared<std::vector<std::uint8_t>>(std::move(bytes));
  Nv12Picture picture;
  picture.data = owner->data();
  picture.size = owner->size();
  picture.pitch = pitch;
  picture.owner = owner;
  return picture;
}

Mp4VideoFormat Video(std::uint32_t width, std::uint32_t height, std::uint32_t rate) {
  Mp4VideoFormat format;
  format.width = width;
  format.height = height;
  format.bit_rate = width * height * 3;
  format.frame_rate_numerator = rate;
  format.frame_rate_denominator = 1;
  return format;
}

std::unique_ptr<Mp4Writer> CreateOrFail(const std::string& path,
                                        Mp4Layout layout = Mp4Layout::kPlain) {
  std::unique_ptr<Mp4Writer> writer;
  const Mp4Error error = Mp4Writer::Create(path, layout, /*any_name=*/false, &writer);
  EXPECT_EQ(error, Mp4Error::kNone) << Mp4ErrorName(error);
  return writer;
}

class MediaMp4WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!MediaToolsAvailable()) {
      GTEST_SKIP() << kMediaToolsMissing;
    }
  }

  ScratchFolder folder_;
};

TEST_F(MediaMp4WriterTest, StoresEveryPictureAtItsOwnTimeAndDurationAtEachRate) {
  struct Case {
    const char* name;
    std::uint32_t declared_rate;
    std::int64_t duration;
  };
  const std::vector<Case> cases = {
      {"30 fps", 30, 333333},
      {"29.97 fps", 29, 333667},
      {"8 fps", 8, 1250000},
      {"1 fps", 1, 10000000},
  };
  // 100 × 74 with rows of 112 bytes: a pitch wider than the picture.
  constexpr std::uint32_t kWidth = 320;
  constexpr std::uint32_t kHeight = 240;
  constexpr std::uint32_t kPitch = 336;
  constexpr int kFrames = 12;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path =
        folder_.File(std::string("rate") + std::to_string(c.duration) + ".mp4");
    std::unique_ptr<Mp4Writer> writer = CreateOrFail(path);
    ASSERT_NE(writer, nullptr);
    std::uint32_t video = 99;
    ASSERT_EQ(writer->AddVideoStream(Video(kWidth, kHeight, c.declared_rate), &video),
              Mp4Error::kNone);
    EXPECT_EQ(video, 0u);
    ASSERT_EQ(writer->Begin(), Mp4Error::kNone);
    std::vector<std::vector<std::uint8_t>> sent;
    for (int i = 0; i < kFrames; ++i) {
      std::vector<std::uint8_t> picture = MakeNv12(kWidth, kHeight, kPitch, i);
      sent.push_back(Packed(picture, kWidth, kHeight, kPitch));
      ASSERT_EQ(
          writer->WriteVideo(video, Owned(std::move(picture), kPitch), i * c.duration, c.duration),
          Mp4Error::kNone);
    }
    ASSERT_EQ(writer->Finalize(), Mp4Error::kNone);
    writer.reset();

    const Probe probe = ProbeFile(path);
    ASSERT_TRUE(probe.ok) << probe.error;
    ASSERT_EQ(probe.streams.size(), 1u);
    const ProbedEntry& stream = probe.streams[0];
    EXPECT_EQ(stream.Text("codec_name"), "h264");
    EXPECT_EQ(stream.Integer("width"), kWidth);
    EXPECT_EQ(stream.Integer("height"), kHeight);
    EXPECT_EQ(stream.Integer("has_b_frames"), 0);
    EXPECT_EQ(stream.Integer("nb_frames"), kFrames);
    EXPECT_EQ(stream.Text("time_base"), "1/10000000");
    const std::vector<ProbedEntry> packets = probe.PacketsOf("video");
    ASSERT_EQ(packets.size(), static_cast<std::size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i) {
      SCOPED_TRACE("frame " + std::to_string(i));
      EXPECT_EQ(packets[static_cast<std::size_t>(i)].Integer("pts"), i * c.duration);
      EXPECT_EQ(packets[static_cast<std::size_t>(i)].Integer("dts"), i * c.duration);
      EXPECT_EQ(packets[static_cast<std::size_t>(i)].Integer("duration"), c.duration);
    }

    std::vector<std::uint8_t> decoded;
    ASSERT_TRUE(DecodeVideo(path, "nv12", &decoded));
    const std::size_t picture_size = std::size_t{kWidth} * kHeight * 3 / 2;
    ASSERT_EQ(decoded.size(), picture_size * kFrames);
    for (int i = 0; i < kFrames; ++i) {
      const double psnr = Psnr(decoded.data() + picture_size * static_cast<std::size_t>(i),
                               sent[static_cast<std::size_t>(i)].data(), picture_size);
      EXPECT_GE(psnr, 35.0) << "frame " << i;
    }
  }
}

// The lag, within ±`range` samples, at which `decoded` best matches `sent`.
int BestLag(const std::vector<std::int16_t>& decoded,
            const std::vector<std::int16_t>& sent,
            int range) {
  int best_lag = 0;
  double best = -std::numeric_limits<double>::infinity();
  const std::size_t length =
      std::min(decoded.size(), sent.size()) - static_cast<std::size_t>(range);
  for (int lag = -range; lag <= range; ++lag) {
    double sum = 0.0;
    for (std::size_t i = static_cast<std::size_t>(range); i < length; ++i) {
      sum += static_cast<double>(decoded[i]) *
             sent[static_cast<std::size_t>(static_cast<long>(i) + lag)];
    }
    if (sum > best) {
      best = sum;
      best_lag = lag;
    }
  }
  return best_lag;
}

TEST_F(MediaMp4WriterTest, AudioIsMonoAacAt48kHzAlignedWithTheVideoAndFlushedToTheEnd) {
  const std::string path = folder_.File("av.mp4");
  std::unique_ptr<Mp4Writer> writer = CreateOrFail(path);
  ASSERT_NE(writer, nullptr);
  std::uint32_t video = 9;
  std::uint32_t audio = 9;
  ASSERT_EQ(writer->AddVideoStream(Video(64, 48, 30), &video), Mp4Error::kNone);
  ASSERT_EQ(writer->AddAudioStream(Mp4AudioFormat(), &audio), Mp4Error::kNone);
  EXPECT_EQ(video, 0u);
  EXPECT_EQ(audio, 1u);
  ASSERT_EQ(writer->Begin(), Mp4Error::kNone);

  // One second of video and of a 440 Hz tone, in 10 ms chunks as a capture delivers them, ending
  // with a part of an encoder frame (48000 is no multiple of 1024).
  constexpr int kChunk = 480;
  constexpr int kSamples = 48000;
  const std::vector<std::int16_t> tone = SineWave(440.0, 0.5, 48000, kSamples);
  int next_frame = 0;
  for (int position = 0; position < kSamples; position += kChunk) {
    const std::int64_t time = std::int64_t{position} * 10000000 / 48000;
    while (next_frame * std::int64_t{333333} <= time && next_frame < 30) {
      ASSERT_EQ(writer->WriteVideo(video, Owned(MakeNv12(64, 48, 64, next_frame), 64),
                                   next_frame * std::int64_t{333333}, 333333),
                Mp4Error::kNone);
      ++next_frame;
    }
    ASSERT_EQ(writer->WriteAudio(audio, tone.data() + position, kChunk, time), Mp4Error::kNone);
  }
  ASSERT_EQ(writer->Finalize(), Mp4Error::kNone);
  writer.reset();

  const Probe probe = ProbeFile(path);
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_EQ(probe.StreamsOf("video").size(), 1u);
  ASSERT_EQ(probe.StreamsOf("audio").size(), 1u);
  const ProbedEntry stream = probe.StreamsOf("audio")[0];
  EXPECT_EQ(stream.Text("codec_name"), "aac");
  EXPECT_EQ(stream.Integer("sample_rate"), 48000);
  EXPECT_EQ(stream.Integer("channels"), 1);
  EXPECT_DOUBLE_EQ(stream.Number("start_time"), 0.0);
  EXPECT_DOUBLE_EQ(probe.StreamsOf("video")[0].Number("start_time"), 0.0);

  std::vector<std::int16_t> decoded;
  ASSERT_TRUE(DecodeAudioAsMono48k(path, &decoded));
  EXPECT_NEAR(static_cast<double>(decoded.size()), kSamples, 1024.0);
  ASSERT_GT(decoded.size(), 40000u);
  EXPECT_NEAR(ToneFrequency(decoded.data() + 1000, 40000, 48000), 440.0, 1.0);
  EXPECT_NEAR(RootMeanSquare(decoded.data() + 1000, 40000), 0.5 * 32767 / std::sqrt(2.0), 800.0);
  // The encoder's priming samples are cut by the edit list: sound starts where it was written.
  EXPECT_EQ(BestLag(decoded, tone, 200), 0);
}

TEST_F(MediaMp4WriterTest, AudioThatStartsLaterThanThePreviousChunkEndedIsPrecededBySilence) {
  const std::string path = folder_.File("gap.mp4");
  std::unique_ptr<Mp4Writer> writer = CreateOrFail(path);
  ASSERT_NE(writer, nullptr);
  std::uint32_t video = 0;
  std::uint32_t audio = 0;
  ASSERT_EQ(writer->AddVideoStream(Video(64, 48, 8), &video), Mp4Error::kNone);
  ASSERT_EQ(writer->AddAudioStream(Mp4AudioFormat(), &audio), Mp4Error::kNone);
  ASSERT_EQ(writer->Begin(), Mp4Error::kNone);
  for (int i = 0; i < 8; ++i) {
    ASSERT_EQ(writer->WriteVideo(video, Owned(MakeNv12(64, 48, 64, i), 64), i * 1250000LL, 1250000),
              Mp4Error::kNone);
  }
  const std::vector<std::int16_t> tone = SineWave(440.0, 0.5, 48000, 9600);
  ASSERT_EQ(writer->WriteAudio(audio, tone.data(), 4800, 0), Mp4Error::kNone);
  // The second half starts at 0.5 s; 0.1 s to 0.5 s were never written.
  ASSERT_EQ(writer->WriteAudio(audio, tone.data() + 4800, 4800, 5000000), Mp4Error::kNone);
  ASSERT_EQ(writer->Finalize(), Mp4Error::kNone);
  writer.reset();

  std::vector<std::int16_t> decoded;
  ASSERT_TRUE(DecodeAudioAsMono48k(path, &decoded));
  ASSERT_GE(decoded.size(), 28800u);
  EXPECT_GT(RootMeanSquare(decoded.data() + 1000, 3000), 5000.0);
  EXPECT_LT(RootMeanSquare(decoded.data() + 6000, 16800), 100.0);
  EXPECT_GT(RootMeanSquare(decoded.data() + 25000, 3000), 5000.0);
  EXPECT_NEAR(static_cast<double>(FirstLoudSample(decoded.data() + 20000, 8000, 2000)) + 20000,
              24000.0, 48.0);
}

TEST_F(MediaMp4WriterTest, CreationChecksTheContainerAndThePathFirst) {
  const std::string file_in_the_way = folder_.File("plain-file");
  WriteFile(file_in_the_way, {1, 2, 3});
  ASSERT_EQ(mkdir(folder_.File("folder.mp4").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(folder_.File("sub").c_str(), 0755), 0);
  struct Case {
    const char* name;
    std::string path;
    Mp4Error expected;
    std::string created;  // the file that must exist afterwards, if any
  };
  const std::vector<Case> cases = {
      {"mp4", folder_.File("clip.mp4"), Mp4Error::kNone, folder_.File("clip.mp4")},
      {"upper-case extension", folder_.File("CLIP.MP4"), Mp4Error::kNone, folder_.File("CLIP.MP4")},
      {"backslashes separate folders", folder_.path() + "\\sub\\clip.mp4", Mp4Error::kNone,
       folder_.File("sub/clip.mp4")},
      {"colon in the name", folder_.File("take:1.mp4"), Mp4Error::kNone,
       folder_.File("take:1.mp4")},
      {"mov", folder_.File("clip.mov"), Mp4Error::kUnsupportedContainer, ""},
      {"wmv", folder_.File("clip.wmv"), Mp4Error::kUnsupportedContainer, ""},
      {"no extension", folder_.File("clip"), Mp4Error::kUnsupportedContainer, ""},
      {"dot in the folder only", folder_.File("sub.mp4x/clip"), Mp4Error::kUnsupportedContainer,
       ""},
      {"missing folder", folder_.File("missing/clip.mp4"), Mp4Error::kFolderNotFound, ""},
      {"a file where a folder should be", file_in_the_way + "/clip.mp4", Mp4Error::kFolderNotFound,
       ""},
      {"the path is a folder", folder_.File("folder.mp4"), Mp4Error::kAccessDenied, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Mp4Writer> writer;
    EXPECT_EQ(Mp4Writer::Create(c.path, Mp4Layout::kPlain, /*any_name=*/false, &writer),
              c.expected);
    EXPECT_EQ(writer != nullptr, c.expected == Mp4Error::kNone);
    if (!c.created.empty()) {
      EXPECT_TRUE(FileExists(c.created)) << "the file is created with the writer";
    }
  }
}

TEST_F(MediaMp4WriterTest, CallsOutOfOrderOrWithBadSamplesAreRefusedWithoutHarm) {
  struct Case {
    const char* name;
    std::function<Mp4Error(Mp4Writer&)> call;
    Mp4Error expected;
  };
  auto picture = [] { return Owned(MakeNv12(64, 48, 64, 0), 64); };
  const std::int16_t samples[4] = {1, 2, 3, 4};
  // Each case runs on a writer with video stream 0 and audio stream 1, begun, with one picture
  // written at time 0.
  const std::vector<Case> cases = {
      {"stream added after begin",
       [](Mp4Writer& w) { return w.AddAudioStream(Mp4AudioFormat(), nullptr); },
       Mp4Error::kInvalidState},
      {"begin twice", [](Mp4Writer& w) { return w.Begin(); }, Mp4Error::kInvalidState},
      {"no such stream", [&](Mp4Writer& w) { return w.WriteVideo(2, picture(), 400000, 333333); },
       Mp4Error::kInvalidStream},
      {"picture to the audio stream",
       [&](Mp4Writer& w) { return w.WriteVideo(1, picture(), 400000, 333333); },
       Mp4Error::kInvalidStream},
      {"sound to the video stream", [&](Mp4Writer& w) { return w.WriteAudio(0, samples, 4, 0); },
       Mp4Error::kInvalidStream},
      {"picture shorter than its rows",
       [&](Mp4Writer& w) {
         Nv12Picture p = picture();
         p.size -= 1;
         return w.WriteVideo(0, p, 400000, 333333);
       },
       Mp4Error::kInvalidSample},
      {"pitch narrower than the picture",
       [&](Mp4Writer& w) {
         Nv12Picture p = picture();
         p.pitch = 62;
         return w.WriteVideo(0, p, 400000, 333333);
       },
       Mp4Error::kInvalidSample},
      {"same time as the previous picture",
       [&](Mp4Writer& w) { return w.WriteVideo(0, picture(), 0, 333333); },
       Mp4Error::kInvalidSample},
      {"negative duration", [&](Mp4Writer& w) { return w.WriteVideo(0, picture(), 400000, -1); },
       Mp4Error::kInvalidSample},
      {"no samples", [&](Mp4Writer& w) { return w.WriteAudio(1, samples, 0, 0); },
       Mp4Error::kInvalidSample},
      {"negative audio time", [&](Mp4Writer& w) { return w.WriteAudio(1, samples, 4, -1); },
       Mp4Error::kInvalidSample},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder_.File("rules.mp4");
    std::unique_ptr<Mp4Writer> writer = CreateOrFail(path);
    ASSERT_NE(writer, nullptr);
    ASSERT_EQ(writer->AddVideoStream(Video(64, 48, 30), nullptr), Mp4Error::kNone);
    ASSERT_EQ(writer->AddAudioStream(Mp4AudioFormat(), nullptr), Mp4Error::kNone);
    ASSERT_EQ(writer->Begin(), Mp4Error::kNone);
    ASSERT_EQ(writer->WriteVideo(0, picture(), 0, 333333), Mp4Error::kNone);
    EXPECT_EQ(c.call(*writer), c.expected);
    // The refusal lost nothing: the writer goes on and completes the file.
    EXPECT_EQ(writer->WriteVideo(0, picture(), 333333, 333333), Mp4Error::kNone);
    EXPECT_EQ(writer->WriteAudio(1, samples, 4, 0), Mp4Error::kNone);
    EXPECT_EQ(writer->Finalize(), Mp4Error::kNone);
    EXPECT_EQ(writer->Finalize(), Mp4Error::kInvalidState);
    writer.reset();
    const Probe probe = ProbeFile(path);
    ASSERT_TRUE(probe.ok) << probe.error;
    EXPECT_EQ(probe.PacketsOf("video").size(), 2u);
  }
}

TEST_F(MediaMp4WriterTest, FormatsAndStatesBeforeWritingAreChecked) {
  struct Case {
    const char* name;
    std::function<Mp4Error(Mp4Writer&)> call;
    Mp4Error expected;
  };
  const std::vector<Case> cases = {
      {"odd width", [](Mp4Writer& w) { return w.AddVideoStream(Video(63, 48, 30), nullptr); },
       Mp4Error::kInvalidFormat},
      {"height below 2", [](Mp4Writer& w) { return w.AddVideoStream(Video(64, 0, 30), nullptr); },
       Mp4Error::kInvalidFormat},
      {"no frame rate", [](Mp4Writer& w) { return w.AddVideoStream(Video(64, 48, 0), nullptr); },
       Mp4Error::kInvalidFormat},
      {"no channels",
       [](Mp4Writer& w) {
         Mp4AudioFormat format;
         format.channels = 0;
         return w.AddAudioStream(format, nullptr);
       },
       Mp4Error::kInvalidFormat},
      {"begin without streams", [](Mp4Writer& w) { return w.Begin(); }, Mp4Error::kInvalidState},
      {"write before begin",
       [](Mp4Writer& w) {
         w.AddVideoStream(Video(64, 48, 30), nullptr);
         return w.WriteVideo(0, Owned(MakeNv12(64, 48, 64, 0), 64), 0, 1);
       },
       Mp4Error::kInvalidState},
      {"finalize before begin",
       [](Mp4Writer& w) {
         w.AddVideoStream(Video(64, 48, 30), nullptr);
         return w.Finalize();
       },
       Mp4Error::kInvalidState},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Mp4Writer> writer = CreateOrFail(folder_.File("formats.mp4"));
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(c.call(*writer), c.expected);
  }
}

// A file that never had anything written goes with its writer; one that media was written to
// stays, as a media sink leaves it.
TEST_F(MediaMp4WriterTest, AWriterDestroyedUnfinishedKeepsAnyFileWithMediaAndReleasesPictures) {
  struct Case {
    const char* name;
    bool begin;
    int pictures;
  };
  const std::vector<Case> cases = {
      {"created only", false, 0},
      {"begun", true, 0},
      {"pictures queued", true, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder_.File("unfinished.mp4");
    std::unique_ptr<Mp4Writer> writer = CreateOrFail(path);
    ASSERT_NE(writer, nullptr);
    ASSERT_EQ(writer->AddVideoStream(Video(320, 240, 30), nullptr), Mp4Error::kNone);
    std::vector<std::weak_ptr<const void>> owners;
    if (c.begin) {
      ASSERT_EQ(writer->Begin(), Mp4Error::kNone);
    }
    for (int i = 0; i < c.pictures; ++i) {
      Nv12Picture picture = Owned(MakeNv12(320, 240, 320, i), 320);
      owners.push_back(picture.owner);
      ASSERT_EQ(writer->WriteVideo(0, std::move(picture), i * 333333LL, 333333), Mp4Error::kNone);
    }
    EXPECT_TRUE(FileExists(path));
    writer.reset();
    EXPECT_EQ(FileExists(path), c.begin);
    for (const std::weak_ptr<const void>& owner : owners) {
      EXPECT_TRUE(owner.expired()) << "a picture outlived the writer";
    }
  }
}

TEST_F(MediaMp4WriterTest, PicturesAreHeldUntilEncodedAndReleasedAfterFinalize) {
  const std::string path = folder_.File("owners.mp4");
  std::unique_ptr<Mp4Writer> writer = CreateOrFail(path);
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(writer->AddVideoStream(Video(64, 48, 30), nullptr), Mp4Error::kNone);
  ASSERT_EQ(writer->Begin(), Mp4Error::kNone);
  std::vector<std::weak_ptr<const void>> owners;
  for (int i = 0; i < 10; ++i) {
    Nv12Picture picture = Owned(MakeNv12(64, 48, 64, i), 64);
    owners.push_back(picture.owner);
    ASSERT_EQ(writer->WriteVideo(0, std::move(picture), i * 333333LL, 333333), Mp4Error::kNone);
  }
  ASSERT_EQ(writer->Finalize(), Mp4Error::kNone);
  for (const std::weak_ptr<const void>& owner : owners) {
    EXPECT_TRUE(owner.expired());
  }
  writer.reset();
  EXPECT_TRUE(FileExists(path)) << "a finalised file stays";
}

TEST_F(MediaMp4WriterTest, AFullDiskFailsALaterWriteOrFinalize) {
  const std::string path = folder_.File("full.mp4");
  std::unique_ptr<Mp4Writer> writer = CreateOrFail(path);
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(writer->AddVideoStream(Video(320, 240, 30), nullptr), Mp4Error::kNone);
  Mp4Error first_failure = Mp4Error::kNone;
  {
    const FileSizeLimit limit(16 * 1024);
    ASSERT_EQ(writer->Begin(), Mp4Error::kNone);
    for (int i = 0; i < 90 && first_failure == Mp4Error::kNone; ++i) {
      // Noise does not compress: the file outgrows the limit within a few pictures.
      std::vector<std::uint8_t> noise(320 * 240 * 3 / 2);
      for (std::size_t j = 0; j < noise.size(); ++j) {
        noise[j] =
            static_cast<std::uint8_t>((j * 2654435761u + static_cast<std::size_t>(i) * 97) >> 13);
      }
      first_failure = writer->WriteVideo(0, Owned(std::move(noise), 320), i * 333333LL, 333333);
    }
    const Mp4Error finalized = writer->Finalize();
    if (first_failure == Mp4Error::kNone) {
      first_failure = finalized;
    } else {
      EXPECT_EQ(finalized, first_failure) << "Finalize reports the failure again";
    }
  }
  EXPECT_EQ(first_failure, Mp4Error::kDiskFull) << Mp4ErrorName(first_failure);
}

}  // namespace
}  // namespace halvex::media_testing
