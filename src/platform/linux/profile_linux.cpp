// ProfilePort on Linux: INI files read whole and looked up with the INI
// reader's rules. UTF-16LE and UTF-8 files (with or without BOM) are read as
// such; any other bytes are taken in the character set of the user's locale,
// as the platform reads "ANSI" files in its code page.
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <string>

#include "common/ini_reader.h"
#include "common/text.h"
#include "platform/linux/linux_ports.h"
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

std::string LocaleCharset() {
  locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return "ASCII";
  std::string charset = nl_langinfo_l(CODESET, locale);
  freelocale(locale);
  return charset.empty() ? "ASCII" : charset;
}

// Bytes in the locale's character set; what it cannot decode becomes U+FFFD.
std::u16string FromLocaleCharset(const std::string& bytes) {
  std::u16string out;
  iconv_t cd = iconv_open(std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE",
                          LocaleCharset().c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return FromUtf8(bytes);
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char16_t chunk[512];
    char* outPtr = reinterpret_cast<char*>(chunk);
    size_t outLeft = sizeof chunk;
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(chunk, (sizeof chunk - outLeft) / sizeof(char16_t));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      out.push_back(u'\uFFFD');  // an invalid or cut-off sequence: skip one byte
      ++in;
      --inLeft;
    }
  }
  iconv_close(cd);
  return out;
}

std::u16string ProfileText(const std::u16string& file) {
  const std::string bytes = ReadWholeFile(HostPath(file));
  std::u16string text;
  if (!DecodeIniBytes(bytes, text)) text = FromLocaleCharset(bytes);
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
