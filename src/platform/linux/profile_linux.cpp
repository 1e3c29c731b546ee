// ProfilePort on Linux: INI files read whole and looked up with the INI
// reader's rules. UTF-16LE and UTF-8 files (with or without BOM) are read as
// such; any other bytes are taken in the character set of the user's locale,
// as the platform reads "ANSI" files in its code page.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/ini_reader.h"
#include "common/text.h"
#include "platform/linux/linux_ports.h"
#include "platform/linux/locale_text.h"
#include "platform/linux/windows_paths.h"

namespace qarx::linux_port {

namespace {

constexpr size_t kMaxProfileBytes = 16u << 20;  // no INI file of ours comes near

// The file's bytes; empty when it cannot be read (every key is then missing).
std::string ReadWholeFile(const std::string& path) {
  std::string bytes;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return bytes;
  char chunk[8192];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || bytes.size() + static_cast<size_t>(n) > kMaxProfileBytes) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return bytes;
}

std::u16string ProfileText(const std::u16string& file) {
  const std::string bytes = ReadWholeFile(HostPath(file));
  std::u16string text;
  if (DecodeIniBytes(bytes, text)) return text;
  if (!DecodeLocaleText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), text)) text = FromUtf8(bytes);
  return text;
}

class LinuxProfile final : public ProfilePort {
 public:
  uint32_t GetString(const std::u16string& section, const std::u16string& key, const std::u16string& defaultValue,
                     std::u16string& out, uint32_t capacity, const std::u16string& file) override {
    return IniGetString(ProfileText(file), section, key, defaultValue, out, capacity);
  }
  uint32_t GetInt(const std::u16string& section, const std::u16string& key, int32_t defaultValue,
                  const std::u16string& file) override {
    return IniGetInt(ProfileText(file), section, key, defaultValue);
  }
};

}  // namespace

std::unique_ptr<ProfilePort> MakeProfilePort() { return std::make_unique<LinuxProfile>(); }

}  // namespace qarx::linux_port
