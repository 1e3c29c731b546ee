#include "main/front_end.h"

#include <string>

namespace qarx::service {

FrontEndKind ChooseFrontEnd(const char* value, bool hasDisplay, FrontEndKind desktop,
                            const std::function<void(std::string_view)>& warn) {
  const FrontEndKind fallback = hasDisplay ? desktop : FrontEndKind::Console;
  const std::string choice = value ? value : "";
  if (choice.empty()) return fallback;
  if (choice == "console") return FrontEndKind::Console;
  const struct {
    const char* name;
    FrontEndKind kind;
  } desktops[] = {{"qt", FrontEndKind::Qt}, {"win32", FrontEndKind::Win32}};
  for (const auto& known : desktops) {
    if (choice != known.name) continue;
    if (known.kind == desktop) return desktop;
    warn("qarx-service: this build has no " + choice + " front-end; using the console");
    return FrontEndKind::Console;
  }
  warn("qarx-service: QARX_UI must be console, qt or win32, not '" + choice + "'");
  return fallback;
}

}  // namespace qarx::service
