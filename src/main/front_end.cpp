#include "main/front_end.h"

#include <string>

namespace qarx::service {

FrontEndKind ChooseFrontEnd(const char* value, bool hasDisplay, bool qtBuilt,
                            void (*warn)(std::string_view)) {
  const FrontEndKind fallback = hasDisplay && qtBuilt ? FrontEndKind::Qt : FrontEndKind::Console;
  const std::string choice = value ? value : "";
  if (choice.empty()) return fallback;
  if (choice == "console") return FrontEndKind::Console;
  if (choice == "qt") {
    if (qtBuilt) return FrontEndKind::Qt;
    warn("qarx-service: this build has no Qt front-end; using the console");
    return FrontEndKind::Console;
  }
  warn("qarx-service: QARX_UI must be console or qt, not '" + choice + "'");
  return fallback;
}

}  // namespace qarx::service
