// FindPort on Linux: "C:\...\*.inf"-style patterns listed from the mapped
// host folder. Masks match without letter case, as on Windows, and entries
// come sorted by name so every run lists them in the same order.
#include <dirent.h>

#include <algorithm>
#include <vector>

#include "common/text.h"
#include "platform/linux/linux_ports.h"
#include "platform/linux/windows_paths.h"
#include "probes/ascii_case.h"

namespace qarx::linux_port {

namespace {

// '*' any run of characters, '?' one character, letters without case.
bool MaskMatches(std::u16string_view mask, std::u16string_view name) {
  size_t m = 0;
  size_t n = 0;
  size_t starMask = std::u16string_view::npos;
  size_t starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == u'?' || AsciiLower(mask[m]) == AsciiLower(name[n]))) {
      ++m;
      ++n;
    } else if (m < mask.size() && mask[m] == u'*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::u16string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == u'*') ++m;
  return m == mask.size();
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

class NameListing final : public FileFind {
 public:
  explicit NameListing(std::vector<std::u16string> names) : names_(std::move(names)) {}
  std::u16string FileName() override { return names_[index_]; }
  uint32_t Next() override {
    if (index_ + 1 >= names_.size()) return ERROR_NO_MORE_FILES_;
    ++index_;
    return 0;
  }

 private:
  std::vector<std::u16string> names_;
  size_t index_ = 0;
};

class HostFind final : public FindPort {
 public:
  std::unique_ptr<FileFind> FindFirst(const std::u16string& pattern) override {
    const size_t slash = pattern.find_last_of(u"\\/");
    const std::u16string folder = slash == std::u16string::npos ? u"." : pattern.substr(0, slash + 1);
    const std::u16string mask = pattern.substr(slash == std::u16string::npos ? 0 : slash + 1);
    std::unique_ptr<DIR, DirCloser> dir(opendir(HostPath(folder).c_str()));
    if (!dir) return nullptr;
    std::vector<std::u16string> names;
    while (const dirent* entry = readdir(dir.get())) {
      std::u16string name = FromUtf8(entry->d_name);
      if (MaskMatches(mask, name)) names.push_back(std::move(name));
    }
    if (names.empty()) return nullptr;
    std::sort(names.begin(), names.end(), [](const std::u16string& a, const std::u16string& b) {
      const std::u16string la = AsciiLower(a);
      const std::u16string lb = AsciiLower(b);
      return la != lb ? la < lb : a < b;
    });
    return std::make_unique<NameListing>(std::move(names));
  }
};

}  // namespace

std::unique_ptr<FindPort> MakeFindPort() { return std::make_unique<HostFind>(); }

}  // namespace qarx::linux_port
