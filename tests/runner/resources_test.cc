// The executable's resources are compiled only where a resource compiler exists, so their fixed
// values are checked here from the source files themselves.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kResourceDirectory = HALVEX_RUNNER_RESOURCES_DIR;

std::string ReadFile(const std::string& name) {
  std::ifstream file(kResourceDirectory + "/" + name, std::ios::binary);
  EXPECT_TRUE(file.good()) << name;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Whitespace runs become one space, so the checks do not depend on the script's layout.
std::string Collapse(const std::string& text) {
  return std::regex_replace(text, std::regex("[ \\t]+"), " ");
}

uint32_t ReadLittle(const std::string& bytes, size_t offset, size_t size) {
  uint32_t value = 0;
  for (size_t i = 0; i < size; ++i) {
    value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes.at(offset + i))) << (8 * i);
  }
  return value;
}

uint32_t ReadBig32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value = (value << 8) | static_cast<uint8_t>(bytes.at(offset + i));
  }
  return value;
}

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char byte : bytes) {
    crc ^= static_cast<uint8_t>(byte);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
  }
  return ~crc;
}

// The string table entries of the version block, by name.
std::map<std::string, std::string> VersionStrings(const std::string& script) {
  std::map<std::string, std::string> values;
  const std::regex entry("VALUE \"([A-Za-z]+)\", \"([^\"]*)\"");
  for (auto it = std::sregex_iterator(script.begin(), script.end(), entry);
       it != std::sregex_iterator(); ++it) {
    values[(*it)[1]] = (*it)[2];
  }
  return values;
}

TEST(ResourceScriptTest, IconIdentifierIs101AndNamesTheCommittedIcon) {
  const std::string header = ReadFile("resource.h");
  EXPECT_TRUE(std::regex_search(header, std::regex("#define IDI_APP_ICON 101\\b")));
  const std::string script = Collapse(ReadFile("Runner.rc"));
  EXPECT_TRUE(std::regex_search(script, std::regex("\\nIDI_APP_ICON ICON \"app_icon.ico\"")));
  EXPECT_TRUE(std::regex_search(script, std::regex("#include \"resource.h\"")));
}

TEST(ResourceScriptTest, FixedVersionInformation) {
  const std::string script = Collapse(ReadFile("Runner.rc"));
  const struct {
    const char* pattern;
  } kRequired[] = {
      {"\\n FILEVERSION 0,1,0,14\\n"},
      {"\\n PRODUCTVERSION 0,1,0,14\\n"},
      {"\\n FILEOS VOS__WINDOWS32\\n"},
      {"\\n FILETYPE VFT_APP\\n"},
      {"BLOCK \"StringFileInfo\"\\s+BEGIN\\s+BLOCK \"040904e4\""},
      {"BLOCK \"VarFileInfo\"\\s+BEGIN\\s+VALUE \"Translation\", 0x409, 1252\\s+END"},
      {"\\nCREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST \"runner.exe.manifest\""},
  };
  for (const auto& required : kRequired) {
    EXPECT_TRUE(std::regex_search(script, std::regex(required.pattern))) << required.pattern;
  }
}

TEST(ResourceScriptTest, VersionStrings) {
  const std::map<std::string, std::string> strings =
      VersionStrings(Collapse(ReadFile("Runner.rc")));
  const std::map<std::string, std::string> kFixed = {
      {"FileDescription", "Halvex"},
      {"ProductName", "Halvex"},
      {"FileVersion", "0.1.0+14"},
      {"ProductVersion", "0.1.0+14"},
  };
  for (const auto& [name, value] : kFixed) {
    ASSERT_EQ(strings.count(name), 1u) << name;
    EXPECT_EQ(strings.at(name), value) << name;
  }
  for (const char* name : {"CompanyName", "LegalCopyright", "InternalName", "OriginalFilename"}) {
    ASSERT_EQ(strings.count(name), 1u) << name;
    EXPECT_FALSE(strings.at(name).empty()) << name;
  }
  EXPECT_EQ(strings.size(), 8u);
}

// One element of the manifest: its name, attributes and the text up to the next tag.
struct Element {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;
};

std::vector<Element> Elements(const std::string& xml) {
  std::vector<Element> elements;
  const std::regex tag("<([A-Za-z][\\w.:]*)([^>]*?)/?>([^<]*)");
  const std::regex attribute("([\\w.:]+)=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), tag); it != std::sregex_iterator();
       ++it) {
    Element element{(*it)[1], {}, (*it)[3]};
    const std::string attributes = (*it)[2];
    for (auto at = std::sregex_iterator(attributes.begin(), attributes.end(), attribute);
         at != std::sregex_iterator(); ++at) {
      element.attributes[(*at)[1]] = (*at)[2];
    }
    elements.push_back(element);
  }
  return elements;
}

