// TextPort over iconv: "ANSI" text is the character set of the user's locale
// (LC_ALL / LC_CTYPE / LANG), read without touching the process's locale.
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <bit>
#include <cerrno>
#include <string>

#include "platform/linux/linux_ports.h"
#include "platform/linux/locale_text.h"

namespace qarx::linux_port {

namespace {

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

class LocaleText final : public TextPort {
 public:
  bool AnsiToUtf16(const uint8_t* bytes, size_t length, std::u16string& out) override {
    return DecodeLocaleText(bytes, length, out);
  }
};

}  // namespace

std::string LocaleCharset() {
  locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return "ASCII";
  std::string charset = nl_langinfo_l(CODESET, locale);
  freelocale(locale);
  return charset.empty() ? "ASCII" : charset;
}

bool DecodeLocaleText(const uint8_t* bytes, size_t length, std::u16string& out) {
  out.clear();
  Iconv cd(std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE", LocaleCharset().c_str());
  if (!cd.ok()) return false;
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
  size_t inLeft = length;
  char16_t chunk[256];
  while (inLeft > 0) {
    char* outPtr = reinterpret_cast<char*>(chunk);
    size_t outLeft = sizeof chunk;
    const size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
    out.append(chunk, (sizeof chunk - outLeft) / sizeof(char16_t));
    if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // An undecodable or cut-off byte: one replacement character, go on.
    out.push_back(u'\uFFFD');
    ++in;
    --inLeft;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  }
  return true;
}

std::unique_ptr<TextPort> MakeTextPort() { return std::make_unique<LocaleText>(); }

}  // namespace qarx::linux_port
