#include "common/text.h"
#include "download/failure_text.h"
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
    if (!key) return kProbeFailed;
    if (!ReadRegistryValue(*key, kInstalledValue, installed)) return kProbeFailed;
  }
  return installed.data[0] == 1 ? kProbeOk : kProbeFailed;
}

}  // namespace

int32_t IsControlInstalled(RegistryPort& registry) { return IsInstalled(registry, kControlKey); }

int32_t IsServiceInstalled(RegistryPort& registry) { return IsInstalled(registry, kServerKey); }

int32_t CheckLegacyControl(Platform& platform) {
  RegistryValue installed;
  RegistryValue installDir;
  {
    auto key = platform.registry->Open(RegRoot::LocalMachine, std::u16string(kLegacyControlKey));
    if (!key) return kProbeFailed;
    if (!ReadRegistryValue(*key, kInstalledValue, installed)) return kProbeFailed;
    if (!ReadRegistryValue(*key, kInstallDirValue, installDir)) return kProbeFailed;
  }
  // Appended unchanged: a folder ending in a backslash gives a doubled one.
  const std::u16string uninstaller = RegistryText(installDir) + u"\\" + std::u16string(kLegacyUninstallerName);

  const unsigned legacyFlag = installed.data[0] | (installed.data[1] << 8);
  if (legacyFlag != 1) return kProbeOk;

  platform.ui->MessageBox(BoxOwner::Desktop, std::u16string(kLegacyControlWarning),
                          std::u16string(kWarningCaption), MB_OK | MB_ICONWARNING);
  if (!platform.files->PathFileExists(uninstaller)) return kProbeOk;
  // Started by its exact path, never through a parsed command line, so a
  // folder with spaces cannot make the system run another program.
  std::string cause;
  const uint32_t value = platform.launcher->ExecuteWithCause(uninstaller, SW_SHOW, cause);
  if (value >= kLauncherStarted) return kProbeOk;
  RecordFailure(platform.record, FailureLine("launch " + ToUtf8(uninstaller), kProbeFailed, LaunchFailureText(value, cause)));
  return kProbeFailed;
}

void CQarxServiceDlg::OnInstallInfo() {
  RegistryPort& registry = *platform().registry;
  AppendLog(IsControlInstalled(registry) == kProbeOk ? kControlInstalledLine : kControlMissingLine);
  AppendLog(IsServiceInstalled(registry) == kProbeOk ? kServerInstalledLine : kServerMissingLine);
  AppendLog(kSeparatorLine);
}

}  // namespace qarx
