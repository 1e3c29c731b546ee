// Dialog template 102: the dialog's size, font and controls in dialog units,
// and their conversion to pixels with the dialog font's metrics.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include <QFont>
#include <QRect>

namespace qarx::qt {

enum class ControlKind { PushButton, ListBox, ProgressBar, StaticText };

struct ControlTemplate {
  uint32_t id;
  ControlKind kind;
  std::u16string_view text;
  QRect dlu;  // x, y, width, height in dialog units
  bool visible;
};

inline constexpr int kDialogWidthDlu = 219;
inline constexpr int kDialogHeightDlu = 40;
inline constexpr int kDialogFontPoints = 9;

// The controls in template order.
std::span<const ControlTemplate> DialogControls();

// "微软雅黑" 9 pt, falling back to the CJK faces a Linux desktop has.
QFont DialogFont();

// Horizontal and vertical dialog base units of a font: the average width of
// the 52 Latin letters and the font's height, as the window system takes them.
struct BaseUnits {
  int x = 0;
  int y = 0;
};
BaseUnits DialogBaseUnits(const QFont& font);

// number * numerator / denominator, rounded half away from zero.
int MulDiv(int number, int numerator, int denominator);
QRect DluToPixels(const QRect& dlu, BaseUnits units);

}  // namespace qarx::qt
