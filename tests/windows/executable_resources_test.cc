// The host executable's resources as Windows itself reads them: the version block through
// GetFileVersionInfoW, the icon group and the manifest through the resource functions.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/windows/windows_process.h"

namespace halvex::testing {
namespace {

std::wstring HostPath() {
  return ExecutableFolder() + L"halvex.exe";
}

// The icon group directory as stored in an RT_GROUP_ICON resource.
#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
struct IconGroupHeader {
  WORD reserved, type, count;
};
#pragma pack(pop)

class LoadedAsData {
 public:
  explicit LoadedAsData(const std::wstring& path)
      : module_(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  ~LoadedAsData() {
    if (module_ != nullptr) {
      FreeLibrary(module_);
    }
  }
  LoadedAsData(const LoadedAsData&) = delete;
  LoadedAsData& operator=(const LoadedAsData&) = delete;

  std::vector<uint8_t> Resource(LPCWSTR name, LPCWSTR type) const {
    HRSRC found = module_ == nullptr ? nullptr : FindResourceW(module_, name, type);
    HGLOBAL loaded = found == nullptr ? nullptr : LoadResource(module_, found);
    const auto* bytes =
        loaded == nullptr ? nullptr : static_cast<const uint8_t*>(LockResource(loaded));
    return bytes == nullptr ? std::vector<uint8_t>()
                            : std::vector<uint8_t>(bytes, bytes + SizeofResource(module_, found));
  }

 private:
  HMODULE module_;
};

TEST(ExecutableResourcesTest, VersionBlockReadsBackThroughGetFileVersionInfo) {
  const std::wstring path = HostPath();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<uint8_t> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
  ASSERT_EQ(fixedSize, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00000001u);  // 0.1
  EXPECT_EQ(fixed->dwFileVersionLS, 0x0000000Eu);  // .0.14
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x0000000Eu);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));

  WORD* translation = nullptr;
  UINT translationSize = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &translationSize));
  ASSERT_EQ(translationSize, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1252);

  const struct {
    const wchar_t* name;
    const wchar_t* value;
  } strings[] = {
      {L"FileDescription", L"Halvex"},
      {L"ProductName", L"Halvex"},
      {L"FileVersion", L"0.1.0+14"},
      {L"ProductVersion", L"0.1.0+14"},
  };
  for (const auto& expected : strings) {
    SCOPED_TRACE(std::string(expected.name, expected.name + wcslen(expected.name)));
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904e4\\") + expected.name;
    wchar_t* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(
        VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length));
    EXPECT_EQ(std::wstring(value), expected.value);
  }
}

TEST(ExecutableResourcesTest, IconGroup101HoldsOne48PixelPngImage) {
  const LoadedAsData host(HostPath());
  const std::vector<uint8_t> group = host.Resource(MAKEINTRESOURCEW(101), RT_GROUP_ICON);
  ASSERT_EQ(group.size(), sizeof(IconGroupHeader) + sizeof(IconGroupEntry));
  IconGroupHeader header;
  std::memcpy(&header, group.data(), sizeof(header));
  EXPECT_EQ(header.type, 1);
  ASSERT_EQ(header.count, 1);
  IconGroupEntry entry;
  std::memcpy(&entry, group.data() + sizeof(header), sizeof(entry));
  EXPECT_EQ(entry.width, 48);
  EXPECT_EQ(entry.height, 48);
  EXPECT_EQ(entry.bitCount, 32);

  const std::vector<uint8_t> image = host.Resource(MAKEINTRESOURCEW(entry.id), RT_ICON);
  ASSERT_EQ(image.size(), entry.bytes);
  const uint8_t pngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  ASSERT_GE(image.size(), sizeof(pngSignature));
  EXPECT_EQ(std::memcmp(image.data(), pngSignature, sizeof(pngSignature)), 0);

  // And the system makes an icon of it.
  HICON hostIcon =
      CreateIconFromResourceEx(const_cast<uint8_t*>(image.data()), static_cast<DWORD>(image.size()),
                               TRUE, 0x00030000, 48, 48, LR_DEFAULTCOLOR);
  EXPECT_NE(hostIcon, nullptr);
  if (hostIcon != nullptr) {
    DestroyIcon(hostIcon);
  }
}

TEST(ExecutableResourcesTest, ManifestAsksForInvokerLevelPerMonitorV2AndWindows10) {
  const LoadedAsData host(HostPath());
  const std::vector<uint8_t> manifest =
      host.Resource(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_FALSE(manifest.empty());
  const std::string text(manifest.begin(), manifest.end());
  for (const char* expected :
       {"level=\"asInvoker\"", "uiAccess=\"false\"", ">PerMonitorV2</dpiAwareness>",
        "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
        "xmlns=\"urn:schemas-microsoft-com:asm.v1\""}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  }
}

}  // namespace
}  // namespace halvex::testing
