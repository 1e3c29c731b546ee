#include "ui/events/recording_launcher.h"

namespace qarx::events {

uint32_t RecordingLauncher::Execute(const std::u16string& path, int showCode) {
  std::string cause;
  return ExecuteWithCause(path, showCode, cause);
}

uint32_t RecordingLauncher::ExecuteWithCause(const std::u16string& path, int showCode, std::string& cause) {
  const uint32_t result = inner_.ExecuteWithCause(path, showCode, cause);
  sink_.Emit("launch", EventFields().Str("path", path).Bool("started", result >= kLauncherStarted));
  return result;
}

bool RecordingLauncher::OpenUrl(const std::u16string& url, int showCode) {
  // The attempt is the observable effect; whether a browser came up is not.
  sink_.Emit("open", EventFields().Str("url", url));
  return inner_.OpenUrl(url, showCode);
}

}  // namespace qarx::events
