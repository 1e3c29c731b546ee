// Fakes of the operating-system facts: the version record and architecture,
// the system directory, and directory listings with injectable errors.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/system_info.h"

namespace qarx::testing {

class FakeSystemInfo : public SystemInfoPort {
 public:
  bool GetVersionEx(bool extended, OsVersionRecord& record) override;
  bool HasNativeSystemInfo() override { return hasNative; }
  uint16_t GetProcessorArchitecture(bool native) override;
  int GetSystemMetrics(int index) override;
  uint32_t GetSystemDirectory(uint32_t capacity, std::u16string& out) override;

  // The facts. The plain read yields the same record without the extended part.
  OsVersionRecord version;
  bool extendedFails = false;
  bool plainFails = false;
  bool hasNative = true;
  uint16_t nativeArchitecture = 0;
  uint16_t emulatedArchitecture = 0;  // what GetSystemInfo sees
  int serverR2 = 0;
  std::u16string systemDirectory = u"C:\\Windows\\system32";
  bool systemDirectoryFails = false;

  int metricsQueries() const { return metricsQueries_.load(); }

 private:
  std::atomic<int> metricsQueries_{0};
};

// One scripted listing per pattern. An entry's error is what the advance
// *to the next* entry reports (0 = fine); past the last entry the advance
// reports 18.
class FakeFind : public FindPort {
 public:
  struct Entry {
    std::u16string name;
    uint32_t advanceError = 0;
  };
  std::unique_ptr<FileFind> FindFirst(const std::u16string& pattern) override;

  void SetListing(const std::u16string& pattern, std::vector<Entry> entries);
  std::vector<std::u16string> patterns() const;
  int advances() const { return advances_.load(); }

 private:
  friend class FakeFileFind;
  mutable std::mutex mu_;
  std::map<std::u16string, std::vector<Entry>> listings_;
  std::vector<std::u16string> patterns_;
  std::atomic<int> advances_{0};
};

}  // namespace qarx::testing
