// FilePort on Windows: GetTempPathW, PathFileExistsW, DeleteFileW and
// CreateFileW (write access, no sharing, always create, normal attributes).
#include "platform/win32/windows_sdk.h"

#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

class Win32WritableFile final : public WritableFile {
 public:
  explicit Win32WritableFile(HANDLE handle) : handle_(handle) {}
  bool Write(const void* data, uint32_t size, uint32_t& written) override {
    DWORD done = 0;
    const BOOL ok = WriteFile(handle_.get(), data, size, &done, nullptr);
    written = done;
    return ok && done == size;
  }

 private:
  Handle handle_;
};

class Win32Files final : public FilePort {
 public:
  uint32_t GetTempPath(uint32_t capacity, std::u16string& out) override {
    out.clear();
    std::wstring buffer(capacity, L'\0');
    const DWORD length = GetTempPathW(capacity, buffer.data());
    if (length > 0 && length <= capacity) out = FromWide(buffer.c_str(), length);
    return length;
  }

  bool PathFileExists(const std::u16string& path) override { return PathFileExistsW(Wide(path)) != 0; }

  bool DeleteFile(const std::u16string& path) override { return DeleteFileW(Wide(path)) != 0; }

  std::unique_ptr<WritableFile> CreateFile(const std::u16string& path) override {
    HANDLE handle =
        CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32WritableFile>(handle);
  }
};

}  // namespace

std::unique_ptr<FilePort> MakeFilePort() { return std::make_unique<Win32Files>(); }

}  // namespace qarx::win32
