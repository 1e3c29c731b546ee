#include <gtest/gtest.h>

#include <array>

#include "common/text.h"
#include "support/download_world.h"

namespace qarx {
namespace {

using testing::DownloadWorld;

const std::u16string kCcidDefault = u"https://update.test/static/basis/ic/setup_xp.exe";
const std::u16string kControlDefault = u"https://update.test/static/basis/ic/ICCardSetup_1.0.0.1.exe";
const std::u16string kServerDefault = u"https://update.test/static/basis/ic/DozAziDedav_1.0.0.1.exe";
constexpr uint32_t kMissing = 4294967295u;

void ExpectPackage(const PackageInfo& p, const std::u16string& url, int32_t size,
                   std::array<uint32_t, 4> versions) {
  EXPECT_EQ(p.URL, url);
  EXPECT_EQ(p.Size, size);
  EXPECT_EQ((std::array<uint32_t, 4>{p.VersionMajor, p.VersionBuild, p.VersionRevision, p.VersionMinor}), versions);
}

TEST(ReadPackageConfig, FillsThreeKindsFromTheirSections) {
  DownloadWorld w;
  w.files.Put(u"VLT_Terminal_SetupConfig.ini",
              "[CCID]\r\nURL=https://h/ccid.exe\r\nSize=1000\r\nVersionMajor=1\r\nVersionBuild=2\r\n"
              "VersionRevision=3\r\nVersionMinor=4\r\n"
              "[Control]\r\nURL = https://h/ctl.exe \r\nSize=0\r\nVersionMajor=2\r\nVersionMinor=9\r\n"
              "[Server]\r\nSize=-5\r\nVersionMajor=4294967295\r\nVersionBuild=-2\r\n");
  EXPECT_EQ(w.dlg.ReadPackageConfig(), 0);
  ExpectPackage(w.dlg.GetPackage(1), u"https://h/ccid.exe", 1000, {1, 2, 3, 4});
  ExpectPackage(w.dlg.GetPackage(2), u"https://h/ctl.exe", 0, {2, kMissing, kMissing, 9});
  ExpectPackage(w.dlg.GetPackage(3), kServerDefault, 30, {kMissing, kMissing - 1, kMissing, kMissing});
}

TEST(ReadPackageConfig, MissingFileKeepsUrlsAndTakesDefaults) {
  DownloadWorld w;
  EXPECT_EQ(w.dlg.ReadPackageConfig(), 0);
  ExpectPackage(w.dlg.GetPackage(1), kCcidDefault, 2048, {kMissing, kMissing, kMissing, kMissing});
  ExpectPackage(w.dlg.GetPackage(2), kControlDefault, 180, {kMissing, kMissing, kMissing, kMissing});
  ExpectPackage(w.dlg.GetPackage(3), kServerDefault, 30, {kMissing, kMissing, kMissing, kMissing});
}

TEST(ReadPackageConfig, MissingSectionKeepsItsKindsDefaults) {
  DownloadWorld w;
  w.files.Put(u"VLT_Terminal_SetupConfig.ini", "[CCID]\nURL=https://h/c.exe\n[Server]\nURL=https://h/s.exe\nSize=7\n");
  EXPECT_EQ(w.dlg.ReadPackageConfig(), 0);
  ExpectPackage(w.dlg.GetPackage(2), kControlDefault, 180, {kMissing, kMissing, kMissing, kMissing});
  EXPECT_EQ(w.dlg.GetPackage(1).URL, u"https://h/c.exe");
  EXPECT_EQ(w.dlg.GetPackage(3).Size, 7);
}

TEST(ReadPackageConfig, EmptyUrlKeepsTheUrlAndOneKindNeverTouchesAnother) {
  DownloadWorld w;
  w.files.Put(u"VLT_Terminal_SetupConfig.ini", "[CCID]\nURL=https://h/c.exe\n[Control]\nURL=\n[Server]\n");
  EXPECT_EQ(w.dlg.ReadPackageConfig(), 0);
  EXPECT_EQ(w.dlg.GetPackage(1).URL, u"https://h/c.exe");
  EXPECT_EQ(w.dlg.GetPackage(2).URL, kControlDefault);
  EXPECT_EQ(w.dlg.GetPackage(3).URL, kServerDefault);
}

TEST(ReadPackageConfig, LongUrlIsCutTo1023CodeUnits) {
  for (size_t length : {1022u, 1023u, 1024u, 2000u}) {
    DownloadWorld w;
    // Chinese characters: one UTF-16 code unit but three UTF-8 bytes each.
    std::u16string url = u"https://h/";
    while (url.size() < length) url += u"路";
    w.files.Put(u"VLT_Terminal_SetupConfig.ini", "[Server]\nURL=" + ToUtf8(url) + "\n");
    EXPECT_EQ(w.dlg.ReadPackageConfig(), 0);
    EXPECT_EQ(w.dlg.GetPackage(3).URL, url.substr(0, 1023)) << length;
  }
}

TEST(ReadPackageConfig, UnreadableFolderReadsNothing) {
  DownloadWorld w;
  w.files.Put(u"VLT_Terminal_SetupConfig.ini", "[Server]\nSize=5\n");
  w.files.reportedLength = 261;
  EXPECT_EQ(w.dlg.ReadPackageConfig(), -1);
  EXPECT_EQ(w.dlg.GetPackage(3).Size, 0);
  EXPECT_EQ(w.dlg.ReadFirmwareConfig(u"VLT100"), -1);
}

TEST(ReadFirmwareConfig, ReadsTheModelsSectionIntoKindFour) {
  DownloadWorld w;
  w.files.Put(u"VLT_Terminal_SetupConfig.ini",
              "[VLT100]\nURL=https://h/cos100.exe\nSize=-1\nVersionMajor=3\n"
              "[VLT200]\nSize=12\nVersionMajor=5\nVersionBuild=1\nVersionRevision=1\nVersionMinor=1\n");
  EXPECT_EQ(w.dlg.ReadFirmwareConfig(u"VLT100"), 0);
  ExpectPackage(w.dlg.GetPackage(4), u"https://h/cos100.exe", 320, {3, kMissing, kMissing, kMissing});
  // A section without URL keeps the URL an earlier check read.
  EXPECT_EQ(w.dlg.ReadFirmwareConfig(u"vlt200"), 0);
  ExpectPackage(w.dlg.GetPackage(4), u"https://h/cos100.exe", 12, {5, 1, 1, 1});
  EXPECT_EQ(w.dlg.GetPackage(2).URL, kControlDefault);
  // An unknown model: size default, versions missing, URL kept.
  EXPECT_EQ(w.dlg.ReadFirmwareConfig(u"VLT999"), 0);
  ExpectPackage(w.dlg.GetPackage(4), u"https://h/cos100.exe", 320, {kMissing, kMissing, kMissing, kMissing});
}

TEST(ReadPackageConfig, DigestIsReadAsWrittenAndBelongsToItsSection) {
  const std::string digest(64, 'A');
  const std::string tooLong(1100, 'b');  // never cut down to something that looks like a digest
  DownloadWorld w;
  w.files.Put(u"VLT_Terminal_SetupConfig.ini",
              "[CCID]\nSHA256 = " + digest + " \n[Control]\nSHA256=\n[Server]\nSHA256=" + tooLong + "\n"
              "[VLT100]\nURL=https://h/cos.exe\nsha256=12ab\n[VLT200]\nSize=1\n");
  EXPECT_EQ(w.dlg.ReadPackageConfig(), 0);
  EXPECT_EQ(ToUtf8(w.dlg.GetPackage(1).SHA256), digest);
  EXPECT_EQ(w.dlg.GetPackage(2).SHA256, u"");
  EXPECT_EQ(w.dlg.GetPackage(3).SHA256.size(), 1023u);
  EXPECT_EQ(w.dlg.ReadFirmwareConfig(u"VLT100"), 0);
  EXPECT_EQ(w.dlg.GetPackage(4).SHA256, u"12ab");
  // Unlike the URL, another model's digest is never carried over.
  EXPECT_EQ(w.dlg.ReadFirmwareConfig(u"VLT200"), 0);
  EXPECT_EQ(w.dlg.GetPackage(4).URL, u"https://h/cos.exe");
  EXPECT_EQ(w.dlg.GetPackage(4).SHA256, u"");
}

TEST(ReadPackageConfig, Utf16FileReadsLikeUtf8) {
  DownloadWorld w;
  const std::u16string text = u"[Control]\r\nURL=https://h/控件.exe\r\nSize=42\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  w.files.Put(u"VLT_Terminal_SetupConfig.ini", bytes);
  EXPECT_EQ(w.dlg.ReadPackageConfig(), 0);
  EXPECT_EQ(w.dlg.GetPackage(2).URL, u"https://h/控件.exe");
  EXPECT_EQ(w.dlg.GetPackage(2).Size, 42);
}

}  // namespace
}  // namespace qarx
