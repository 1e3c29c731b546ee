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

struct PackageSection {
  int kind;
  std::u16string_view name;
  int32_t fallbackSize;
};

constexpr PackageSection kPackageSections[3] = {
    {kPackageCcid, u"CCID", 2048},
    {kPackageControl, u"Control", 180},
    {kPackageServer, u"Server", 30},
};
constexpr int32_t kFirmwareFallbackSize = 320;

}  // namespace

int32_t CQarxServiceDlg::ReadPackageConfig() {
  std::u16string file;
  if (!ConfigCopyPath(platform_, file)) return -1;
  for (const PackageSection& section : kPackageSections) {
    PackageInfo info = GetPackage(section.kind);
    ReadPackageSection(*platform_.profile, file, std::u16string(section.name), section.fallbackSize, info);
    SetPackage(section.kind, info);
  }
  return 0;
}

int32_t CQarxServiceDlg::ReadFirmwareConfig(const std::u16string& model) {
  std::u16string file;
  if (!ConfigCopyPath(platform_, file)) return -1;
  PackageInfo info = GetPackage(kPackageFirmware);
  ReadPackageSection(*platform_.profile, file, model, kFirmwareFallbackSize, info);
  SetPackage(kPackageFirmware, info);
  return 0;
}

}  // namespace qarx
