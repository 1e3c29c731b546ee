// Process-level facts of the Linux program.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "platform/os.h"

namespace qarx::os {

void PrepareProcess() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1) open("/dev/null", O_RDWR);
  }
  std::signal(SIGPIPE, SIG_IGN);
}

bool HasDisplay() { return Environment("DISPLAY") || Environment("WAYLAND_DISPLAY"); }

void DebugLine(std::string_view) {}

std::vector<std::string> Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

std::optional<std::string> Environment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return std::nullopt;
  return std::string(value);
}

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
  // "e": close-on-exec, so started programs do not inherit the file.
  const std::string withCloexec = std::string(mode) + "e";
  return std::fopen(utf8Path.c_str(), withCloexec.c_str());
}

}  // namespace qarx::os
