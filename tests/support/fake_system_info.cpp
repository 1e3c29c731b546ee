#include "support/fake_system_info.h"

namespace qarx::testing {

bool FakeSystemInfo::GetVersionEx(bool extended, OsVersionRecord& record) {
  if (extended ? extendedFails : plainFails) return false;
  record.dwPlatformId = version.dwPlatformId;
  record.dwMajorVersion = version.dwMajorVersion;
  record.dwMinorVersion = version.dwMinorVersion;
  if (extended) {
    record.wSuiteMask = version.wSuiteMask;
    record.wProductType = version.wProductType;
  }
  return true;
}

uint16_t FakeSystemInfo::GetProcessorArchitecture(bool native) {
  return native ? nativeArchitecture : emulatedArchitecture;
}

int FakeSystemInfo::GetSystemMetrics(int index) {
  ++metricsQueries_;
  return index == 89 ? serverR2 : 0;
}

uint32_t FakeSystemInfo::GetSystemDirectory(uint32_t capacity, std::u16string& out) {
  out.clear();
  if (systemDirectoryFails) return 0;
  const auto length = static_cast<uint32_t>(systemDirectory.size());
  if (length >= capacity) return length + 1;  // the size it would need
  out = systemDirectory;
  return length;
}

class FakeFileFind : public FileFind {
 public:
  FakeFileFind(FakeFind& port, std::vector<FakeFind::Entry> entries) : port_(port), entries_(std::move(entries)) {}
  std::u16string FileName() override { return entries_[index_].name; }
  uint32_t Next() override {
    ++port_.advances_;
    if (const uint32_t error = entries_[index_].advanceError) return error;
    if (index_ + 1 >= entries_.size()) return ERROR_NO_MORE_FILES_;
    ++index_;
    return 0;
  }

 private:
  FakeFind& port_;
  std::vector<FakeFind::Entry> entries_;
  size_t index_ = 0;
};

std::unique_ptr<FileFind> FakeFind::FindFirst(const std::u16string& pattern) {
  std::lock_guard lock(mu_);
  patterns_.push_back(pattern);
  auto it = listings_.find(pattern);
  if (it == listings_.end() || it->second.empty()) return nullptr;
  return std::make_unique<FakeFileFind>(*this, it->second);
}

void FakeFind::SetListing(const std::u16string& pattern, std::vector<Entry> entries) {
  std::lock_guard lock(mu_);
  listings_[pattern] = std::move(entries);
}

std::vector<std::u16string> FakeFind::patterns() const {
  std::lock_guard lock(mu_);
  return patterns_;
}

}  // namespace qarx::testing
