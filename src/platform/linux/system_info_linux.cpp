// SystemInfoPort on Linux: the version facts of the Windows being stood in
// for come from $QARX_WINDOWS_ROOT/os-version.ini, section [Version]; the
// system directory is that of a default installation.
#include <sys/stat.h>

#include "common/text.h"
#include "platform/linux/linux_ports.h"
#include "platform/linux/windows_paths.h"

namespace qarx::linux_port {

namespace {

constexpr std::u16string_view kSystemDirectory = u"C:\\windows\\system32";
constexpr int kServerR2Metric = 89;

// A number as decimal digits or 0x-prefixed hexadecimal (suite masks read
// better so); the leading digits count, as the profile functions read them.
uint32_t ParseNumber(std::u16string_view text) {
  uint32_t base = 10;
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  uint32_t number = 0;
  for (char16_t c : text) {
    uint32_t digit = 0;
    if (c >= u'0' && c <= u'9')
      digit = c - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f')
      digit = c - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F')
      digit = c - u'A' + 10;
    else
      break;
    number = number * base + digit;
  }
  return number;
}

class OsVersionFile final : public SystemInfoPort {
 public:
  OsVersionFile() : profile_(MakeProfilePort()) {}

  bool GetVersionEx(bool extended, OsVersionRecord& record) override {
    struct stat info {};
    if (stat(HostFile().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (extended && Fact(u"ExtendedRecord", 1) == 0) return false;
    record.dwPlatformId = Fact(u"PlatformId", 0);
    record.dwMajorVersion = Fact(u"MajorVersion", 0);
    record.dwMinorVersion = Fact(u"MinorVersion", 0);
    if (extended) {
      record.wSuiteMask = static_cast<uint16_t>(Fact(u"SuiteMask", 0));
      record.wProductType = static_cast<uint8_t>(Fact(u"ProductType", 0));
    }
    return true;
  }
  // Both calls report the machine's own architecture here.
  bool HasNativeSystemInfo() override { return true; }
  uint16_t GetProcessorArchitecture(bool) override { return static_cast<uint16_t>(Fact(u"ProcessorArchitecture", 0)); }
  int GetSystemMetrics(int index) override {
    return index == kServerR2Metric ? static_cast<int>(Fact(u"ServerR2", 0)) : 0;
  }
  uint32_t GetSystemDirectory(uint32_t capacity, std::u16string& out) override {
    out.clear();
    const auto length = static_cast<uint32_t>(kSystemDirectory.size());
    if (length >= capacity) return length + 1;  // the size it would need
    out = kSystemDirectory;
    return length;
  }

 private:
  static std::string HostFile() { return WindowsRoot() + "/os-version.ini"; }

  uint32_t Fact(std::u16string_view key, uint32_t missing) {
    std::u16string value;
    if (profile_->GetString(u"Version", std::u16string(key), u"", value, 64, FromUtf8(HostFile())) == 0)
      return missing;
    return ParseNumber(value);
  }

  std::unique_ptr<ProfilePort> profile_;
};

}  // namespace

std::unique_ptr<SystemInfoPort> MakeSystemInfoPort() { return std::make_unique<OsVersionFile>(); }

}  // namespace qarx::linux_port
