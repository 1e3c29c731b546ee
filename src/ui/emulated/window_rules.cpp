#include "ui/emulated/window_rules.h"

#include <algorithm>
#include <cstdlib>

#include "common/qarx_types.h"

namespace qarx::emulated {

ShowState AfterShow(ShowState state, int showCode) {
  switch (showCode) {
    case SW_HIDE:
      state.visible = false;
      break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
      state.visible = true;
      state.minimized = true;
      break;
    case SW_SHOWMAXIMIZED:
      state.visible = true;
      state.minimized = false;
      state.maximized = true;
      break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
      state.visible = true;
      state.minimized = false;
      state.maximized = false;
      break;
    default:  // SW_SHOW and the rest keep the state
      state.visible = true;
      break;
  }
  return state;
}

bool PaintsFrame(const ShowState& before, const ShowState& after) {
  return after.visible && (!before.visible || before.minimized != after.minimized ||
                           before.maximized != after.maximized);
}

uint32_t TimerPeriodMs(uint32_t elapseMs) { return std::max(elapseMs, kMinimumTimerMs); }

int UnansweredBoxAnswer(uint32_t style) { return (style & 0xF) == MB_YESNO ? IDNO : static_cast<int>(IDOK); }

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const long long product = static_cast<long long>(number) * numerator;
  const long long half = std::llabs(static_cast<long long>(denominator)) / 2;
  const bool negative = (product < 0) != (denominator < 0);
  const long long magnitude = (std::llabs(product) + half) / std::llabs(static_cast<long long>(denominator));
  return static_cast<int>(negative ? -magnitude : magnitude);
}

}  // namespace qarx::emulated
