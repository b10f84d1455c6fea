#include "app/folder_frame_source.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/png_encoder.h"
#include "app/scene.h"
#include "tests/end_to_end/scratch_directory.h"

namespace halvex {
namespace demo {
namespace {

using testing::ScratchDirectory;

std::vector<uint8_t> SmallPng(int64_t frame) {
  std::vector<uint8_t> png;
  std::string error;
  EXPECT_TRUE(EncodePng(DrawTestScene(8, 6, frame, 10), &png, &error)) << error;
  return png;
}

std::vector<std::string> FileNames(const std::vector<std::filesystem::path>& files) {
  std::vector<std::string> names;
  for (const std::filesystem::path& file : files) {
    names.push_back(file.filename().string());
  }
  return names;
}

TEST(FolderFrameSourceTest, ListsPngFilesInByteOrderOfTheirNames) {
  ScratchDirectory folder;
  const std::vector<uint8_t> png = SmallPng(0);
  for (const char* name :
       {"b.png", "a10.png", "a2.png", "C.PNG", "notes.txt", "png", "d.png.bak", "e.Png"}) {
    folder.Write(name, png);
  }
  std::filesystem::create_directory(folder.path() / "sub.png");
  std::vector<std::filesystem::path> files;
  std::string error;
  ASSERT_TRUE(ListPngFiles(folder.path(), &files, &error)) << error;
  EXPECT_EQ(FileNames(files),
            (std::vector<std::string>{"C.PNG", "a10.png", "a2.png", "b.png", "e.Png"}));
}

TEST(FolderFrameSourceTest, ProducesEachFileAsItIs) {
  ScratchDirectory folder;
  const std::vector<uint8_t> second = SmallPng(2);
  const std::vector<uint8_t> first = SmallPng(1);
  folder.Write("frame-2.png", second);
  folder.Write("frame-1.png", first);
  std::string error;
  std::unique_ptr<FolderFrameSource> source = FolderFrameSource::Open(folder.path(), &error);
  ASSERT_NE(source, nullptr) << error;
  ASSERT_EQ(source->frame_count(), 2);
  std::vector<uint8_t> png;
  ASSERT_TRUE(source->ProducePng(0, &png, &error)) << error;
  EXPECT_EQ(png, first);
  ASSERT_TRUE(source->ProducePng(1, &png, &error)) << error;
  EXPECT_EQ(png, second);
  EXPECT_FALSE(source->ProducePng(2, &png, &error));
  EXPECT_EQ(error, "frame 2 is outside the folder's 2 files");
  EXPECT_FALSE(source->ProducePng(-1, &png, &error));
}

TEST(FolderFrameSourceTest, RefusesFoldersThatWouldRecordNothingOrGarbage) {
  ScratchDirectory empty;
  ScratchDirectory text_only;
  text_only.Write("readme.txt", {'h', 'i'});
  ScratchDirectory impostor;
  impostor.Write("a.png", SmallPng(0));
  impostor.Write("b.png", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0});
  ScratchDirectory truncated;
  truncated.Write("a.png", {0x89, 'P', 'N', 'G'});

  struct Case {
    std::filesystem::path folder;
    std::string message;
  };
  const Case cases[] = {
      {empty.path(), "the folder '" + empty.path().string() + "' holds no .png file"},
      {text_only.path(), "the folder '" + text_only.path().string() + "' holds no .png file"},
      {impostor.path(), "'" + (impostor.path() / "b.png").string() +
                            "' is not a PNG file (it does not start with the PNG signature)"},
      {truncated.path(), "'" + (truncated.path() / "a.png").string() +
                             "' is not a PNG file (it does not start with the PNG signature)"},
      {empty.path() / "missing", "'" + (empty.path() / "missing").string() + "' is not a folder"},
      {impostor.path() / "a.png", "'" + (impostor.path() / "a.png").string() + "' is not a folder"},
  };
  for (const Case& test : cases) {
    std::string error;
    EXPECT_EQ(FolderFrameSource::Open(test.folder, &error), nullptr) << test.folder;
    EXPECT_EQ(error, test.message);
  }
}

TEST(FolderFrameSourceTest, FileThatChangedAfterOpeningIsReported) {
  ScratchDirectory folder;
  const std::filesystem::path file = folder.Write("a.png", SmallPng(0));
  std::string error;
  std::unique_ptr<FolderFrameSource> source = FolderFrameSource::Open(folder.path(), &error);
  ASSERT_NE(source, nullptr) << error;

  folder.Write("a.png", {'n', 'o', 'p', 'e', 0, 0, 0, 0});
  std::vector<uint8_t> png;
  EXPECT_FALSE(source->ProducePng(0, &png, &error));
  EXPECT_EQ(error, "'" + file.string() + "' is no longer a PNG file");
  EXPECT_TRUE(png.empty());

  std::filesystem::remove(file);
  EXPECT_FALSE(source->ProducePng(0, &png, &error));
  EXPECT_EQ(error, "cannot open '" + file.string() + "'");
}

}  // namespace
}  // namespace demo
}  // namespace halvex
