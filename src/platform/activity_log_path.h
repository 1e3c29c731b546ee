// Where the activity log file lives. The environment comes in as a lookup,
// so every build (and a test) can ask with its own variables and style.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qarx::events {

enum class PathStyle { Posix, Windows };

// The running system's style; its log file (log_file_<os>.cpp) defines it.
extern const PathStyle kHostPathStyle;

// The value of an environment variable as UTF-8; nothing when it is unset.
using EnvLookup = std::function<std::optional<std::string>(std::string_view name)>;

// QARX_LOG when it is set and not empty ("-" means no file); otherwise the
// user's own file:
//   Posix    $XDG_STATE_HOME/qarx/activity.log (an absolute XDG_STATE_HOME),
//            else $HOME/.local/state/qarx/activity.log
//   Windows  %LOCALAPPDATA%\Qarx\activity.log
// Empty when there is no file: turned off, or no base folder is known.
std::string ActivityLogPath(const EnvLookup& lookup, PathStyle style);

// A lookup over the process environment (std::getenv).
EnvLookup ProcessEnvironment();

}  // namespace qarx::events
