#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <latch>
#include <string>
#include <thread>

#include "common/text.h"
#include "platform/linux/linux_ports.h"
#include "platform/linux/named_mutex_linux.h"

extern char** environ;

namespace qarx::linux_port {
namespace {

namespace fs = std::filesystem;

// A qarx-mutex process holding NAME, driven through its pipes.
class Holder {
 public:
  explicit Holder(const std::string& name) {
    int in[2];
    int out[2];
    EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const std::string tool = ToolPath();
    char* argv[] = {const_cast<char*>(tool.c_str()), const_cast<char*>(name.c_str()), nullptr};
    EXPECT_EQ(posix_spawn(&pid_, tool.c_str(), &actions, nullptr, argv, environ), 0) << tool;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
  }
  ~Holder() {
    Kill();
    if (input_ >= 0) close(input_);
    close(output_);
  }
  // True once the holder printed "held" within timeoutMs.
  bool Held(int timeoutMs) {
    pollfd fd{output_, POLLIN, 0};
    while (seen_.find("held\n") == std::string::npos) {
      if (poll(&fd, 1, timeoutMs) <= 0) return false;
      char buffer[64];
      const ssize_t got = read(output_, buffer, sizeof buffer);
      if (got <= 0) return false;
      seen_.append(buffer, static_cast<size_t>(got));
    }
    return true;
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    Reap();
  }
  // Closes its standard input and returns its exit status.
  int CloseInput() {
    close(input_);
    input_ = -1;
    return Reap();
  }

  static std::string ToolPath() {
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    return fs::path(std::string(self, length > 0 ? static_cast<size_t>(length) : 0)).parent_path() / "qarx-mutex";
  }

 private:
  int Reap() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string seen_;
};

class NamedMutexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qarx-mutex-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    fs::create_directory(root_ / "run");
    fs::permissions(root_ / "run", fs::perms::owner_all, fs::perm_options::replace);
    setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_RUNTIME_DIR");
    unsetenv("TMPDIR");
    fs::remove_all(root_);
  }
  std::unique_ptr<NamedMutex> Create(const std::u16string& name, bool owner, bool& existed) {
    return port_->Create(name, owner, existed);
  }
  std::unique_ptr<NamedMutex> Create(const std::u16string& name, bool owner = false) {
    bool existed = false;
    return port_->Create(name, owner, existed);
  }
  bool Exists(const std::u16string& name) {
    // A probe from a fresh port sees only what the kernel locks say.
    bool existed = false;
    auto probe = MakeMutexPort()->Create(name, false, existed);
    EXPECT_NE(probe, nullptr);
    return existed;
  }

  fs::path root_;
  std::unique_ptr<MutexPort> port_ = MakeMutexPort();
};

const std::u16string kName = u"the Mutex of the Veltrane IC Card Terminal Server!";

TEST(MutexNameEncoding, IsReversibleAndSafeForFileNames) {
  const struct {
    std::u16string name;
    std::string file;
  } cases[] = {
      {u"the Mutex of CQarxService Class!", "the Mutex of CQarxService Class!"},
      {u"a/b", "a%2Fb"},
      {u"50%", "50%25"},
      {u".hidden", "%2Ehidden"},
      {u"..", "%2E."},
      {u"a.b_c-d", "a.b_c-d"},
      {u"Global\\x", "Global%5Cx"},
      {u"互联网", "%E4%BA%92%E8%81%94%E7%BD%91"},
      {u"tab\there", "tab%09here"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeMutexName(c.name), c.file);
    std::u16string back;
    EXPECT_TRUE(DecodeMutexName(c.file, back)) << c.file;
    EXPECT_EQ(back, c.name) << c.file;
  }
}

TEST(MutexNameEncoding, RejectsOtherSpellings) {
  for (const char* file : {"a/b", "%2", "%zz", "a%2fb", ".hidden", "%41", "50%"}) {
    std::u16string name;
    EXPECT_FALSE(DecodeMutexName(file, name)) << file;
  }
}

TEST_F(NamedMutexTest, NameExistsWhileAnyHandleIsOpen) {
  bool existed = true;
  auto first = Create(kName, true, existed);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(existed);
  auto second = Create(kName, true, existed);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(existed);
  EXPECT_TRUE(Exists(kName));
  first.reset();
  EXPECT_TRUE(Exists(kName));
  second.reset();
  EXPECT_FALSE(Exists(kName));
  auto again = Create(kName, false, existed);
  EXPECT_FALSE(existed);
}

TEST_F(NamedMutexTest, OwnershipIsPerThreadAndRecursive) {
  auto mutex = Create(kName, true);
  ASSERT_NE(mutex, nullptr);
  EXPECT_TRUE(mutex->Wait());  // the owner may wait again
  std::atomic<bool> releasedElsewhere{true};
  std::thread([&] { releasedElsewhere = mutex->Release(); }).join();
  EXPECT_FALSE(releasedElsewhere);
  EXPECT_TRUE(mutex->Release());
  EXPECT_TRUE(mutex->Release());
  EXPECT_FALSE(mutex->Release());  // no longer owned
}

