#include "probes/ccid_driver.h"

#include "app/qarx_service_dlg.h"
#include "probes/ascii_case.h"

namespace qarx {

namespace {

constexpr uint32_t kTextCapacity = 256;  // each text buffer, terminator included
constexpr std::u16string_view kInfFolder = u"inf\\";
constexpr std::u16string_view kInfPattern = u"*.inf";
constexpr std::u16string_view kVersionSection = u"Version";
constexpr std::u16string_view kClassKey = u"ClassGuid";
constexpr std::u16string_view kSmartCardReaderClass = u"{50DD5230-BA8A-11D1-BF5D-0000F805F530}";
constexpr std::u16string_view kCatalogKey = u"CatalogFile";
constexpr std::u16string_view kCcidCatalog = u"usbccid.cat";

// Only the plain key counts; a decorated one (CatalogFile.NT) is another key.
bool KeyEquals(ProfilePort& profile, const std::u16string& inf, std::u16string_view key,
               std::u16string_view wanted) {
  std::u16string value;
  const uint32_t count = profile.GetString(std::u16string(kVersionSection), std::u16string(key), u"", value,
                                           kTextCapacity, inf);
  return count > 0 && EqualsIgnoreCase(value, wanted);
}

bool IsCcidInf(ProfilePort& profile, const std::u16string& inf) {
  return KeyEquals(profile, inf, kClassKey, kSmartCardReaderClass) &&
         KeyEquals(profile, inf, kCatalogKey, kCcidCatalog);
}

}  // namespace

bool FindCcidDriver(Platform& platform) {
  std::u16string systemDirectory;
  const uint32_t length = platform.system->GetSystemDirectory(kTextCapacity, systemDirectory);
  // A directory that did not fit the buffer is not trusted either.
  if (length == 0 || length >= kTextCapacity) return false;

  // C:\Windows\system32 gives C:\Windows\ (nothing when there is no backslash).
  const size_t lastSlash = systemDirectory.rfind(u'\\');
  const std::u16string windowsFolder =
      lastSlash == std::u16string::npos ? std::u16string() : systemDirectory.substr(0, lastSlash + 1);
  const std::u16string infFolder = windowsFolder + std::u16string(kInfFolder);

  auto listing = platform.find->FindFirst(infFolder + std::u16string(kInfPattern));
  if (!listing) return false;
  for (;;) {
    const std::u16string candidate = infFolder + listing->FileName();
    // A path that would not fit the 256-character buffer is passed over.
    if (candidate.size() < kTextCapacity && IsCcidInf(*platform.profile, candidate)) return true;
    // The end of the listing (18) and any other error both end the search.
    if (listing->Next() != 0) return false;
  }
}

void CQarxServiceDlg::OnCcidInfo() {
  AppendLog(FindCcidDriver(platform()) ? kCcidFoundLine : kCcidMissingLine);
  AppendLog(kSeparatorLine);
}

}  // namespace qarx
