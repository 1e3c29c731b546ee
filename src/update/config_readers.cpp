// Filling the dialog's PackageInfo records from the local copy of the update
// configuration.
#include "app/qarx_service_dlg.h"
#include "update/config_copy.h"

namespace qarx {

namespace {

constexpr int32_t kMissingInt = -1;

// Reads one section into info: URL only when the file has one, size with
// its fallback when missing or negative, the four version numbers in order,
// and the digest, which belongs to this section alone (so a missing one
// clears what an earlier read left).
void ReadPackageSection(ProfilePort& profile, const std::u16string& file, const std::u16string& section,
                        int32_t fallbackSize, PackageInfo& info) {
  std::u16string url;
  if (profile.GetString(section, u"URL", u"", url, kUrlCapacity, file) > 0) info.URL = url;
  const auto size = static_cast<int32_t>(profile.GetInt(section, u"Size", kMissingInt, file));
  info.Size = size < 0 ? fallbackSize : size;
  info.VersionMajor = profile.GetInt(section, u"VersionMajor", kMissingInt, file);
  info.VersionBuild = profile.GetInt(section, u"VersionBuild", kMissingInt, file);
  info.VersionRevision = profile.GetInt(section, u"VersionRevision", kMissingInt, file);
  info.VersionMinor = profile.GetInt(section, u"VersionMinor", kMissingInt, file);
  // Read with room to spare: a value cut to 64 digits could pass for a digest.
  std::u16string digest;
  profile.GetString(section, u"SHA256", u"", digest, kUrlCapacity, file);
  info.SHA256 = digest;
}

}  // namespace

int32_t CQarxServiceDlg::ReadPackageConfig() {
  std::u16string file;
  if (!ConfigCopyPath(platform_, file)) return kConfigNoFolder;
  for (const PackageKindRow& kind : kPackageKinds) {
    if (kind.section.empty()) continue;  // read when a terminal names its model
    PackageInfo info = GetPackage(kind.kind);
    ReadPackageSection(*platform_.profile, file, std::u16string(kind.section), kind.fallbackSize, info);
    SetPackage(kind.kind, info);
  }
  return kConfigRead;
}

int32_t CQarxServiceDlg::ReadFirmwareConfig(const std::u16string& model) {
  std::u16string file;
  if (!ConfigCopyPath(platform_, file)) return kConfigNoFolder;
  const PackageKindRow& kind = *FindPackageKind(kPackageFirmware);
  PackageInfo info = GetPackage(kind.kind);
  ReadPackageSection(*platform_.profile, file, model, kind.fallbackSize, info);
  SetPackage(kind.kind, info);
  return kConfigRead;
}

}  // namespace qarx
