// The rules of the window system that every emulating front-end (console,
// Qt) keeps the way the Win32 face gets them from Windows itself: which show
// paints the frame, the shortest timer period, what a message box answers
// when nobody can answer it, and dialog units in pixels.
#pragma once

#include <cstdint>

namespace qarx::emulated {

// What ShowWindow changes about a window.
struct ShowState {
  bool visible = false;
  bool minimized = false;
  bool maximized = false;

  bool operator==(const ShowState&) const = default;
};

// The state after ShowWindow(showCode). SW_SHOW, SW_SHOWNA and
// SW_SHOWNOACTIVATE keep the minimised or maximised state.
ShowState AfterShow(ShowState before, int showCode);

// A show that makes the window appear, or changes its state, paints the
// frame (WM_NCPAINT); the dialog decides there whether it may stay.
bool PaintsFrame(const ShowState& before, const ShowState& after);

// Windows raises shorter timer periods to this (USER_TIMER_MINIMUM).
inline constexpr uint32_t kMinimumTimerMs = 10;
uint32_t TimerPeriodMs(uint32_t elapseMs);

// What a box that nobody can answer any more gives its caller (the run has
// ended, or input has): No for a question, else OK, the same answer the
// dialog gives once it has ended.
int UnansweredBoxAnswer(uint32_t style);

// number * numerator / denominator, rounded half away from zero; -1 for a
// zero denominator.
int MulDiv(int number, int numerator, int denominator);

// Dialog units across (fourths of the base unit) and down (eighths).
struct BaseUnits {
  int x = 0;
  int y = 0;
};
inline int DluToPixelsX(int dlu, BaseUnits units) { return MulDiv(dlu, units.x, 4); }
inline int DluToPixelsY(int dlu, BaseUnits units) { return MulDiv(dlu, units.y, 8); }

}  // namespace qarx::emulated
