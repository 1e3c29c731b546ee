// The activity log's file on Windows: %LOCALAPPDATA% is the user's own, so
// folders are created with the default (user-only) security; the file is
// opened for appending and shared for reading, so a person can open it while
// the service runs.
#include "platform/win32/windows_sdk.h"

#include <ctime>

#include "common/text.h"
#include "platform/activity_log_path.h"
#include "platform/log_file.h"

namespace qarx::events {

const PathStyle kHostPathStyle = PathStyle::Windows;

namespace {

std::wstring WidePath(const std::string& utf8) {
  const std::u16string path = FromUtf8(utf8);
  return std::wstring(path.begin(), path.end());
}

std::string Reason(const std::string& what) { return what + ": error " + std::to_string(GetLastError()); }

bool MakeFolders(const std::wstring& folder) {
  if (folder.empty() || GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const auto slash = folder.find_last_of(L"\\/");
  if (slash != std::wstring::npos && slash > 2 && !MakeFolders(folder.substr(0, slash))) return false;
  return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

class Win32LogFile final : public LogFile {
 public:
  ~Win32LogFile() override { Close(); }

  bool Open(const std::string& path, int64_t& size, std::string& error) override {
    const std::wstring wide = WidePath(path);
    if (file_ != INVALID_HANDLE_VALUE && GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) Close();
    if (file_ == INVALID_HANDLE_VALUE) {
      const auto slash = wide.find_last_of(L"\\/");
      if (slash != std::wstring::npos && !MakeFolders(wide.substr(0, slash))) {
        error = Reason(path);
        return false;
      }
      file_ = CreateFileW(wide.c_str(), FILE_APPEND_DATA | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file_ == INVALID_HANDLE_VALUE) {
        error = Reason(path);
        return false;
      }
    }
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file_, &length)) {
      error = Reason(path);
      return false;
    }
    size_ = length.QuadPart;
    size = size_;
    return true;
  }

  bool Append(std::string_view bytes, std::string& error) override {
    LARGE_INTEGER end{};
    end.QuadPart = size_;
    DWORD written = 0;
    if (SetFilePointerEx(file_, end, nullptr, FILE_BEGIN) &&
        WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size()) {
      size_ += written;
      return true;
    }
    error = Reason("activity log");
    // A line cut short by a full disk does not stay.
    SetFilePointerEx(file_, end, nullptr, FILE_BEGIN);
    SetEndOfFile(file_);
    return false;
  }

  void Close() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    size_ = 0;
  }

  bool Exists(const std::string& path) override {
    return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  bool Rename(const std::string& from, const std::string& to) override {
    return MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  int64_t size_ = 0;
};

}  // namespace

std::unique_ptr<LogFile> MakeLogFile() { return std::make_unique<Win32LogFile>(); }

void LocalTime(std::chrono::system_clock::time_point when, std::tm& local, long& utcOffsetSeconds) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm utc{};
  localtime_s(&local, &seconds);
  gmtime_s(&utc, &seconds);
  // The offset is local minus UTC, read off the two broken-down times.
  std::tm localCopy = local;
  utc.tm_isdst = 0;
  localCopy.tm_isdst = 0;
  utcOffsetSeconds = static_cast<long>(std::difftime(_mkgmtime(&localCopy), _mkgmtime(&utc)));
}

}  // namespace qarx::events
