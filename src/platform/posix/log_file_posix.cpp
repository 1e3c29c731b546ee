#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/activity_log_path.h"
#include "platform/log_file.h"

namespace qarx::events {

const PathStyle kHostPathStyle = PathStyle::Posix;

namespace {

std::string Reason(const std::string& what) { return what + ": " + std::strerror(errno); }

// mkdir -p, the new folders private to the user.
bool MakeFolders(const std::string& folder, std::string& error) {
  struct stat info {};
  if (stat(folder.c_str(), &info) == 0) return true;
  if (errno != ENOENT) {
    error = Reason(folder);
    return false;
  }
  const auto slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash), error)) return false;
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = Reason(folder);
    return false;
  }
  return true;
}

// The user's own folder, or a shared one with the sticky bit (like /tmp),
// where nobody else can replace the user's file.
bool UsableFolder(const std::string& folder, std::string& error) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) {
    error = Reason(folder);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    error = folder + " is not a directory";
    return false;
  }
  if (info.st_uid != geteuid() && !(info.st_mode & S_ISVTX)) {
    error = folder + " belongs to another user";
    return false;
  }
  return true;
}

class PosixLogFile final : public LogFile {
 public:
  ~PosixLogFile() override { Close(); }

  bool Open(const std::string& path, int64_t& size, std::string& error) override {
    struct stat info {};
    if (fd_ >= 0) {
      // Still the file at path? Someone may have moved or deleted it.
      struct stat now {};
      if (lstat(path.c_str(), &now) == 0 && now.st_dev == dev_ && now.st_ino == ino_ && fstat(fd_, &info) == 0) {
        size = info.st_size;
        return true;
      }
      Close();
    }
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (!MakeFolders(folder, error) || !UsableFolder(folder, error)) return false;
    // No link, no terminal, and no wait on a FIFO someone put there.
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK,
                        0600);
    if (fd < 0) {
      error = Reason(path);
      return false;
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
      close(fd);
      error = path + " is not a regular file of this user";
      return false;
    }
    fd_ = fd;
    dev_ = info.st_dev;
    ino_ = info.st_ino;
    size = info.st_size;
    return true;
  }

  bool Append(std::string_view bytes, std::string& error) override {
    const off_t before = lseek(fd_, 0, SEEK_END);
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t wrote = write(fd_, bytes.data() + done, bytes.size() - done);
      if (wrote > 0) {
        done += static_cast<size_t>(wrote);
        continue;
      }
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote == 0) errno = ENOSPC;
      error = std::strerror(errno);
      // A line cut short (disk full) would run into the next one.
      if (done > 0 && before >= 0 && ftruncate(fd_, before) != 0) error += " (a part of a line stayed)";
      return false;
    }
    return true;
  }

  void Close() override {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  bool Exists(const std::string& path) override {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
  }

  bool Rename(const std::string& from, const std::string& to) override {
    return rename(from.c_str(), to.c_str()) == 0;
  }

 private:
  int fd_ = -1;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
};

}  // namespace

std::unique_ptr<LogFile> MakeLogFile() { return std::make_unique<PosixLogFile>(); }

void LocalTime(std::chrono::system_clock::time_point when, std::tm& local, long& utcOffsetSeconds) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  localtime_r(&seconds, &local);
  utcOffsetSeconds = local.tm_gmtoff;
}

}  // namespace qarx::events
