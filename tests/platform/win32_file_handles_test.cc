#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include <windows.h>

#include "windows_testing/faults.h"

namespace {

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

std::string Contents(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

class Win32FileHandlesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Each test has a folder of its own: ctest runs the tests of this fixture side by side.
    folder_ = ::testing::TempDir() + "file-handles-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
              std::to_string(getpid());
    mkdir(folder_.c_str(), 0700);
    file_ = folder_ + "/recording.mp4";
    std::ofstream(file_, std::ios::binary) << "0123456789";
  }
  void TearDown() override {
    std::remove(file_.c_str());
    std::remove((folder_ + "/new.mp4").c_str());
    std::remove(folder_.c_str());
  }

  std::string folder_;
  std::string file_;
};

TEST_F(Win32FileHandlesTest, CreateFileWOpensOrSaysWhyNot) {
  struct Case {
    const char* name;
    std::wstring path;
    DWORD access;
    DWORD disposition;
    DWORD error;  // ERROR_SUCCESS: opens
  };
  std::string backslashed = file_;
  for (char& c : backslashed) {
    c = c == '/' ? '\\' : c;
  }
  const Case cases[] = {
      {"an existing file", Wide(file_), GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, 0},
      {"written with backslashes", Wide(backslashed), GENERIC_READ, OPEN_EXISTING, 0},
      {"a missing file", Wide(folder_ + "/none.mp4"), GENERIC_READ, OPEN_EXISTING,
       ERROR_FILE_NOT_FOUND},
      {"in a missing folder", Wide(folder_ + "/none/a.mp4"), GENERIC_READ, OPEN_EXISTING,
       ERROR_PATH_NOT_FOUND},
      {"a folder", Wide(folder_), GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
      {"a new file over an old one", Wide(file_), GENERIC_WRITE, CREATE_NEW, ERROR_FILE_EXISTS},
      {"a new file", Wide(folder_ + "/new.mp4"), GENERIC_WRITE, CREATE_NEW, 0},
      {"an empty path", L"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {"no disposition", Wide(file_), GENERIC_READ, 0, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    HANDLE handle = CreateFileW(c.path.c_str(), c.access, FILE_SHARE_READ, nullptr, c.disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (c.error == 0) {
      ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
      EXPECT_EQ(CloseHandle(handle), TRUE);
    } else {
      EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
}

TEST_F(Win32FileHandlesTest, ReadsAndWritesAtOffsetsAndReportsSize) {
  HANDLE handle = CreateFileW(Wide(file_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  OVERLAPPED at{};
  at.Offset = 12;  // past the end: the file grows, the gap reads as zeros
  DWORD done = 0;
  ASSERT_EQ(WriteFile(handle, "ab", 2, &done, &at), TRUE);
  EXPECT_EQ(done, 2u);
  LARGE_INTEGER size{};
  ASSERT_EQ(GetFileSizeEx(handle, &size), TRUE);
  EXPECT_EQ(size.QuadPart, 14);
  char bytes[8] = {};
  at.Offset = 8;
  ASSERT_EQ(ReadFile(handle, bytes, sizeof(bytes), &done, &at), TRUE);
  EXPECT_EQ(done, 6u) << "a read across the end returns what there is";
  EXPECT_EQ(std::string(bytes, done), std::string("89\0\0ab", 6));
  at.Offset = 14;
  ASSERT_EQ(ReadFile(handle, bytes, sizeof(bytes), &done, &at), TRUE);
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(FlushFileBuffers(handle), TRUE);
  EXPECT_EQ(CloseHandle(handle), TRUE);
  EXPECT_EQ(Contents(file_), std::string("0123456789\0\0ab", 14));
}

TEST_F(Win32FileHandlesTest, CallsFailCleanlyWithTheirErrors) {
  HANDLE reading = CreateFileW(Wide(file_).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE writing = CreateFileW(Wide(file_).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reading, INVALID_HANDLE_VALUE);
  ASSERT_NE(writing, INVALID_HANDLE_VALUE);
  char byte = 'x';
  DWORD done = 0;
  OVERLAPPED at{};
  halvex::testing::ScopedFaults faults;
  halvex::testing::FailCall("WriteFile", HRESULT_FROM_WIN32(ERROR_DISK_FULL), 1);
  struct Case {
    const char* name;
    std::function<BOOL()> call;
    DWORD error;
  };
  const Case cases[] = {
      {"an injected full disk", [&] { return WriteFile(writing, &byte, 1, &done, &at); },
       ERROR_DISK_FULL},
      {"writing a read-only handle", [&] { return WriteFile(reading, &byte, 1, &done, &at); },
       ERROR_ACCESS_DENIED},
      {"reading a write-only handle", [&] { return ReadFile(writing, &byte, 1, &done, &at); },
       ERROR_ACCESS_DENIED},
      {"flushing a read-only handle", [&] { return FlushFileBuffers(reading); },
       ERROR_ACCESS_DENIED},
      {"a made-up handle",
       [&] { return ReadFile(reinterpret_cast<HANDLE>(&byte), &byte, 1, &done, &at); },
       ERROR_INVALID_HANDLE},
      {"closing twice",
       [&] {
         CloseHandle(reading);
         return CloseHandle(reading);
       },
       ERROR_INVALID_HANDLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    EXPECT_EQ(c.call(), FALSE);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(CloseHandle(writing), TRUE);
  EXPECT_EQ(Contents(file_), "0123456789") << "no failed write changed the file";
}

}  // namespace
