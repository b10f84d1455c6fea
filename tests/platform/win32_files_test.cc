#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <windows.h>

#include "windows_testing/faults.h"

namespace {

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

std::wstring WithBackslashes(std::string path) {
  for (char& c : path) {
    if (c == '/') {
      c = '\\';
    }
  }
  return Wide(path);
}

bool Exists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
}

TEST(Win32FilesTest, DeleteFileWRemovesFilesOnlyAndSaysWhyNot) {
  const std::string folder = ::testing::TempDir() + "delete-file-test";
  mkdir(folder.c_str(), 0700);
  const std::string file = folder + "/file.mp4";

  struct Case {
    const char* name;
    std::wstring path;
    bool removed;
    DWORD error;
  };
  std::ofstream(file) << "bytes";
  const Case cases[] = {
      {"a file, written with backslashes", WithBackslashes(file), true, 0},
      {"the same file again", WithBackslashes(file), false, ERROR_FILE_NOT_FOUND},
      {"a file as a folder", Wide(folder + "/file.mp4/inner.mp4"), false, ERROR_PATH_NOT_FOUND},
      {"a folder", Wide(folder), false, ERROR_ACCESS_DENIED},
      {"an empty path", L"", false, ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.name) == "a file as a folder") {
      std::ofstream(file) << "bytes";
    }
    SetLastError(0);
    EXPECT_EQ(DeleteFileW(c.path.c_str()), c.removed ? TRUE : FALSE);
    if (!c.removed) {
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
  EXPECT_TRUE(Exists(folder)) << "a folder is never removed";
  EXPECT_EQ(DeleteFileW(nullptr), FALSE);

  halvex::testing::ScopedFaults faults;
  halvex::testing::FailCall("DeleteFileW", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), 1);
  EXPECT_EQ(DeleteFileW(Wide(file).c_str()), FALSE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(Exists(file)) << "a failed call removes nothing";
  EXPECT_EQ(DeleteFileW(Wide(file).c_str()), TRUE);
  EXPECT_FALSE(Exists(file));
  std::remove(folder.c_str());
}

}  // namespace
