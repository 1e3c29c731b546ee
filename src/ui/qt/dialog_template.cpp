#include "ui/qt/dialog_template.h"

#include <QFontMetrics>
#include <QStringList>

namespace qarx::qt {

std::span<const ControlTemplate> DialogControls() { return dialog_template::kControls; }

QFont DialogFont() {
  QFont font;
  // The template's face first; the others are the CJK faces Debian ships.
  font.setFamilies({QString::fromUtf16(dialog_template::kFontFace), QStringLiteral("Microsoft YaHei"),
                    QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
                    QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("AR PL UMing CN")});
  font.setPointSize(dialog_template::kFontPoints);
  return font;
}

BaseUnits DialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect DluToPixels(const QRect& dlu, BaseUnits units) {
  return {emulated::DluToPixelsX(dlu.x(), units), emulated::DluToPixelsY(dlu.y(), units),
          emulated::DluToPixelsX(dlu.width(), units), emulated::DluToPixelsY(dlu.height(), units)};
}

QRect DluToPixels(const ControlTemplate& control, BaseUnits units) {
  return DluToPixels(QRect(control.x, control.y, control.width, control.height), units);
}

}  // namespace qarx::qt
