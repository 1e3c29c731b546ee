#include "update/version_compare.h"

#include "app/qarx_service_dlg.h"
#include "probes/installed_components.h"
#include "probes/registry_value.h"
#include "update/config_copy.h"

namespace qarx {

namespace {

// The four components in the order of one version number.
constexpr std::u16string_view kVersionValues[] = {u"VersionMajor", u"VersionBuild", u"VersionRevision",
                                                  u"VersionMinor"};

enum class Outcome { NotNewer, Newer, Unreadable };

// A component decides only when the configuration's number is greater; equal
// and installed-greater both pass the decision on.
Outcome CompareComponent(Platform& platform, std::u16string_view keyPath, std::u16string_view section,
                         const std::u16string& configCopy) {
  auto key = platform.registry->Open(RegRoot::LocalMachine, std::u16string(keyPath));
  if (!key) return Outcome::Unreadable;
  for (std::u16string_view name : kVersionValues) {
    RegistryValue installed;
    if (!ReadRegistryValue(*key, name, installed)) return Outcome::Unreadable;
    const uint32_t configured =
        platform.profile->GetInt(std::u16string(section), std::u16string(name), -1, configCopy);
    if (configured > RegistryDword(installed)) return Outcome::Newer;
  }
  return Outcome::NotNewer;
}

}  // namespace

uint32_t CompareInstalledVersions(Platform& platform) {
  uint32_t flags = 0;
  std::u16string configCopy;
  if (!ConfigCopyPath(platform, configCopy)) return flags;

  switch (CompareComponent(platform, kControlKey, u"Control", configCopy)) {
    case Outcome::Unreadable: return flags;
    case Outcome::Newer: flags |= kNewerControl; break;
    case Outcome::NotNewer: break;
  }
  if (CompareComponent(platform, kServerKey, u"Server", configCopy) == Outcome::Newer) flags |= kNewerServer;
  return flags;
}

void CQarxServiceDlg::OnCheckUpdate() {
  const uint32_t flags = CompareInstalledVersions(platform());
  AppendLog(flags & kNewerControl ? kNewerControlLine : kNoNewerControlLine);
  AppendLog(flags & kNewerServer ? kNewerServerLine : kNoNewerServerLine);
  AppendLog(kSeparatorLine);
}

}  // namespace qarx
