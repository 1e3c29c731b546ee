// The release section: the version read from a Windows program's version
// resource (over files built here, whole, cut short and damaged) and the
// lines printed for the update server's configuration.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tools/pe_version.h"
#include "tools/release_section.h"

namespace qarx::tools {
namespace {

using Version = std::array<uint16_t, 4>;

struct PeShape {
  bool pe32plus = false;
  uint16_t resourceType = 16;   // RT_VERSION
  uint32_t resourceRva = 0x1000;
  uint32_t dataRva = 0x1058;    // where the data entry says VS_VERSIONINFO is
};

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// A minimal program: headers, one ".rsrc" section at file offset 0x200
// (address 0x1000) with RT_VERSION / 1 / 1033 -> VS_VERSIONINFO.
std::vector<uint8_t> MakePe(const Version& v, const PeShape& shape = {}) {
  std::vector<uint8_t> b(0x200 + 0x58 + 92, 0);
  b[0] = 'M', b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  std::memcpy(&b[0x40], "PE\0\0", 4);
  const uint32_t optionalSize = shape.pe32plus ? 240 : 224;
  Put16(b, 0x44, shape.pe32plus ? 0x8664 : 0x14C);
  Put16(b, 0x46, 1);  // sections
  Put16(b, 0x54, optionalSize);
  const size_t optional = 0x58;
  Put16(b, optional, shape.pe32plus ? 0x20B : 0x10B);
  Put32(b, optional + (shape.pe32plus ? 108 : 92), 16);
  Put32(b, optional + (shape.pe32plus ? 112 : 96) + 16, shape.resourceRva);
  Put32(b, optional + (shape.pe32plus ? 112 : 96) + 20, 0x58 + 92);
  const size_t section = optional + optionalSize;
  std::memcpy(&b[section], ".rsrc", 5);
  Put32(b, section + 8, 0x58 + 92);   // size in memory
  Put32(b, section + 12, 0x1000);     // address
  Put32(b, section + 16, 0x58 + 92);  // size in the file
  Put32(b, section + 20, 0x200);      // file offset
  const size_t r = 0x200;
  Put16(b, r + 14, 1), Put32(b, r + 16, shape.resourceType), Put32(b, r + 20, 0x80000018);
  Put16(b, r + 0x18 + 14, 1), Put32(b, r + 0x18 + 16, 1), Put32(b, r + 0x18 + 20, 0x80000030);
  Put16(b, r + 0x30 + 14, 1), Put32(b, r + 0x30 + 16, 1033), Put32(b, r + 0x30 + 20, 0x48);
  Put32(b, r + 0x48, shape.dataRva), Put32(b, r + 0x4C, 92);
  const size_t info = r + 0x58;
  Put16(b, info, 92), Put16(b, info + 2, 52);
  const char16_t key[] = u"VS_VERSION_INFO";
  for (size_t i = 0; i < 15; ++i) Put16(b, info + 6 + 2 * i, key[i]);
  Put32(b, info + 40, 0xFEEF04BD);
  Put32(b, info + 48, static_cast<uint32_t>(v[0]) << 16 | v[1]);
  Put32(b, info + 52, static_cast<uint32_t>(v[2]) << 16 | v[3]);
  return b;
}

int32_t Read(const std::vector<uint8_t>& file, Version& version) {
  return ReadPeFileVersion(
      [&file](uint64_t offset, void* out, size_t size) {
        if (offset > file.size() || size > file.size() - offset) return false;
        std::memcpy(out, file.data() + offset, size);
        return true;
      },
      version);
}

TEST(PeFileVersion, FoundIn32And64BitPrograms) {
  for (bool pe32plus : {false, true}) {
    Version version{};
    EXPECT_EQ(Read(MakePe({1, 2, 3, 65535}, {pe32plus}), version), kPeVersionFound) << pe32plus;
    EXPECT_EQ(version, (Version{1, 2, 3, 65535}));
  }
}

TEST(PeFileVersion, OtherFilesAndProgramsWithoutAVersionSayWhich) {
  const std::vector<uint8_t> good = MakePe({1, 0, 0, 2});
  std::vector<uint8_t> text(good.size(), 'x');
  std::vector<uint8_t> noPe = good;
  noPe[0x41] = 'X';
  struct Row {
    const char* what;
    std::vector<uint8_t> file;
    int32_t result;
  } rows[] = {
      {"empty", {}, kPeNotAProgram},
      {"text", text, kPeNotAProgram},
      {"MZ without PE", noPe, kPeNotAProgram},
      {"no resources", MakePe({}, {false, 16, 0}), kPeNoVersion},
      {"icons only", MakePe({}, {false, 3}), kPeNoVersion},
      {"resources outside every section", MakePe({}, {false, 16, 0x9000}), kPeDamaged},
      {"version data outside every section", MakePe({}, {false, 16, 0x1000, 0x7FFFFFF0}), kPeDamaged},
  };
  for (const Row& row : rows) {
    Version version{9, 9, 9, 9};
    EXPECT_EQ(Read(row.file, version), row.result) << row.what;
    EXPECT_EQ(version, (Version{9, 9, 9, 9})) << row.what;
  }
  // Cut short anywhere before the version's last byte: never a version,
  // never a read outside the file.
  const size_t needed = 0x200 + 0x58 + 56;
  for (size_t length = 0; length < needed; ++length) {
    Version version{};
    EXPECT_NE(Read(std::vector<uint8_t>(good.begin(), good.begin() + length), version), kPeVersionFound) << length;
  }
}

TEST(ReleaseSection, LinesForTheUpdateServer) {
  Version parsed{};
  EXPECT_TRUE(ParseVersion("1.0.65535.2", parsed));
  EXPECT_EQ(parsed, (Version{1, 0, 65535, 2}));
  for (const char* bad : {"", "1.0.0", "1.0.0.2.", "1.0.0.65536", "1..0.2", "a.b.c.d", "1.0.0.2 ", "-1.0.0.2"})
    EXPECT_FALSE(ParseVersion(bad, parsed)) << bad;

  ReleaseFacts facts;
  facts.baseUrl = "https://update.test/static/basis/ic/";
  facts.fileName = "build/out/Setup 1.2.exe";
  facts.size = 2049;
  facts.digest.fill(0xAB);
  facts.versionFound = kPeVersionFound;
  facts.fileVersion = {1, 2, 3, 4};
  std::string text;
  EXPECT_EQ(ReleaseSection(facts, text), "");
  std::string hex;
  for (int i = 0; i < 32; ++i) hex += "ab";
  EXPECT_EQ(text, "[Server]\r\nURL=https://update.test/static/basis/ic/Setup%201.2.exe\r\nSize=3\r\n"
                  "VersionMajor=1\r\nVersionBuild=2\r\nVersionRevision=3\r\nVersionMinor=4\r\nSHA256=" +
                      hex + "\r\n");

  // The command line's version must agree with the file's, and stands in
  // for a file that has none.
  facts.versionGiven = true;
  facts.givenVersion = {1, 2, 3, 5};
  EXPECT_EQ(ReleaseSection(facts, text), "the file's version resource says 1.2.3.4, the command line 1.2.3.5");
  facts.versionFound = kPeNotAProgram;
  EXPECT_EQ(ReleaseSection(facts, text), "");
  EXPECT_NE(text.find("VersionMinor=5\r\n"), std::string::npos);
  facts.versionGiven = false;
  EXPECT_EQ(ReleaseSection(facts, text), "build/out/Setup 1.2.exe is not a Windows program: give its version");
}

}  // namespace
}  // namespace qarx::tools
