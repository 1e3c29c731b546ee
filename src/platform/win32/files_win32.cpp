// FilePort on Windows: PathFileExistsW, DeleteFileW and CreateFileW (write
// access, no sharing, always create, normal attributes). The temporary
// folder is the user's private "Qarx" folder under GetTempPathW's, since
// fixed file names in the shared %TEMP% invite planted files and DLLs.
#include "platform/win32/windows_sdk.h"

#include "platform/win32/error_text.h"
#include "platform/win32/private_folder.h"
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
    if (!ok) error_ = GetLastError();
    if (ok && done != size) error_ = ERROR_DISK_FULL;
    return ok && done == size;
  }

  std::string FailureCause() const override { return error_ != 0 ? WindowsErrorText(error_) : std::string(); }

 private:
  Handle handle_;
  DWORD error_ = 0;
};

// Read access, others may only read: no write, no delete, no rename, while
// starting the program stays possible.
class Win32HeldFile final : public HeldFile {
 public:
  explicit Win32HeldFile(HANDLE handle) : handle_(handle) {}

 private:
  Handle handle_;
};

constexpr wchar_t kPrivateFolderName[] = L"Qarx\\";

class Win32Files final : public FilePort {
 public:
  // As GetTempPathW (the length, or the size needed when it does not fit),
  // for the private folder; a folder that cannot be made private does not
  // fit anything, so nothing is fetched into it.
  uint32_t GetTempPath(uint32_t capacity, std::u16string& out) override {
    out.clear();
    std::wstring buffer(MAX_PATH + 1, L'\0');
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer.data());
    if (length == 0) return 0;
    if (length > MAX_PATH) return length;
    const std::wstring folder = buffer.substr(0, length) + kPrivateFolderName;
    if (folder.size() + 1 > capacity) return static_cast<uint32_t>(folder.size() + 1);
    if (!FolderIsPrivate(MakePrivateFolder(folder))) return capacity + 1;
    out = FromWide(folder.c_str(), folder.size());
    return static_cast<uint32_t>(folder.size());
  }

  bool PathFileExists(const std::u16string& path) override { return PathFileExistsW(Wide(path)) != 0; }

  bool DeleteFile(const std::u16string& path) override { return DeleteFileW(Wide(path)) != 0; }

  std::unique_ptr<WritableFile> CreateFile(const std::u16string& path) override {
    HANDLE handle =
        CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32WritableFile>(handle);
  }

  std::unique_ptr<HeldFile> HoldFile(const std::u16string& path) override {
    HANDLE handle = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32HeldFile>(handle);
  }
};

}  // namespace

std::unique_ptr<FilePort> MakeFilePort() { return std::make_unique<Win32Files>(); }

}  // namespace qarx::win32
