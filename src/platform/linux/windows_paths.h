// Where the Windows facts live on Linux: one folder (QARX_WINDOWS_ROOT) laid
// out like a Wine prefix, with drive_c/ as the C: drive.
#pragma once

#include <string>
#include <string_view>

namespace qarx::linux_port {

// QARX_WINDOWS_ROOT, else $XDG_DATA_HOME/qarx/windows, else
// $HOME/.local/share/qarx/windows. No trailing slash.
std::string WindowsRoot();

// A path as the core builds it, in host form: "C:\x\y" (any drive letter,
// either case) becomes <root>/drive_c/x/y for drive C and
// <root>/drive_<letter>/x/y otherwise; any other path is taken as a host path
// (UTF-8) with backslashes left alone.
std::string HostPath(std::u16string_view path);

}  // namespace qarx::linux_port
