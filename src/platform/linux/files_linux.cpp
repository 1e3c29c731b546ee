// FilePort on Linux. The temporary folder is private to the user
// ($TMPDIR or /tmp, then qarx-<uid>), since fixed file names in a shared
// folder invite planted files and symlink tricks. A file being written is
// locked, so a second create or a delete of it fails as on Windows.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "platform/linux/errno_text.h"
#include "platform/linux/linux_ports.h"
#include "platform/linux/unique_fd.h"
#include "platform/linux/windows_paths.h"

namespace qarx::linux_port {

namespace {

// The private folder, or empty when it cannot be made safe.
std::string PrivateTempFolder() {
  const char* env = std::getenv("TMPDIR");
  std::string base = env && *env ? env : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  const std::string folder = base + "/qarx-" + std::to_string(geteuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0) return {};
  if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 0777) != 0700) return {};
  return folder + "/";
}

class LinuxWritableFile final : public WritableFile {
 public:
  explicit LinuxWritableFile(int fd) : fd_(fd) {}
  bool Write(const void* data, uint32_t size, uint32_t& written) override {
    written = 0;
    const char* p = static_cast<const char*>(data);
    while (written < size) {
      const ssize_t n = write(fd_.get(), p + written, size - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = n < 0 ? errno : ENOSPC;
        return false;
      }
      written += static_cast<uint32_t>(n);
    }
    return true;
  }

  std::string FailureCause() const override { return error_ != 0 ? ErrnoText(error_) : std::string(); }

 private:
  Fd fd_;
  int error_ = 0;
};

// The file kept open. Nobody else can reach the private folder, so nothing
// more is needed; a lock would be, too much: a program being started copies
// the open files of a download that another job is just finishing, and a
// lock of those copies would make that download's hold fail for a moment.
class LinuxHeldFile final : public HeldFile {
 public:
  explicit LinuxHeldFile(int fd) : fd_(fd) {}

 private:
  Fd fd_;
};

class LinuxFiles final : public FilePort {
 public:
  uint32_t GetTempPath(uint32_t capacity, std::u16string& out) override {
    out.clear();
    const std::string folder = PrivateTempFolder();
    if (folder.empty()) return capacity + 1;
    const std::u16string path = FromUtf8(folder);
    if (path.size() + 1 > capacity) return static_cast<uint32_t>(path.size() + 1);
    out = path;
    return static_cast<uint32_t>(out.size());
  }

  bool PathFileExists(const std::u16string& path) override {
    struct stat st {};
    return lstat(HostPath(path).c_str(), &st) == 0;
  }

  bool DeleteFile(const std::u16string& path) override {
    const std::string host = HostPath(path);
    Fd fd(open(host.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    // A file that another handle is writing stays.
    if (fd.get() >= 0 && flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;
    return unlink(host.c_str()) == 0;
  }

  std::unique_ptr<WritableFile> CreateFile(const std::u16string& path) override {
    // Lock before truncating, so a file that is being written is never cut.
    Fd fd(open(HostPath(path).c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (fd.get() < 0) return nullptr;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return nullptr;
    if (ftruncate(fd.get(), 0) != 0) return nullptr;
    return std::make_unique<LinuxWritableFile>(fd.release());
  }

  std::unique_ptr<HeldFile> HoldFile(const std::u16string& path) override {
    Fd fd(open(HostPath(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return nullptr;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    return std::make_unique<LinuxHeldFile>(fd.release());
  }
};

}  // namespace

std::unique_ptr<FilePort> MakeFilePort() { return std::make_unique<LinuxFiles>(); }

}  // namespace qarx::linux_port
