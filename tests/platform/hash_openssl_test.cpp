#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/text.h"
#include "platform/linux/linux_ports.h"

namespace qarx::linux_port {
namespace {

namespace fs = std::filesystem;

std::string Hex(const Sha256Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

class HashLinux : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qarx-hash-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::u16string Write(const std::string& name, const std::string& content) {
    std::ofstream(dir_ / name, std::ios::binary) << content;
    return FromUtf8((dir_ / name).string());
  }
  // The digest in hex, or "failed".
  std::string Digest(const std::u16string& path) {
    Sha256Digest digest{};
    return hash_->Sha256File(path, digest) ? Hex(digest) : "failed";
  }
  fs::path dir_;
  std::unique_ptr<HashPort> hash_ = MakeHashPort();
};

TEST_F(HashLinux, KnownDigestsAcrossReadBoundaries) {
  EXPECT_EQ(Digest(Write("empty", "")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Digest(Write("abc", "abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // One million 'a': many reads, the last one partial.
  EXPECT_EQ(Digest(Write("million", std::string(1000000, 'a'))),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST_F(HashLinux, WhatCannotBeReadFails) {
  EXPECT_EQ(Digest(FromUtf8((dir_ / "missing").string())), "failed");
  EXPECT_EQ(Digest(FromUtf8(dir_.string())), "failed");
  const std::u16string target = Write("target", "abc");
  fs::create_symlink(dir_ / "target", dir_ / "link");
  EXPECT_EQ(Digest(FromUtf8((dir_ / "link").string())), "failed");
  EXPECT_NE(Digest(target), "failed");
}

TEST_F(HashLinux, FileBeingWrittenIsNotRead) {
  const std::u16string path = FromUtf8((dir_ / "busy").string());
  std::unique_ptr<FilePort> files = MakeFilePort();
  auto writer = files->CreateFile(path);
  ASSERT_NE(writer, nullptr);
  uint32_t written = 0;
  ASSERT_TRUE(writer->Write("abc", 3, written));
  EXPECT_EQ(Digest(path), "failed");
  writer.reset();
  EXPECT_EQ(Digest(path), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
}  // namespace qarx::linux_port
