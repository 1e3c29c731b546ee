// Dialog template 102 on Qt: the controls as the resource script defines
// them, the dialog font, and dialog units in pixels with its metrics.
#pragma once

#include <cstdint>
#include <span>

#include <QFont>
#include <QRect>

#include "ui/emulated/dialog_template.h"
#include "ui/emulated/window_rules.h"

namespace qarx::qt {

using ControlRole = dialog_template::ControlRole;
using ControlTemplate = dialog_template::Control;
using emulated::BaseUnits;
using emulated::MulDiv;

// The controls in template order.
std::span<const ControlTemplate> DialogControls();

// The template's face and size, falling back to the CJK faces a Linux
// desktop has.
QFont DialogFont();

// Horizontal and vertical dialog base units of a font: the average width of
// the 52 Latin letters and the font's height, as the window system takes them.
BaseUnits DialogBaseUnits(const QFont& font);

QRect DluToPixels(const QRect& dlu, BaseUnits units);
QRect DluToPixels(const ControlTemplate& control, BaseUnits units);

}  // namespace qarx::qt
