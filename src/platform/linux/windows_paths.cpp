#include "platform/linux/windows_paths.h"

#include <cstdlib>

#include "common/text.h"

namespace qarx::linux_port {

std::string WindowsRoot() {
  std::string root;
  if (const char* env = std::getenv("QARX_WINDOWS_ROOT"); env && *env) {
    root = env;
  } else if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
    root = std::string(data) + "/qarx/windows";
  } else {
    const char* home = std::getenv("HOME");
    root = std::string(home && *home ? home : "/tmp") + "/.local/share/qarx/windows";
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

std::string HostPath(std::u16string_view path) {
  const bool drivePath = path.size() >= 2 && path[1] == u':' &&
                         ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
  if (!drivePath) return ToUtf8(path);
  const char letter = static_cast<char>(path[0] | 0x20);
  std::string out = WindowsRoot() + "/drive_" + letter;
  std::u16string_view rest = path.substr(2);
  std::string tail = ToUtf8(rest);
  for (char& c : tail)
    if (c == '\\') c = '/';
  if (!tail.empty() && tail.front() != '/') out.push_back('/');
  out += tail;
  return out;
}

}  // namespace qarx::linux_port
