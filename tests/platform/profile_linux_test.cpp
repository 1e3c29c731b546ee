#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/text.h"
#include "support/file_bytes.h"
#include "platform/linux/linux_ports.h"

namespace qarx::linux_port {
namespace {

namespace fs = std::filesystem;

class ProfileLinux : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qarx-profile-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    unsetenv("QARX_WINDOWS_ROOT");
    fs::remove_all(dir_);
  }
  std::u16string Put(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return FromUtf8((dir_ / name).string());
  }
  std::u16string Get(const std::u16string& file, const std::u16string& section, const std::u16string& key) {
    std::u16string out;
    profile_->GetString(section, key, u"<none>", out, 1024, file);
    return out;
  }
  fs::path dir_;
  std::unique_ptr<ProfilePort> profile_ = MakeProfilePort();
};

TEST_F(ProfileLinux, ReadsEveryEncodingOfTheSameFile) {
  const std::u16string text = u"[Control]\r\nURL=https://h/控件.exe\r\nSize=180\r\n";
  const std::u16string files[] = {Put("le.ini", qarx::testing::Utf16LeWithBom(text)), Put("bom.ini", "\xEF\xBB\xBF" + ToUtf8(text)),
                                  Put("plain.ini", ToUtf8(text))};
  for (const auto& file : files) {
    EXPECT_EQ(Get(file, u"control", u"url"), u"https://h/控件.exe");
    EXPECT_EQ(profile_->GetInt(u"Control", u"Size", -1, file), 180u);
  }
}

TEST_F(ProfileLinux, EightBitFileStillYieldsItsKeys) {
  // Latin-1 bytes that are not UTF-8; in the C locale they read as U+FFFD.
  setenv("LC_ALL", "C", 1);
  const std::u16string file = Put("ansi.inf", "[Version]\r\nProvider=Caf\xE9\r\nClass=SmartCardReader\r\n");
  EXPECT_EQ(Get(file, u"Version", u"Class"), u"SmartCardReader");
  EXPECT_EQ(Get(file, u"Version", u"Provider"), u"Caf\uFFFD");
  unsetenv("LC_ALL");
}

TEST_F(ProfileLinux, MissingFileGivesDefaults) {
  const std::u16string file = FromUtf8((dir_ / "none.ini").string());
  EXPECT_EQ(Get(file, u"CCID", u"URL"), u"<none>");
  EXPECT_EQ(profile_->GetInt(u"CCID", u"Size", -1, file), 4294967295u);
}

TEST_F(ProfileLinux, WindowsPathsMapIntoTheRoot) {
  setenv("QARX_WINDOWS_ROOT", dir_.c_str(), 1);
  fs::create_directories(dir_ / "drive_c" / "Windows" / "inf");
  std::ofstream(dir_ / "drive_c" / "Windows" / "inf" / "oem1.inf") << "[Version]\nClass=SmartCardReader\n";
  EXPECT_EQ(Get(u"C:\\Windows\\inf\\oem1.inf", u"Version", u"Class"), u"SmartCardReader");
}

}  // namespace
}  // namespace qarx::linux_port
