#include "probes/installed_components.h"

#include "app/qarx_service_dlg.h"
#include "probes/registry_value.h"

namespace qarx {

namespace {

constexpr std::u16string_view kInstalledValue = u"Installed";
constexpr std::u16string_view kInstallDirValue = u"InstallDir";

int32_t IsInstalled(RegistryPort& registry, std::u16string_view keyPath) {
  RegistryValue installed;
  {
    auto key = registry.Open(RegRoot::LocalMachine, std::u16string(keyPath));
    if (!key) return -1;
    if (!ReadRegistryValue(*key, kInstalledValue, installed)) return -1;
  }
  return installed.data[0] == 1 ? 0 : -1;
}

}  // namespace

int32_t IsControlInstalled(RegistryPort& registry) { return IsInstalled(registry, kControlKey); }

int32_t IsServiceInstalled(RegistryPort& registry) { return IsInstalled(registry, kServerKey); }

int32_t CheckLegacyControl(Platform& platform) {
  RegistryValue installed;
  RegistryValue installDir;
  {
    auto key = platform.registry->Open(RegRoot::LocalMachine, std::u16string(kLegacyControlKey));
    if (!key) return -1;
    if (!ReadRegistryValue(*key, kInstalledValue, installed)) return -1;
    if (!ReadRegistryValue(*key, kInstallDirValue, installDir)) return -1;
  }
  // Appended unchanged: a folder ending in a backslash gives a doubled one.
  const std::u16string uninstaller = RegistryText(installDir) + u"\\" + std::u16string(kLegacyUninstallerName);

  const unsigned legacyFlag = installed.data[0] | (installed.data[1] << 8);
  if (legacyFlag != 1) return 0;

  platform.ui->MessageBox(BoxOwner::Desktop, std::u16string(kLegacyControlWarning),
                          std::u16string(kWarningCaption), MB_OK | MB_ICONWARNING);
  if (!platform.files->PathFileExists(uninstaller)) return 0;
  // Started by its exact path, never through a parsed command line, so a
  // folder with spaces cannot make the system run another program.
  return platform.launcher->Execute(uninstaller, SW_SHOW) >= 32 ? 0 : -1;
}

void CQarxServiceDlg::OnInstallInfo() {
  RegistryPort& registry = *platform().registry;
  AppendLog(IsControlInstalled(registry) == 0 ? kControlInstalledLine : kControlMissingLine);
  AppendLog(IsServiceInstalled(registry) == 0 ? kServerInstalledLine : kServerMissingLine);
  AppendLog(kSeparatorLine);
}

}  // namespace qarx
