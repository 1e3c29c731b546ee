#include "ui/qt/dialog_template.h"

#include <cstdlib>

#include <QFontMetrics>
#include <QStringList>

#include "common/qarx_types.h"

namespace qarx::qt {

namespace {

constexpr ControlTemplate kControls[] = {
    {IDC_SYSINFO, ControlKind::PushButton, u"系统信息", {162, 86, 50, 14}, false},
    {IDC_BROWSER, ControlKind::PushButton, u"浏览器", {162, 106, 50, 14}, false},
    {IDC_CCIDINFO, ControlKind::PushButton, u"CCID信息", {162, 126, 50, 14}, false},
    {IDC_INSTALLINFO, ControlKind::PushButton, u"安装信息", {162, 146, 50, 14}, false},
    {IDC_CHECKUPDATE, ControlKind::PushButton, u"检测更新", {162, 166, 50, 14}, false},
    {IDC_DOWNLOAD, ControlKind::PushButton, u"下载", {162, 186, 50, 14}, false},
    {IDOK, ControlKind::PushButton, u"确认", {162, 206, 50, 14}, false},
    {IDCANCEL, ControlKind::PushButton, u"退出", {162, 226, 50, 14}, false},
    {IDC_ACTIVITY_LOG, ControlKind::ListBox, u"", {7, 86, 153, 154}, false},
    {IDC_PROGRESS, ControlKind::ProgressBar, u"", {7, 19, 205, 9}, true},
    {IDC_STATUS, ControlKind::StaticText, u"最新安装包下载", {7, 7, 205, 8}, true},
};

}  // namespace

std::span<const ControlTemplate> DialogControls() { return kControls; }

QFont DialogFont() {
  QFont font;
  // The template's face first; the others are the CJK faces Debian ships.
  font.setFamilies({QString::fromUtf16(u"微软雅黑"), QStringLiteral("Microsoft YaHei"),
                    QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
                    QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("AR PL UMing CN")});
  font.setPointSize(kDialogFontPoints);
  return font;
}

BaseUnits DialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(letters / 26 + 1) / 2, metrics.height()};
}

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const long long product = static_cast<long long>(number) * numerator;
  const long long half = std::llabs(static_cast<long long>(denominator)) / 2;
  const bool negative = (product < 0) != (denominator < 0);
  const long long magnitude = (std::llabs(product) + half) / std::llabs(static_cast<long long>(denominator));
  return static_cast<int>(negative ? -magnitude : magnitude);
}

QRect DluToPixels(const QRect& dlu, BaseUnits units) {
  return {MulDiv(dlu.x(), units.x, 4), MulDiv(dlu.y(), units.y, 8), MulDiv(dlu.width(), units.x, 4),
          MulDiv(dlu.height(), units.y, 8)};
}

}  // namespace qarx::qt
