#include "platform/linux/named_mutex_linux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "common/text.h"
#include "platform/linux/linux_ports.h"

namespace qarx::linux_port {

namespace {

constexpr off_t kOpenByte = 0;   // shared while a handle is open
constexpr off_t kOwnerByte = 1;  // exclusive while a thread owns the mutex
constexpr size_t kMaxFileName = 255;

bool KeptAsIs(unsigned char c, bool first) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' ||
         c == '!' || c == '-' || c == '_' || (c == '.' && !first);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One lock operation on one byte; wait blocks (restarting after signals).
bool LockByte(int fd, short type, off_t byte, bool wait) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  for (;;) {
    if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// What this process knows of one name: one open file description shared by
// all its handles, and which of its threads owns the mutex. Within the
// process, ownership is arbitrated here; between processes, by the lock on
// the owner byte of that description.
struct NameState {
  int fd = -1;  // -1 for an unnamed mutex
  int handles = 0;
  std::mutex mu;
  std::condition_variable released;
  std::thread::id owner;
  int depth = 0;
  bool taking = false;  // a thread of this process is waiting for the owner byte

  ~NameState() {
    if (fd >= 0) close(fd);
  }
};

struct Registry {
  std::mutex mu;
  std::map<std::string, std::shared_ptr<NameState>> names;  // by file path
};

class LinuxNamedMutex final : public NamedMutex {
 public:
  LinuxNamedMutex(std::shared_ptr<Registry> registry, std::string path, std::shared_ptr<NameState> state)
      : registry_(std::move(registry)), path_(std::move(path)), state_(std::move(state)) {}

  ~LinuxNamedMutex() override {
    if (!registry_) return;  // unnamed: the state goes with the handle
    std::lock_guard lock(registry_->mu);
    std::lock_guard inner(state_->mu);
    // The last handle of the process closes the description, which drops
    // both locks: the name is gone here, and owned by nobody.
    if (--state_->handles == 0) registry_->names.erase(path_);
  }

  bool Wait() override {
    std::unique_lock lock(state_->mu);
    const auto me = std::this_thread::get_id();
    if (state_->depth > 0 && state_->owner == me) {
      ++state_->depth;
      return true;
    }
    state_->released.wait(lock, [&] { return state_->depth == 0 && !state_->taking; });
    state_->taking = true;
    lock.unlock();
    const bool locked = state_->fd < 0 || LockByte(state_->fd, F_WRLCK, kOwnerByte, true);
    lock.lock();
    state_->taking = false;
    if (!locked) {
      state_->released.notify_all();
      return false;
    }
    state_->owner = me;
    state_->depth = 1;
    return true;
  }

  bool Release() override {
    std::lock_guard lock(state_->mu);
    if (state_->depth == 0 || state_->owner != std::this_thread::get_id()) return false;
    if (--state_->depth > 0) return true;
    if (state_->fd >= 0) LockByte(state_->fd, F_UNLCK, kOwnerByte, false);
    state_->owner = {};
    state_->released.notify_all();
    return true;
  }

  // For Create: this thread owns the new name.
  void TakeInitialOwnership() {
    std::lock_guard lock(state_->mu);
    state_->owner = std::this_thread::get_id();
    state_->depth = 1;
  }

 private:
  std::shared_ptr<Registry> registry_;
  std::string path_;
  std::shared_ptr<NameState> state_;
};

class LinuxMutexes final : public MutexPort {
 public:
  std::unique_ptr<NamedMutex> Create(const std::u16string& name, bool initialOwner,
                                     bool& alreadyExisted) override {
    alreadyExisted = false;
    if (name.empty()) {
      // An unnamed mutex is private to its handle.
      auto handle = std::make_unique<LinuxNamedMutex>(nullptr, std::string(), std::make_shared<NameState>());
      if (initialOwner) handle->TakeInitialOwnership();
      return handle;
    }
    std::string folder;
    std::string error;
    const std::string file = EncodeMutexName(name);
    if (file.size() > kMaxFileName || !MutexFolder(folder, error)) return nullptr;
    const std::string path = folder + "/" + file;

    std::lock_guard lock(registry_->mu);
    if (auto it = registry_->names.find(path); it != registry_->names.end()) {
      alreadyExisted = true;
      std::lock_guard inner(it->second->mu);
      ++it->second->handles;
      return std::make_unique<LinuxNamedMutex>(registry_, path, it->second);
    }

    auto state = std::make_shared<NameState>();
    state->fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (state->fd < 0) return nullptr;
    bool owned = false;
    if (LockByte(state->fd, F_WRLCK, kOpenByte, false)) {
      // Nobody has the name open: it is new, and ours to own if asked.
      owned = initialOwner && LockByte(state->fd, F_WRLCK, kOwnerByte, false);
      if (!LockByte(state->fd, F_RDLCK, kOpenByte, false)) return nullptr;
    } else if (errno == EAGAIN || errno == EACCES) {
      // Open elsewhere; a creator that is just testing turns its lock shared
      // at once, so this wait is short.
      alreadyExisted = true;
      if (!LockByte(state->fd, F_RDLCK, kOpenByte, true)) return nullptr;
    } else {
      return nullptr;
    }
    state->handles = 1;
    registry_->names[path] = state;
    auto handle = std::make_unique<LinuxNamedMutex>(registry_, path, state);
    if (owned) handle->TakeInitialOwnership();
    return handle;
  }

 private:
  std::shared_ptr<Registry> registry_ = std::make_shared<Registry>();
};

bool UsableFolder(const std::string& folder, std::string& error) {
  struct stat info {};
  if (lstat(folder.c_str(), &info) != 0) {
    error = folder + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    error = folder + " is not a directory";
    return false;
  }
  if (info.st_uid != geteuid() || (info.st_mode & 07777) != 0700) {
    error = folder + " must belong to this user with mode 0700";
    return false;
  }
  return true;
}

}  // namespace

std::string EncodeMutexName(std::u16string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::string utf8 = ToUtf8(name);
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (KeptAsIs(c, i == 0)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

bool DecodeMutexName(std::string_view file, std::u16string& name) {
  std::string utf8;
  for (size_t i = 0; i < file.size(); ++i) {
    if (file[i] != '%') {
      utf8.push_back(file[i]);
      continue;
    }
    if (i + 2 >= file.size()) return false;
    const int high = HexValue(file[i + 1]);
    const int low = HexValue(file[i + 2]);
    if (high < 0 || low < 0) return false;
    utf8.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  name = FromUtf8(utf8);
  // Only the one spelling EncodeMutexName makes is a name.
  return EncodeMutexName(name) == file;
}

bool MutexFolder(std::string& folder, std::string& error) {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
    folder = std::string(runtime) + "/qarx-mutex";
  } else {
    const char* tmp = std::getenv("TMPDIR");
    folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/qarx-mutex-" + std::to_string(geteuid());
  }
  if (mkdir(folder.c_str(), 0700) == 0) {
    chmod(folder.c_str(), 0700);  // whatever the umask took away
  } else if (errno != EEXIST) {
    error = folder + ": " + std::strerror(errno);
    return false;
  }
  return UsableFolder(folder, error);
}

std::unique_ptr<MutexPort> MakeMutexPort() { return std::make_unique<LinuxMutexes>(); }

}  // namespace qarx::linux_port