std::vector<Element> Named(const std::vector<Element>& elements, const std::string& name) {
  std::vector<Element> found;
  for (const Element& element : elements) {
    if (element.name == name) {
      found.push_back(element);
    }
  }
  return found;
}

TEST(ManifestTest, ExecutionLevelDpiAwarenessAndSupportedSystem) {
  const std::vector<Element> elements = Elements(ReadFile("runner.exe.manifest"));

  const auto assembly = Named(elements, "assembly");
  ASSERT_EQ(assembly.size(), 1u);
  EXPECT_EQ(assembly[0].attributes.at("xmlns"), "urn:schemas-microsoft-com:asm.v1");
  EXPECT_EQ(assembly[0].attributes.at("manifestVersion"), "1.0");

  const auto trust = Named(elements, "trustInfo");
  ASSERT_EQ(trust.size(), 1u);
  EXPECT_EQ(trust[0].attributes.at("xmlns"), "urn:schemas-microsoft-com:asm.v3");
  const auto level = Named(elements, "requestedExecutionLevel");
  ASSERT_EQ(level.size(), 1u);
  EXPECT_EQ(level[0].attributes,
            (std::map<std::string, std::string>{{"level", "asInvoker"}, {"uiAccess", "false"}}));

  const auto awareness = Named(elements, "dpiAwareness");
  ASSERT_EQ(awareness.size(), 1u);
  EXPECT_EQ(awareness[0].attributes.at("xmlns"),
            "http://schemas.microsoft.com/SMI/2016/WindowsSettings");
  EXPECT_EQ(awareness[0].text, "PerMonitorV2");

  const auto compatibility = Named(elements, "compatibility");
  ASSERT_EQ(compatibility.size(), 1u);
  EXPECT_EQ(compatibility[0].attributes.at("xmlns"), "urn:schemas-microsoft-com:compatibility.v1");
  const auto supported = Named(elements, "supportedOS");
  ASSERT_EQ(supported.size(), 1u);
  EXPECT_EQ(supported[0].attributes.at("Id"), "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}");
}

TEST(IconTest, OneFortyEightPixelThirtyTwoBitPngImage) {
  const std::string icon = ReadFile("app_icon.ico");
  ASSERT_GE(icon.size(), 22u);
  EXPECT_EQ(ReadLittle(icon, 0, 2), 0u);  // reserved
  EXPECT_EQ(ReadLittle(icon, 2, 2), 1u);  // icon, not cursor
  ASSERT_EQ(ReadLittle(icon, 4, 2), 1u);  // one image

  EXPECT_EQ(ReadLittle(icon, 6, 1), 48u);   // width
  EXPECT_EQ(ReadLittle(icon, 7, 1), 48u);   // height
  EXPECT_EQ(ReadLittle(icon, 8, 1), 0u);    // no palette
  EXPECT_EQ(ReadLittle(icon, 9, 1), 0u);    // reserved
  EXPECT_EQ(ReadLittle(icon, 10, 2), 1u);   // planes
  EXPECT_EQ(ReadLittle(icon, 12, 2), 32u);  // bits per pixel
  const uint32_t size = ReadLittle(icon, 14, 4);
  const uint32_t offset = ReadLittle(icon, 18, 4);
  ASSERT_EQ(offset, 22u);
  ASSERT_EQ(offset + size, icon.size());

  const std::string png = icon.substr(offset, size);
  ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  ASSERT_EQ(ReadBig32(png, 8), 13u);
  ASSERT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(ReadBig32(png, 16), 48u);               // width
  EXPECT_EQ(ReadBig32(png, 20), 48u);               // height
  EXPECT_EQ(static_cast<uint8_t>(png.at(24)), 8u);  // bits per channel
  EXPECT_EQ(static_cast<uint8_t>(png.at(25)), 6u);  // RGBA: 32 bits per pixel
  EXPECT_EQ(static_cast<uint8_t>(png.at(26)), 0u);  // deflate
  EXPECT_EQ(static_cast<uint8_t>(png.at(27)), 0u);  // adaptive filtering
  EXPECT_EQ(static_cast<uint8_t>(png.at(28)), 0u);  // not interlaced
  EXPECT_EQ(ReadBig32(png, 29), Crc32(png.substr(12, 17)));

  // The chunks run to an IEND at the very end, each with a correct checksum.
  size_t position = 8;
  std::string last_kind;
  while (position + 12 <= png.size()) {
    const uint32_t length = ReadBig32(png, position);
    ASSERT_LE(position + 12 + length, png.size());
    last_kind = png.substr(position + 4, 4);
    EXPECT_EQ(ReadBig32(png, position + 8 + length), Crc32(png.substr(position + 4, 4 + length)))
        << last_kind;
    position += 12 + length;
  }
  EXPECT_EQ(position, png.size());
  EXPECT_EQ(last_kind, "IEND");
}

}  // namespace
