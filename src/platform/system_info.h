// Facts about the operating system, its folders and its INI-style files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qarx {

struct OsVersionRecord {
  uint32_t dwPlatformId = 0;
  uint32_t dwMajorVersion = 0;
  uint32_t dwMinorVersion = 0;
  uint16_t wSuiteMask = 0;   // extended record only
  uint8_t wProductType = 0;  // extended record only
};

class SystemInfoPort {
 public:
  virtual ~SystemInfoPort() = default;
  // extended: the OSVERSIONINFOEXW form, else the plain one. False on failure.
  virtual bool GetVersionEx(bool extended, OsVersionRecord& record) = 0;
  virtual bool HasNativeSystemInfo() = 0;
  virtual uint16_t GetProcessorArchitecture(bool native) = 0;
  virtual int GetSystemMetrics(int index) = 0;  // SM_SERVERR2 = 89
  // The system directory without trailing separator; returns its length, 0 on failure.
  virtual uint32_t GetSystemDirectory(uint32_t capacity, std::u16string& out) = 0;
};

// A directory listing in the FindFirstFile/FindNextFile style.
class FileFind {
 public:
  virtual ~FileFind() = default;  // FindClose
  virtual std::u16string FileName() = 0;  // the current entry's name
  // Advances; returns 0 on success or the last error (18 at the end).
  virtual uint32_t Next() = 0;
};

inline constexpr uint32_t ERROR_NO_MORE_FILES_ = 18;

class FindPort {
 public:
  virtual ~FindPort() = default;
  // Null when the listing cannot be started (no match either).
  virtual std::unique_ptr<FileFind> FindFirst(const std::u16string& pattern) = 0;
};

// INI-style reading (GetPrivateProfileString/Int).
class ProfilePort {
 public:
  virtual ~ProfilePort() = default;
  // Copies at most capacity-1 code units; returns the number copied.
  virtual uint32_t GetString(const std::u16string& section, const std::u16string& key,
                             const std::u16string& defaultValue, std::u16string& out,
                             uint32_t capacity, const std::u16string& file) = 0;
  virtual uint32_t GetInt(const std::u16string& section, const std::u16string& key, int32_t defaultValue,
                          const std::u16string& file) = 0;
};

}  // namespace qarx
