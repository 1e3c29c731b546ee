#include "platform/activity_log_path.h"

#include "platform/os.h"

namespace qarx::events {

namespace {

std::string Value(const EnvLookup& lookup, std::string_view name) {
  std::optional<std::string> value = lookup(name);
  return value ? *value : std::string();
}

}  // namespace

std::string ActivityLogPath(const EnvLookup& lookup, PathStyle style) {
  const std::string chosen = Value(lookup, "QARX_LOG");
  if (chosen == "-") return {};
  if (!chosen.empty()) return chosen;
  if (style == PathStyle::Windows) {
    const std::string local = Value(lookup, "LOCALAPPDATA");
    return local.empty() ? std::string() : local + "\\Qarx\\activity.log";
  }
  // A relative XDG_STATE_HOME is invalid and is to be ignored.
  const std::string state = Value(lookup, "XDG_STATE_HOME");
  if (!state.empty() && state.front() == '/') return state + "/qarx/activity.log";
  const std::string home = Value(lookup, "HOME");
  return home.empty() ? std::string() : home + "/.local/state/qarx/activity.log";
}

EnvLookup ProcessEnvironment() {
  return [](std::string_view name) { return os::Environment(std::string(name).c_str()); };
}

}  // namespace qarx::events
