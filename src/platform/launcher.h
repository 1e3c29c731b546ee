// Starting programs and opening documents.
#pragma once

#include <cstdint>
#include <string>

namespace qarx {

// Execute's values from this one on mean "started" (those below say why not).
inline constexpr uint32_t kLauncherStarted = 32;

class LauncherPort {
 public:
  virtual ~LauncherPort() = default;
  // Starts the program at exactly this path (no command-line parsing) without
  // waiting for it. Returns a launcher value: 32 or more when it was started.
  virtual uint32_t Execute(const std::u16string& path, int showCode) = 0;
  // Execute, and in cause the system's short words for why the program was
  // not started (for the activity log file); empty when it was started or
  // the launcher cannot tell.
  virtual uint32_t ExecuteWithCause(const std::u16string& path, int showCode, std::string& cause) {
    cause.clear();
    return Execute(path, showCode);
  }
  // Opens a URL with the user's default handler (ShellExecute "open").
  virtual bool OpenUrl(const std::u16string& url, int showCode) = 0;
};

}  // namespace qarx
