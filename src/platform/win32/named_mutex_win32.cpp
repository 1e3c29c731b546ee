// MutexPort on Windows: CreateMutexW in the session's namespace (no prefix on
// the name), WaitForSingleObject and ReleaseMutex.
#include "platform/win32/windows_sdk.h"

#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

class Win32Mutex final : public NamedMutex {
 public:
  explicit Win32Mutex(HANDLE handle) : handle_(handle) {}
  bool Wait() override {
    const DWORD result = WaitForSingleObject(handle_.get(), INFINITE);
    // An abandoned mutex is owned by the waiter all the same.
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
  }
  bool Release() override { return ReleaseMutex(handle_.get()) != 0; }

 private:
  Handle handle_;
};

class Win32Mutexes final : public MutexPort {
 public:
  std::unique_ptr<NamedMutex> Create(const std::u16string& name, bool initialOwner, bool& alreadyExisted) override {
    HANDLE handle = CreateMutexW(nullptr, initialOwner ? TRUE : FALSE, Wide(name));
    alreadyExisted = GetLastError() == ERROR_ALREADY_EXISTS;
    if (!handle) return nullptr;
    return std::make_unique<Win32Mutex>(handle);
  }
};

}  // namespace

std::unique_ptr<MutexPort> MakeMutexPort() { return std::make_unique<Win32Mutexes>(); }

}  // namespace qarx::win32