TEST_F(NamedMutexTest, InitialOwnershipOnlyForANewName) {
  auto creator = Create(kName, true);
  ASSERT_NE(creator, nullptr);
  std::atomic<bool> existed{false};
  std::atomic<bool> owned{true};
  std::thread([&] {
    bool e = false;
    auto late = Create(kName, true, e);
    existed = e;
    owned = late && late->Release();
  }).join();
  EXPECT_TRUE(existed);
  EXPECT_FALSE(owned);
}

TEST_F(NamedMutexTest, WaitBlocksOtherThreadsUntilReleased) {
  auto mutex = Create(kName, true);
  auto other = Create(kName);  // a second handle of the same process
  ASSERT_NE(mutex, nullptr);
  ASSERT_NE(other, nullptr);
  std::atomic<int> step{0};
  std::atomic<int> releasedAt{0};
  std::atomic<int> acquiredAt{0};
  std::latch waiting(3);  // both waiters are at their Wait before the release
  std::thread waiterOnSameHandle([&] {
    waiting.count_down();
    mutex->Wait();
    acquiredAt = ++step;
    mutex->Release();
  });
  std::thread waiterOnOtherHandle([&] {
    waiting.count_down();
    other->Wait();
    ++step;
    other->Release();
  });
  waiting.arrive_and_wait();
  releasedAt = ++step;
  mutex->Release();
  waiterOnSameHandle.join();
  waiterOnOtherHandle.join();
  EXPECT_EQ(releasedAt, 1);
  EXPECT_GT(acquiredAt, releasedAt);
  EXPECT_EQ(step, 3);
}

TEST_F(NamedMutexTest, UnnamedMutexesNeverExistBefore) {
  bool existed = true;
  auto a = Create(u"", true, existed);
  EXPECT_FALSE(existed);
  auto b = Create(u"", false, existed);
  EXPECT_FALSE(existed);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(b->Wait());  // a different mutex from a's
}

TEST_F(NamedMutexTest, AnotherProcessHoldingTheNameIsSeenAndItsDeathFreesIt) {
  Holder holder(ToUtf8(kName));
  ASSERT_TRUE(holder.Held(10000));
  bool existed = false;
  auto mine = Create(kName, true, existed);
  ASSERT_NE(mine, nullptr);
  EXPECT_TRUE(existed);
  EXPECT_FALSE(mine->Release());  // not granted: the name existed

  std::atomic<bool> owned{false};
  std::thread waiter([&] { owned = mine->Wait(); });
  holder.Kill();  // SIGKILL: the kernel drops its locks
  waiter.join();
  EXPECT_TRUE(owned);
  mine.reset();
  EXPECT_FALSE(Exists(kName));
}

TEST_F(NamedMutexTest, AProcessWaitsWhileThisOneOwns) {
  auto mine = Create(u"a/b 互 50%!", true);
  ASSERT_NE(mine, nullptr);
  Holder holder("a/b 互 50%!");
  // Never "held" while owned here (no time limit decides a pass).
  EXPECT_FALSE(holder.Held(300));
  EXPECT_TRUE(mine->Release());
  EXPECT_TRUE(holder.Held(10000));
}

TEST_F(NamedMutexTest, AWaitingProcessGetsTheMutexWhenTheHolderIsKilled) {
  Holder first("shared name");
  ASSERT_TRUE(first.Held(10000));
  Holder second("shared name");
  EXPECT_FALSE(second.Held(300));
  first.Kill();
  EXPECT_TRUE(second.Held(10000));
}

TEST_F(NamedMutexTest, HolderLetsGoWhenItsInputCloses) {
  Holder holder(ToUtf8(kName));
  ASSERT_TRUE(holder.Held(10000));
  EXPECT_TRUE(Exists(kName));
  EXPECT_EQ(holder.CloseInput(), 0);
  EXPECT_FALSE(Exists(kName));
}

TEST_F(NamedMutexTest, FallsBackToAPrivateFolderUnderTheTemporaryFolder) {
  unsetenv("XDG_RUNTIME_DIR");
  setenv("TMPDIR", root_.c_str(), 1);
  ASSERT_NE(Create(kName), nullptr);
  const fs::path folder = root_ / ("qarx-mutex-" + std::to_string(geteuid()));
  struct stat info {};
  ASSERT_EQ(lstat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(fs::exists(folder / EncodeMutexName(kName)));
}

TEST_F(NamedMutexTest, RefusesAFolderOthersCouldReachOrASymlink) {
  unsetenv("XDG_RUNTIME_DIR");
  setenv("TMPDIR", root_.c_str(), 1);
  const fs::path folder = root_ / ("qarx-mutex-" + std::to_string(geteuid()));
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec,
                  fs::perm_options::replace);
  EXPECT_EQ(Create(kName), nullptr);

  fs::remove(folder);
  fs::create_directory(root_ / "elsewhere");
  fs::permissions(root_ / "elsewhere", fs::perms::owner_all, fs::perm_options::replace);
  fs::create_directory_symlink(root_ / "elsewhere", folder);
  EXPECT_EQ(Create(kName), nullptr);
}

}  // namespace
}  // namespace qarx::linux_port
