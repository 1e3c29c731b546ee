#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "common/text.h"
#include "platform/linux/linux_ports.h"
#include "update_server_process.h"

namespace qarx::linux_port {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;

class FilesLinux : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() / ("qarx-files-" + std::to_string(getpid()));
    fs::create_directories(base_);
    setenv("TMPDIR", base_.c_str(), 1);
    private_ = base_ / ("qarx-" + std::to_string(geteuid()));
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    fs::remove_all(base_);
  }
  std::u16string Temp() {
    std::u16string out;
    files_->GetTempPath(260, out);
    return out;
  }
  fs::path base_, private_;
  std::unique_ptr<FilePort> files_ = MakeFilePort();
};

TEST_F(FilesLinux, TemporaryFolderIsPrivateToTheUser) {
  std::u16string out;
  const uint32_t length = files_->GetTempPath(260, out);
  EXPECT_EQ(out, FromUtf8(private_.string() + "/"));
  EXPECT_EQ(length, out.size());
  struct stat st {};
  ASSERT_EQ(lstat(private_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // Too small a buffer: the size it needs, nothing written.
  EXPECT_EQ(files_->GetTempPath(static_cast<uint32_t>(out.size()), out), length + 1);
  EXPECT_TRUE(out.empty());
}

TEST_F(FilesLinux, UnsafeFolderDoesNotFit) {
  const fs::path elsewhere = base_ / "elsewhere";
  fs::create_directories(elsewhere);
  fs::create_directory_symlink(elsewhere, private_);
  std::u16string out;
  EXPECT_GT(files_->GetTempPath(260, out), 260u);
  EXPECT_TRUE(out.empty());

  fs::remove(private_);
  fs::create_directories(private_);
  chmod(private_.c_str(), 0755);
  EXPECT_GT(files_->GetTempPath(260, out), 260u);
}

TEST_F(FilesLinux, FileBeingWrittenCanBeNeitherCreatedNorDeleted) {
  const std::u16string path = Temp() + u"VLT_Terminal_Server.exe";
  auto writer = files_->CreateFile(path);
  ASSERT_NE(writer, nullptr);
  uint32_t written = 0;
  ASSERT_TRUE(writer->Write("first", 5, written));
  EXPECT_EQ(written, 5u);
  EXPECT_TRUE(files_->PathFileExists(path));
  EXPECT_EQ(files_->CreateFile(path), nullptr);
  EXPECT_FALSE(files_->DeleteFile(path));
  EXPECT_EQ(ReadFile(ToUtf8(path)), "first");

  writer.reset();
  auto again = files_->CreateFile(path);  // now allowed, and truncates
  ASSERT_NE(again, nullptr);
  again.reset();
  EXPECT_EQ(ReadFile(ToUtf8(path)), "");
  EXPECT_TRUE(files_->DeleteFile(path));
  EXPECT_FALSE(files_->PathFileExists(path));
  EXPECT_FALSE(files_->DeleteFile(path));
}

TEST_F(FilesLinux, CreateDoesNotFollowLinks) {
  const std::u16string folder = Temp();
  const fs::path victim = base_ / "victim.txt";
  { std::ofstream(victim) << "keep me"; }
  const fs::path link = fs::path(ToUtf8(folder)) / "VLT_Terminal_CCID.exe";
  fs::create_symlink(victim, link);
  EXPECT_EQ(files_->CreateFile(FromUtf8(link.string())), nullptr);
  EXPECT_EQ(ReadFile(victim.string()), "keep me");
  // The link itself counts as a file and can be removed.
  EXPECT_TRUE(files_->PathFileExists(FromUtf8(link.string())));
  EXPECT_TRUE(files_->DeleteFile(FromUtf8(link.string())));
  EXPECT_TRUE(fs::exists(victim));
}

}  // namespace
}  // namespace qarx::linux_port
