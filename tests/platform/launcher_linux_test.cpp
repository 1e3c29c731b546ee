#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/text.h"
#include "platform/linux/linux_ports.h"
#include "support/wait_until.h"
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
    // A PATH of the test's own: what the machine has installed (wine,
    // xdg-open) must not decide the outcome.
    setenv("PATH", (dir_ / "bin").c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", savedPath_.c_str(), 1);
    fs::remove_all(dir_);
  }
  void Write(const fs::path& path, const std::string& text, bool executable) {
    std::ofstream(path) << text;
    chmod(path.c_str(), executable ? 0755 : 0644);
  }
  // A shell script that writes what `echo` makes of words into mark, whole:
  // written beside it and renamed into place.
  static std::string Marking(const fs::path& mark, const std::string& words) {
    return "#!/bin/sh\nPATH=/usr/bin:/bin\necho " + words + " > '" + mark.string() + ".part' && mv '" +
           mark.string() + ".part' '" + mark.string() + "'\n";
  }
  // Waits for the started program's mark (10 s at most) and reads it.
  std::string Await(const fs::path& path) {
    qarx::testing::WaitUntil([&] { return fs::exists(path); });
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
        Marking(mark, "\"$0|$#|$(readlink /proc/$$/fd/1)|$(cut -d' ' -f6 /proc/$$/stat)|"
                      "$(sed -n 's/^SigBlk:\\t//p;s/^SigIgn:\\t//p' /proc/$$/status | tr '\\n' '|')\""),
        false);
  // What the service blocks and ignores for itself is not the program's business.
  sigset_t blocked;
  sigset_t previous;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  const auto pipeAction = std::signal(SIGPIPE, SIG_IGN);
  EXPECT_GE(launcher_->Execute(FromUtf8(program.string()), 5), 32u);
  std::signal(SIGPIPE, pipeAction);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);

  const std::string seen = Await(mark);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.substr(0, seen.find('|')), program.string());
  EXPECT_NE(seen.find("|0|/dev/null|"), std::string::npos) << seen;
  // A session of its own, not the caller's.
  const std::string tail = seen.substr(seen.find("/dev/null|") + 10);
  EXPECT_NE(tail.substr(0, tail.find('|')), std::to_string(getsid(0)));
  // No signal blocked, none ignored.
  EXPECT_NE(seen.find("|0000000000000000|0000000000000000|"), std::string::npos) << seen;
  EXPECT_TRUE(fs::status(program).permissions() != fs::perms::none &&
              (fs::status(program).permissions() & fs::perms::owner_exec) != fs::perms::none);
}

TEST_F(LauncherLinux, MissingProgramIsNotStarted) {
  EXPECT_LT(launcher_->Execute(FromUtf8((dir_ / "none.exe").string()), 5), 32u);
}

TEST_F(LauncherLinux, WindowsProgramGoesThroughWine) {
  const fs::path program = dir_ / "VLT_Terminal_Control.exe";
  Write(program, std::string("MZ\x90\x00\x03\x00\x00\x00", 8), false);
  EXPECT_LT(launcher_->Execute(FromUtf8(program.string()), 5), 32u);  // no wine on this PATH

  const fs::path mark = dir_ / "wine-args";
  Write(dir_ / "bin" / "wine", Marking(mark, "\"$#:$1\""), true);
  EXPECT_GE(launcher_->Execute(FromUtf8(program.string()), 5), 32u);
  EXPECT_EQ(Await(mark), "1:" + program.string() + "\n");
}

// A program whose file another process still holds open for writing (as a
// child forked by a concurrent launch briefly does) starts once it is let go.
TEST_F(LauncherLinux, BusyProgramFileStartsOnceReleased) {
  const fs::path program = dir_ / "VLT_Terminal_Server.exe";
  const fs::path mark = dir_ / "busy-mark";
  Write(program, Marking(mark, "started"), true);
  int opened[2];
  ASSERT_EQ(pipe(opened), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    const int fd = open(program.c_str(), O_WRONLY | O_APPEND);
    // Let go once a launch has met the busy file: the kernel opened the file
    // to run it, refused, and closed it again. 10 s is a guard, not a measure.
    const int watch = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(watch, program.c_str(), IN_CLOSE_NOWRITE);
    (void)!write(opened[1], "x", 1);
    pollfd refused{watch, POLLIN, 0};
    const int met = poll(&refused, 1, 10'000);
    close(fd);
    _exit(met == 1 ? 0 : 1);
  }
  close(opened[1]);
  char byte = 0;
  ASSERT_EQ(read(opened[0], &byte, 1), 1);  // the holder has the file open now
  close(opened[0]);
  EXPECT_GE(launcher_->Execute(FromUtf8(program.string()), 5), 32u);
  EXPECT_EQ(Await(mark), "started\n");
  int held = -1;
  waitpid(holder, &held, 0);
  EXPECT_TRUE(WIFEXITED(held) && WEXITSTATUS(held) == 0) << "the launch never met the busy file";
}

TEST_F(LauncherLinux, OpenUrlUsesXdgOpen) {
  EXPECT_FALSE(launcher_->OpenUrl(u"http://portal.test/", 1));
  const fs::path mark = dir_ / "opened";
  Write(dir_ / "bin" / "xdg-open", Marking(mark, "\"$1\""), true);
  EXPECT_TRUE(launcher_->OpenUrl(u"http://portal.test/a b", 1));
  EXPECT_EQ(Await(mark), "http://portal.test/a b\n");
}

}  // namespace
}  // namespace qarx::linux_port
