// The installed flags of the browser control and the service program, and the
// legacy control that must be removed (button 1006 and the start-up check).
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.h"
#include "probes/probe_result.h"

namespace qarx {

// Keys the components' installers write under HKEY_LOCAL_MACHINE; they also
// hold the installed versions.
inline constexpr std::u16string_view kControlKey = u"SOFTWARE\\Veltrane\\IC Card Terminal\\OCX\\";
inline constexpr std::u16string_view kServerKey = u"SOFTWARE\\Veltrane\\IC Card Terminal\\Server\\";
inline constexpr std::u16string_view kLegacyControlKey = u"SOFTWARE\\Quorvia ICOCX\\";

inline constexpr std::u16string_view kControlInstalledLine = u"安装信息>>控件:控件安装正常!";
inline constexpr std::u16string_view kControlMissingLine = u"安装信息>>控件:控件未安装!";
inline constexpr std::u16string_view kServerInstalledLine = u"安装信息>>服务程序:服务程序安装正常!";
inline constexpr std::u16string_view kServerMissingLine = u"安装信息>>服务程序:服务程序未安装!";
inline constexpr std::u16string_view kLegacyControlWarning = u"您安装了旧版的控件\r\n请卸载后，安装新的控件!";
inline constexpr std::u16string_view kLegacyUninstallerName = u"卸载.exe";

// kProbeOk installed; kProbeFailed not installed or not readable.
int32_t IsControlInstalled(RegistryPort& registry);
int32_t IsServiceInstalled(RegistryPort& registry);

// Warns about an installed legacy control and starts its uninstaller.
// kProbeOk when there is nothing to do, the uninstaller started or is
// absent; kProbeFailed when the key or a value cannot be read or the start
// fails (written to the activity log file with its cause).
int32_t CheckLegacyControl(Platform& platform);

}  // namespace qarx
