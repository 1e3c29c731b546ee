#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/text.h"
#include "platform/linux/linux_ports.h"
#include "update_server_process.h"

namespace qarx::linux_port {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;

class LauncherLinux : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qarx-launch-" + std::to_string(getpid()));
    fs::create_directories(dir_ / "bin");
    const char* path = std::getenv("PATH");
    savedPath_ = path ? path : "";
    // Only the test's own folder: whether wine or xdg-open is installed on
    // this machine must not matter. Test programs set their own PATH.
    setenv("PATH", (dir_ / "bin").string().c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", savedPath_.c_str(), 1);
    fs::remove_all(dir_);
  }
  void Write(const fs::path& path, const std::string& text, bool executable) {
    std::ofstream(path) << text;
    chmod(path.c_str(), executable ? 0755 : 0644);
  }
  // Waits for the started program to leave its mark.
  std::string Await(const fs::path& path) {
    for (int i = 0; i < 250 && !fs::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return ReadFile(path.string());
  }
  fs::path dir_;
  std::string savedPath_;
  std::unique_ptr<LauncherPort> launcher_ = MakeLauncherPort();
};

TEST_F(LauncherLinux, StartsTheExactPathDetached) {
  const fs::path program = dir_ / "Setup Tool.exe";  // a space, and no execute bit yet
  const fs::path mark = dir_ / "mark";
  Write(program,
        "#!/bin/sh\n"
        "PATH=/usr/bin:/bin\n"
        "echo \"$0|$#|$(readlink /proc/$$/fd/1)|$(cut -d' ' -f6 /proc/$$/stat)|\" > '" + mark.string() + "'\n",
        false);
  EXPECT_GE(launcher_->Execute(FromUtf8(program.string()), 5), 32u);
  const std::string seen = Await(mark);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.substr(0, seen.find('|')), program.string());
  EXPECT_NE(seen.find("|0|/dev/null|"), std::string::npos) << seen;
  // A session of its own, not the caller's.
  const std::string tail = seen.substr(seen.find("/dev/null|") + 10);
  EXPECT_NE(tail.substr(0, tail.find('|')), std::to_string(getsid(0)));
  EXPECT_TRUE(fs::status(program).permissions() != fs::perms::none &&
              (fs::status(program).permissions() & fs::perms::owner_exec) != fs::perms::none);
}

TEST_F(LauncherLinux, MissingProgramIsNotStarted) {
  EXPECT_LT(launcher_->Execute(FromUtf8((dir_ / "none.exe").string()), 5), 32u);
}

TEST_F(LauncherLinux, WindowsProgramGoesThroughWine) {
  const fs::path program = dir_ / "VLT_Terminal_Control.exe";
  Write(program, std::string("MZ\x90\x00\x03\x00\x00\x00", 8), false);
  // Only the test's folder on PATH: a wine the machine has installed is not ours to find.
  setenv("PATH", (dir_ / "bin").c_str(), 1);
  EXPECT_LT(launcher_->Execute(FromUtf8(program.string()), 5), 32u);  // no wine yet

  const fs::path mark = dir_ / "wine-args";
  Write(dir_ / "bin" / "wine", "#!/bin/sh\necho \"$#:$1\" > '" + mark.string() + "'\n", true);
  EXPECT_GE(launcher_->Execute(FromUtf8(program.string()), 5), 32u);
  EXPECT_EQ(Await(mark), "1:" + program.string() + "\n");
}

// A program whose file another process still holds open for writing (as a
// child forked by a concurrent launch briefly does) starts once it is let go.
TEST_F(LauncherLinux, BusyProgramFileStartsOnceReleased) {
  const fs::path program = dir_ / "VLT_Terminal_Server.exe";
  const fs::path mark = dir_ / "busy-mark";
  Write(program, "#!/bin/sh\necho started > '" + mark.string() + "'\n", true);
  const pid_t holder = fork();
  if (holder == 0) {
    const int fd = open(program.c_str(), O_WRONLY | O_APPEND);
    usleep(300'000);
    close(fd);
    _exit(0);
  }
  usleep(50'000);  // the holder has the file open by now
  EXPECT_GE(launcher_->Execute(FromUtf8(program.string()), 5), 32u);
  EXPECT_EQ(Await(mark), "started\n");
  waitpid(holder, nullptr, 0);
}

TEST_F(LauncherLinux, OpenUrlUsesXdgOpen) {
  EXPECT_FALSE(launcher_->OpenUrl(u"http://portal.test/", 1));
  const fs::path mark = dir_ / "opened";
  Write(dir_ / "bin" / "xdg-open", "#!/bin/sh\necho \"$1\" > '" + mark.string() + "'\n", true);
  EXPECT_TRUE(launcher_->OpenUrl(u"http://portal.test/a b", 1));
  EXPECT_EQ(Await(mark), "http://portal.test/a b\n");
}

}  // namespace
}  // namespace qarx::linux_port
