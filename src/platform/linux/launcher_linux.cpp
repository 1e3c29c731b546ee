// LauncherPort on Linux. A program is started detached (its own session,
// standard streams on /dev/null, never waited for) with the exact path as
// its only argument; a file the kernel cannot execute (a Windows program)
// goes through wine when wine is installed. URLs go to xdg-open.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/linux/errno_text.h"
#include "platform/linux/linux_ports.h"
#include "platform/linux/windows_paths.h"

namespace qarx::linux_port {

namespace {

constexpr uint32_t kStarted = 33;           // any value of 32 or more means started
constexpr uint32_t kOutOfResources = 0;     // WinExec's values for the failures
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kPathNotFound = 3;
constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kBadFormat = 11;

uint32_t LauncherValue(int error) {
  switch (error) {
    case 0: return kStarted;
    case ENOENT: return kFileNotFound;
    case ENOTDIR: return kPathNotFound;
    case EACCES: case EPERM: return kAccessDenied;
    case ENOEXEC: return kBadFormat;
    default: return kOutOfResources;
  }
}

// The program on PATH, or empty.
std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    const std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// Starts argv detached: a child makes its own session and forks the program,
// then exits, so nothing is left to reap. Returns 0 when the program's exec
// succeeded, else the errno that stopped it.
int SpawnDetached(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  // The program starts with every signal deliverable and SIGPIPE at its
  // default, whatever this process blocks or ignores for itself.
  sigset_t noSignals;
  sigemptyset(&noSignals);
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return errno;
  const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t child = fork();
  if (child == 0) {
    // Only async-signal-safe calls from here on.
    setsid();
    const pid_t program = fork();
    if (program != 0) {
      int error = program < 0 ? errno : 0;
      if (error != 0) (void)!write(report[1], &error, sizeof error);
      _exit(0);
    }
    sigaction(SIGPIPE, &defaultAction, nullptr);
    sigprocmask(SIG_SETMASK, &noSignals, nullptr);
    if (devNull >= 0) {
      dup2(devNull, 0);
      dup2(devNull, 1);
      dup2(devNull, 2);
    }
    execv(argv[0], argv.data());
    int error = errno;
    (void)!write(report[1], &error, sizeof error);
    _exit(127);
  }
  const int forkError = child < 0 ? errno : 0;
  close(report[1]);
  if (devNull >= 0) close(devNull);
  if (child > 0) {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  int error = forkError;
  if (child > 0) {
    ssize_t n;
    do {
      n = read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(sizeof error)) error = 0;  // closed on exec: started
  }
  close(report[0]);
  return error;
}

// A file that was just written can be "busy" for a moment: a child forked
// by another thread (a second launch) may still hold a copy of its writing
// descriptor until that child execs. Such a launch is tried again briefly.
int SpawnDetachedPatiently(const std::vector<std::string>& args) {
  constexpr int kBusyRetries = 40;
  constexpr useconds_t kBusyPauseMicros = 25'000;
  int error = SpawnDetached(args);
  for (int attempt = 0; error == ETXTBSY && attempt < kBusyRetries; ++attempt) {
    usleep(kBusyPauseMicros);
    error = SpawnDetached(args);
  }
  return error;
}

class LinuxLauncher final : public LauncherPort {
 public:
  uint32_t Execute(const std::u16string& path, int showCode) override {
    std::string cause;
    return ExecuteWithCause(path, showCode, cause);
  }

  uint32_t ExecuteWithCause(const std::u16string& path, int, std::string& cause) override {
    const std::string program = HostPath(path);
    struct stat st {};
    if (stat(program.c_str(), &st) == 0) chmod(program.c_str(), (st.st_mode & 07777) | S_IXUSR);
    int error = SpawnDetachedPatiently({program});
    cause.clear();
    if (error == ENOEXEC) {
      const std::string wine = FindOnPath("wine");
      if (wine.empty()) {
        cause = "wine is not on PATH: ";
      } else {
        error = SpawnDetachedPatiently({wine, program});
        cause = "through wine: ";
      }
    }
    if (error == 0)
      cause.clear();
    else
      cause += ErrnoText(error);
    return LauncherValue(error);
  }

  bool OpenUrl(const std::u16string& url, int) override {
    const std::string opener = FindOnPath("xdg-open");
    return !opener.empty() && SpawnDetachedPatiently({opener, ToUtf8(url)}) == 0;
  }
};

}  // namespace

std::unique_ptr<LauncherPort> MakeLauncherPort() { return std::make_unique<LinuxLauncher>(); }

}  // namespace qarx::linux_port
